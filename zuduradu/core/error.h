// One error type for the whole core. It carries the parts of a good message
// (what happened, in which file, where in the text, which data set and field,
// and what was left intact) and renders the sentence once, so that the window
// and the command line show the same words.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace kv {

enum class ErrorKind {
  BadRequest,    // the request itself cannot be carried out (grid size, type code)
  InputMissing,  // the matrix input file cannot be opened
  BadInput,      // the matrix input text is malformed
  Unstorable,    // a data set the period data file cannot hold
  BadOutput,     // the existing output file is refused
  Io,            // the system failed to read or write a file
  Busy,          // another run holds the output file and did not let go in time
  Cancelled,     // the caller cancelled the run before anything was written
};

struct ErrorPlace {
  std::filesystem::path file;  // empty when no file is concerned
  std::int64_t line = 0;       // 1-based; 0 when not about a place in text
  std::int64_t column = 0;     // 1-based byte column of the field
  int set = 0;                 // 1-based data set number; 0 when none
  std::string field;           // "set count", "period", "layer", "value", ...
};

class Error : public std::runtime_error {
 public:
  Error(ErrorKind kind, std::string what, ErrorPlace place = {}, std::string intact = {});

  ErrorKind kind() const noexcept { return kind_; }
  const std::string& problem() const noexcept { return problem_; }
  const ErrorPlace& place() const noexcept { return place_; }
  const std::string& intact() const noexcept { return intact_; }

  // The same error with a note of what was left as it was ("The output file ... was not changed.").
  Error WithIntact(std::string intact) const;

 private:
  ErrorKind kind_;
  std::string problem_;
  ErrorPlace place_;
  std::string intact_;
};

// Renders "<where>: <what> <intact>" as one sentence.
std::string RenderError(const std::string& what, const ErrorPlace& place, const std::string& intact);

// The system's reason for the last failed C library call, e.g. "No space left on device".
std::string SystemReason(int errorNumber);

}  // namespace kv
