#include "zuduradu/core/storage/save_target.h"

#include <cstdint>
#include <functional>
#include <span>
#include <streambuf>
#include <system_error>
#include <vector>

#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/file_system.h"

namespace kv {
namespace fs = std::filesystem;

// Hands what a stream is given to `drain` in pieces, so that text goes through
// the same exclusive, synced replacement as the binary files, or into a FIFO.
class SaveTarget::Sink : public std::streambuf {
 public:
  using Drain = std::function<void(std::span<const char>)>;
  explicit Sink(Drain drain) : drain_(std::move(drain)), buffer_(std::size_t{1} << 16) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }

 protected:
  int_type overflow(int_type c) override {
    Empty();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override {
    Empty();
    return 0;
  }

 private:
  void Empty() {
    drain_({pbase(), static_cast<std::size_t>(pptr() - pbase())});
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }

  Drain drain_;
  std::vector<char> buffer_;
};

SaveTarget::SaveTarget(fs::path output, Kind kind) : output_(std::move(output)), kind_(kind), file_(output_) {}

SaveTarget::~SaveTarget() = default;

bool SaveTarget::Look() {
  std::error_code ec;
  present_ = fs::exists(fs::symlink_status(file(), ec));
  return present_;
}

bool SaveTarget::IsStream() const { return kind_ == Kind::InOrder && IsStreamOutput(file()); }

bool SaveTarget::IsFile(const fs::path& other) const {
  const auto out = IdentityOf(output_);
  return out && !other.empty() && out == IdentityOf(other);
}

void SaveTarget::RefuseOwnFile(const fs::path& other, std::string_view role) const {
  if (!IsFile(other)) return;
  throw Error(ErrorKind::BadRequest,
              "The output file " + PathText(output_) + " is the " + std::string(role) + " " + PathText(other) +
                  " itself; choose another output file",
              {}, "The output file " + PathText(output_) + " was not changed.");
}

std::string OutputFolderProblem(const fs::path& output) {
  const fs::path folder = output.parent_path();
  if (folder.empty()) return {};
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return {};
  const bool exists = fs::exists(folder, ec);
  return "The folder " + PathText(folder) + " of the output file " + PathText(output) +
         (exists ? " is not a folder." : " does not exist.") +
         " Choose an output file in an existing folder; nothing was written.";
}

void SaveTarget::CheckKind() {
  std::error_code ec;
  // The walk left no link at the name; one that stands there by now is no regular file.
  const fs::file_status status = fs::symlink_status(file(), ec);
  present_ = fs::exists(status);
  const ErrorKind refusal = kind_ == Kind::DataFile ? ErrorKind::BadOutput : ErrorKind::BadRequest;
  if (const std::string folder = OutputFolderProblem(output_); !folder.empty()) throw Error(refusal, folder);
  if (fs::is_directory(status)) {
    throw Error(refusal, "The output path " + PathText(output_) + " is a folder, not a file");
  }
  if (!present_ || fs::is_regular_file(status)) return;
  if (kind_ == Kind::DataFile) throw Error(refusal, "The output path " + PathText(output_) + " is not a regular file");
  throw Error(refusal,
              "The output path " + PathText(output_) + " is neither a regular file nor a FIFO or character device", {},
              "Nothing was written to it.");
}

std::ostream& SaveTarget::Begin(const LockWait& readerWait) {
  streaming_ = IsStream();
  if (streaming_) {
    stream_.emplace(file(), readerWait);
    sink_ = std::make_unique<Sink>([this](std::span<const char> bytes) { stream_->Write(bytes); });
  } else {
    lock_.emplace(file(), LockKind::Exclusive, readerWait);
    // Under the lock no other run of ours writes this output: a partial copy of one that was killed can go.
    RemoveLeftovers(file(), kPartialSuffix);
    replacement_.emplace(file(), kPartialSuffix, ReplacementFile::Naming::UnderLock);
    BinaryFile& text = replacement_->CreateEmpty();
    sink_ = std::make_unique<Sink>([&text, at = std::int64_t{0}](std::span<const char> bytes) mutable {
      text.WriteAt(at, {reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
      at += static_cast<std::int64_t>(bytes.size());
    });
  }
  out_ = std::make_unique<std::ostream>(sink_.get());
  // A failed write throws its kv::Error through the stream.
  out_->exceptions(std::ios::badbit);
  return *out_;
}

void SaveTarget::Finish() {
  out_->flush();
  if (replacement_) replacement_->PutInPlace();
}

std::string SaveTarget::IntactNote(std::string_view placed, std::string_view contents) const {
  if (streaming_) {
    return stream_ && stream_->written() ? PathText(output_) + " received only part of " + std::string(contents) + "."
                              : "Nothing was written to " + PathText(output_) + ".";
  }
  if (replacement_ && replacement_->placed()) {
    return "The output file " + PathText(output_) + " holds " + std::string(placed) +
           ", but the system has not confirmed that the change is on the disk.";
  }
  return NotChangedNote();
}

std::string SaveTarget::NotChangedNote() const {
  return present_ ? "The output file " + PathText(output_) + " was not changed." : "No output file was created.";
}

}  // namespace kv
