#include "zuduradu/cli/console.h"

#include <iostream>

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

HANDLE ConsoleOf(std::FILE* stream) {
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0 ? handle : nullptr;
}

// How many bytes at the end of text begin a UTF-8 character that is not complete yet.
std::size_t IncompleteTail(std::string_view text) {
  for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? back : 0;
  }
  return 0;
}

void WriteWide(HANDLE console, std::string_view text) {
  if (text.empty()) return;
  const int size = static_cast<int>(text.size());
  const int wide = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  std::wstring chars(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, chars.data(), wide);
  DWORD written = 0;
  WriteConsoleW(console, chars.data(), static_cast<DWORD>(chars.size()), &written, nullptr);
}

// std::cout or std::cerr on a console: each write goes out at once as wide
// characters; a character split between two writes waits for its last bytes.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    xsputn(&ch, 1);
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending_.append(s, static_cast<std::size_t>(n));
    const std::size_t whole = pending_.size() - IncompleteTail(pending_);
    WriteWide(console_, std::string_view(pending_).substr(0, whole));
    pending_.erase(0, whole);
    return n;
  }

 private:
  HANDLE console_;
  std::string pending_;
};

}  // namespace

void WriteText(std::FILE* stream, std::string_view text) {
  if (const HANDLE console = ConsoleOf(stream)) {
    std::fflush(stream);
    WriteWide(console, text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stream);
}

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
  if (const HANDLE console = ConsoleOf(stdout)) {
    std::cout.flush();
    out_ = std::make_unique<ConsoleBuffer>(console);
    oldOut_ = std::cout.rdbuf(out_.get());
  }
  if (const HANDLE console = ConsoleOf(stderr)) {
    err_ = std::make_unique<ConsoleBuffer>(console);
    oldErr_ = std::cerr.rdbuf(err_.get());
  }
}

Utf8Console::~Utf8Console() {
  if (oldOut_ != nullptr) std::cout.rdbuf(oldOut_);
  if (oldErr_ != nullptr) std::cerr.rdbuf(oldErr_);
  std::fflush(stdout);
  std::fflush(stderr);
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

#else

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

Utf8Console::Utf8Console() = default;
Utf8Console::~Utf8Console() = default;

void WriteText(std::FILE* stream, std::string_view text) { std::fwrite(text.data(), 1, text.size(), stream); }

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

#endif

}  // namespace kvcli
