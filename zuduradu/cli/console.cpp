#include "zuduradu/cli/console.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kvcli {

#ifdef _WIN32

namespace {

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD, as the system converts it.
std::string Utf8(const wchar_t* text) {
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 1) return {};
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), bytes, nullptr, nullptr);
  out.pop_back();  // the terminating NUL
  return out;
}

bool IsConsole(std::FILE* stream) {
  DWORD mode = 0;
  return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode) != 0;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(Utf8(argv[i]));
  return args;
}

Utf8Console::Utf8Console() {
  std::fflush(stdout);
  std::fflush(stderr);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  if (IsConsole(stdout) || IsConsole(stderr)) {
    oldCodePage_ = GetConsoleOutputCP();
    if (!SetConsoleOutputCP(CP_UTF8)) oldCodePage_ = 0;
  }
}

Utf8Console::~Utf8Console() {
  std::fflush(stdout);
  std::fflush(stderr);
  if (oldCodePage_ != 0) SetConsoleOutputCP(oldCodePage_);
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

#else

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

Utf8Console::Utf8Console() = default;
Utf8Console::~Utf8Console() = default;

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

#endif

}  // namespace kvcli
