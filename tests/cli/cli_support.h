// Running the real kvcvrt-cli from the tests: each run's standard output and
// standard error go to files in the test's scratch folder.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include "test_support.h"
#include "zuduradu/core/storage/file_system.h"

namespace kvtest {

struct Outcome {
  int status = -1;
  std::string out, err;
};

// A path as one argument of a command line, in UTF-8 with the platform's separators.
inline std::string Quote(const std::filesystem::path& p) {
  return "\"" + kv::PathText(std::filesystem::path(p).make_preferred()) + "\"";
}

// Runs kvcvrt-cli with the arguments as one command-line text through the shell;
// standard input comes from the file stdinFrom when one is named, and standard
// output goes to stdoutTo when one is named (out is then empty). The text is
// UTF-8; Windows gets it as UTF-16, since its narrow form knows one code page only.
inline Outcome RunCli(const ScratchDir& dir, const std::string& args, const std::filesystem::path& stdinFrom = {},
                      const std::filesystem::path& stdoutTo = {}) {
  const auto out = stdoutTo.empty() ? dir / "cli.stdout" : stdoutTo;
  const auto err = dir / "cli.stderr";
  std::string command = Quote(KVCVRT_CLI) + " " + args + " > " + Quote(out) + " 2> " + Quote(err);
  if (!stdinFrom.empty()) command += " < " + Quote(stdinFrom);
#ifdef _WIN32
  command = "\"" + command + "\"";  // cmd /c takes off one pair of outer quotes
  std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, command.c_str(), -1, nullptr, 0)), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, command.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  const int status = _wsystem(wide.c_str());
#else
  const int raw = std::system(command.c_str());
  const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  Outcome o{status, stdoutTo.empty() ? ReadAll(out) : "", ReadAll(err)};
  if (stdoutTo.empty()) std::filesystem::remove(out);
  std::filesystem::remove(err);
  return o;
}

// Writes the sets (of 3 x 2 values) to in.dat and runs `convert --input in.dat` with the other arguments.
inline Outcome Convert(const ScratchDir& dir, const std::vector<Set>& sets, const std::string& args) {
  WriteAll(dir / "in.dat", InputText(sets, 6));
  return RunCli(dir, "convert --input " + Quote(dir / "in.dat") + " " + args);
}

}  // namespace kvtest
