// Where a command saves an output (a period data file, matrix text, a
// picture), and the rules every output follows:
// - a link at the output is followed (as FollowLinks allows) and stays; the
//   file it names is the one replaced;
// - the output is never a file the command reads: caught by the file's
//   identity, so that links and other spellings of a path count too;
// - a folder is refused, and so is anything else that is not a regular file,
//   except that an output written in order goes into a FIFO or a character
//   device, as any tool writes to one (replacing it would put a regular file
//   where the FIFO or device was);
// - a regular file is replaced whole: the new contents go into a file beside
//   it that moves over it only when complete and on the disk;
// - a failure says what became of the output.
// A new output format writes its bytes between Begin and Finish and wraps its
// errors with IntactNote; a data file, which is changed in place, uses the
// checks and writes its own ReplacementFile at file().
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "zuduradu/core/error.h"
#include "zuduradu/core/storage/file_system.h"
#include "zuduradu/core/storage/output_lock.h"
#include "zuduradu/core/storage/replacement_file.h"
#include "zuduradu/core/storage/stream_output.h"

namespace kv {

class SaveTarget {
 public:
  // DataFile: needs a regular file; a refusal of the output is BadOutput.
  // InOrder (text, pictures): a FIFO or device serves too; a refusal is BadRequest.
  enum class Kind { DataFile, InOrder };

  SaveTarget(std::filesystem::path output, Kind kind);
  ~SaveTarget();
  SaveTarget(const SaveTarget&) = delete;
  SaveTarget& operator=(const SaveTarget&) = delete;

  // The path as given, for messages.
  const std::filesystem::path& output() const { return output_; }
  // The file the output names, links followed.
  const std::filesystem::path& file() const { return file_.path(); }
  // Whether the output exists, as Look last found it.
  bool present() const { return present_; }
  bool Look();
  // Whether the output is a FIFO or a character device that takes the bytes in order.
  bool IsStream() const;

  // Whether the output is the very file `other` names.
  bool IsFile(const std::filesystem::path& other) const;
  // Refuses (BadRequest) an output that is the file `other`, the "<role>" the
  // command reads: "The output file X is the model file M itself; ...".
  void RefuseOwnFile(const std::filesystem::path& other, std::string_view role) const;
  // Looks at the output and refuses a folder and anything else it cannot be.
  void CheckKind();

  // The stream the new contents go into: the FIFO or device (a FIFO without a
  // reader is waited for as `readerWait` says, and so is a reader that takes
  // nothing for that long), or a replacement file beside the output, after the
  // output's lock was taken as `readerWait` says. Finish puts the contents in place.
  std::ostream& Begin(const LockWait& readerWait = {});
  void Finish();

  // What became of the output after a failure: for a stream whether any of
  // `contents` went out, for a file whether the new one holds `placed`, else
  // NotChangedNote.
  std::string IntactNote(std::string_view placed, std::string_view contents) const;
  // "The output file X was not changed." or, when there was none, "No output file was created."
  std::string NotChangedNote() const;

 private:
  class Sink;

  std::filesystem::path output_;
  Kind kind_;
  WalkedFile file_;
  bool present_ = false;
  bool streaming_ = false;  // Begin chose the stream
  std::optional<OutputLock> lock_;
  std::optional<ReplacementFile> replacement_;
  std::optional<StreamOutput> stream_;
  std::unique_ptr<Sink> sink_;
  std::unique_ptr<std::ostream> out_;
};

// Empty when the output's folder exists; otherwise what to say: a run there
// could not even lock the output.
std::string OutputFolderProblem(const std::filesystem::path& output);

}  // namespace kv
