// Finds and converts the fields of the matrix input text on several threads.
//
// The input is read in chunks, each cut just after a separator, so that no
// field is split between two chunks. Whichever thread takes a chunk turns it
// into one float per field, plus notes on the few fields that are not plain
// numbers (repeats, and the first field that can never be read as a number).
// Fields have no meaning of their own: the caller takes the chunks back in
// file order and decides which fields are counts, periods, layers and values.
// A fixed number of chunks is held at once, so memory stays the same however
// large the input is.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "zuduradu/core/text/byte_source.h"

namespace kv {

class FieldPipeline {
 public:
  // Every this many fields the parser notes where it stands, so that a field's
  // text and line can be found again by parsing at most this many fields.
  static constexpr std::uint32_t kAnchorEvery = 8;
  // A line that began before the chunk.
  static constexpr std::uint32_t kEarlierLine = UINT32_MAX;

  enum class NoteKind : std::uint8_t {
    Repeat,      // "N*value": count and value are set
    BadField,    // not a number in any sense; the chunk's parse stops here
    TooLong,     // longer than a number can be; the parse stops here
    EmptyField,  // two commas before this field; offset is the second comma; the parse stops here
  };
  struct Note {
    std::uint32_t field = 0;  // the field's index in the chunk
    NoteKind kind = NoteKind::BadField;
    std::uint32_t offset = 0;
    std::int64_t count = 0;
    float value = 0.0f;
  };
  struct Anchor {
    std::uint32_t offset;     // where the scan for field k * kAnchorEvery begins
    std::uint32_t lines;      // line ends in the chunk before offset
    std::uint32_t lineStart;  // the first byte of offset's line, or kEarlierLine
  };

  // Line ends that follow one another at the same number of fields: the k-th
  // (k < count) ends line `line + k` of the chunk with field + k * step fields
  // of the chunk before it. Lines without a field are left out.
  struct LineRun {
    std::uint32_t field;
    std::uint32_t line;
    std::uint32_t step;
    std::uint32_t count;
  };

  // The place of one field, or of one byte, in a chunk.
  struct Spot {
    std::size_t start = 0;
    std::size_t end = 0;
    std::uint32_t lines = 0;
    std::uint32_t lineStart = kEarlierLine;
  };

  struct Chunk {
    // The text, with a NUL after it.
    std::unique_ptr<char[]> text;
    std::size_t size = 0;
    std::int64_t offset = 0;  // of text[0] in the input
    bool last = false;        // the input ends with this chunk
    bool afterComma = false;  // a comma stands between the previous field (or line end) and text[0]
    // The parse: fields [0, fields) have a value; notes are in field order, and
    // one whose kind stops the parse sits at index `fields`.
    std::unique_ptr<float[]> values;
    std::unique_ptr<Anchor[]> anchors;
    std::vector<Note> notes;
    std::uint32_t fields = 0;
    std::uint32_t lines = 0;  // line ends in the chunk (all of them unless the parse stopped)
    std::uint32_t lineStart = kEarlierLine;  // the first byte of the chunk's last line
    std::uint32_t fieldsEnd = 0;             // the end of the last field
    std::vector<LineRun> lineRuns;           // up to the parse's end
    bool runsLost = false;                   // too many runs for their room: the rest were not kept
    std::exception_ptr failure;              // the input could not be read
    std::uint64_t sequence = 0;

    // The field `field` (< fields, or the noted field at `fields`). With `known`,
    // the spot of an earlier field `knownField`, the search starts there when
    // that is nearer than the anchor before `field`.
    Spot Locate(std::uint32_t field) const;
    Spot Locate(std::uint32_t field, std::uint32_t knownField, const Spot& known) const;
    // The second of two commas with nothing between them, noted before field `field`.
    Spot LocateEmptyField(std::uint32_t field) const;
  };

  // More threads than this are not started, whatever is asked.
  static constexpr int kMaxThreads = 64;

  // Starts `threads` parsing threads on `source`, read chunkBytes at a time.
  // The start of the text is checked as the single-threaded reader checks it
  // (CheckTextStart): a UTF-8 byte order mark is skipped, so the first chunk
  // begins after it; a refusal is raised by Next() like a read failure.
  FieldPipeline(ByteSource& source, std::filesystem::path name, std::size_t chunkBytes, int threads);
  ~FieldPipeline();
  FieldPipeline(const FieldPipeline&) = delete;
  FieldPipeline& operator=(const FieldPipeline&) = delete;

  // The next chunk in file order, once parsed; the chunk handed out before is
  // given back. Rethrows a read failure. Not to be called after the last chunk.
  const Chunk& Next();

  // The bytes held for chunks: fixed for the pipeline's life, apart from notes and line runs.
  std::size_t bufferBytes() const;

 private:
  enum class SlotState { Free, Busy, Ready };
  struct Slot {
    Chunk chunk;
    SlotState state = SlotState::Free;
  };

  void Work();
  void Fill(Chunk& c);
  std::size_t ReadText(Chunk& c, bool& end);
  static std::size_t CutAfterSeparator(const char* t, std::size_t size);
  static bool EndsAfterComma(const char* t, std::size_t size, bool before);
  void Parse(Chunk& c) const;

  ByteSource& source_;
  const std::filesystem::path name_;
  const std::size_t chunkBytes_;
  std::size_t maxFields_ = 0;
  std::vector<Slot> slots_;

  // Reading: one thread at a time, in file order.
  std::mutex readMutex_;
  std::vector<char> carry_;  // the start of a field cut by the previous read
  std::size_t carrySize_ = 0;
  bool carryAfterComma_ = false;
  std::int64_t nextOffset_ = 0;
  bool sourceDone_ = false;

  // Handing chunks over.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t nextRead_ = 0;   // the sequence number the next read gets
  std::uint64_t nextTaken_ = 0;  // the sequence number Next() hands out next
  Slot* taken_ = nullptr;
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

}  // namespace kv
