// The text that passes between kvcvrt-cli and the system: its arguments, and
// what it prints. Both are UTF-8 bytes on every platform, so a file named
// Böden.kv5 can be named on the command line and printed back.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kvcli {

#ifdef _WIN32
// Windows hands a program its command line in UTF-16; the narrow argv of main
// is in the ANSI code page and loses every letter outside it.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv);
#else
std::vector<std::string> Utf8Arguments(int argc, char** argv);
#endif

// Whether the stream is an interactive terminal.
bool IsTerminal(std::FILE* stream);

// For its lifetime, standard output and standard error write their bytes as
// given: on Windows no "\n" becomes "\r\n" (so the output is the same bytes as
// elsewhere), and a console shows them as UTF-8. The console's own code page
// comes back at the end. Nothing to do elsewhere.
class Utf8Console {
 public:
  Utf8Console();
  ~Utf8Console();
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
#ifdef _WIN32
  unsigned int oldCodePage_ = 0;  // 0: nothing to restore
#endif
};

}  // namespace kvcli
