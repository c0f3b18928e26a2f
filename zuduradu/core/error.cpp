#include "zuduradu/core/error.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "zuduradu/core/message_text.h"
#include "zuduradu/core/storage/os.h"

namespace kv {

std::string RenderError(const std::string& what, const ErrorPlace& place, const std::string& intact) {
  std::string where;
  if (place.set > 0) {
    where = "Data set " + std::to_string(place.set);
    if (!place.field.empty()) where += ", " + place.field;
  } else if (!place.field.empty()) {
    where = "The " + place.field;
  }
  if (place.line > 0) {
    where += (where.empty() ? "Line " : ", line ") + std::to_string(place.line);
    if (place.column > 0) where += ", column " + std::to_string(place.column);
    if (!place.file.empty()) where += " of " + PathText(place.file);
  } else if (!place.file.empty() && !where.empty()) {
    where += " in " + PathText(place.file);
  }
  std::string text = where.empty() ? what : where + ": " + what;
  if (!text.empty() && text.back() != '.') text += '.';
  if (!intact.empty()) text += " " + intact;
  return text;
}

Error::Error(ErrorKind kind, std::string what, ErrorPlace place, std::string intact)
    : std::runtime_error(RenderError(what, place, intact)),
      kind_(kind),
      problem_(std::move(what)),
      place_(std::move(place)),
      intact_(std::move(intact)) {}

Error Error::WithIntact(std::string intact) const { return Error(kind_, problem_, place_, std::move(intact)); }

std::string SystemReason(int errorNumber) {
  if (errorNumber == 0) return "unknown reason";
  const std::string reason = os::ErrorWords(errorNumber);
  // EFBIG: the process's file size limit (ulimit -f) or the file system's largest file.
  if (errorNumber == EFBIG) return reason + " (past the size limit of this process, ulimit -f, or of the file system)";
  return reason;
}

}  // namespace kv
