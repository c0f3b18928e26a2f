// The text that passes between kvcvrt-cli and the system: its arguments, and
// what it prints. Both are UTF-8 bytes on every platform, so a file named
// Böden.kv5 can be named on the command line and printed back.
#pragma once

#include <cstdio>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>
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

// Writes UTF-8 text to the stream: on Windows, where the stream is a console,
// as the console's own wide characters, which it shows whatever its code page;
// elsewhere, and where the stream is redirected, as the bytes given.
void WriteText(std::FILE* stream, std::string_view text);

// For its lifetime, std::cout and std::cerr (with standard output and error)
// write their text through WriteText, and on Windows no "\n" becomes "\r\n",
// so redirected output is the same UTF-8 bytes as elsewhere. Nothing to do
// elsewhere.
class Utf8Console {
 public:
  Utf8Console();
  ~Utf8Console();
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
#ifdef _WIN32
  std::unique_ptr<std::streambuf> out_, err_;  // the console's buffers, where one is a console
  std::streambuf* oldOut_ = nullptr;
  std::streambuf* oldErr_ = nullptr;
#endif
};

}  // namespace kvcli
