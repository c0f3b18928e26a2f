// Running the real kvcvrt-cli from the tests: each run's standard output and
// standard error go to files in the test's scratch folder.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "test_support.h"
#include "zuduradu/core/number_text.h"

namespace kvtest {

struct Outcome {
  int status = -1;
  std::string out, err;
};

inline std::string Quote(const std::filesystem::path& p) { return "\"" + p.string() + "\""; }

// Runs kvcvrt-cli with the arguments as one command-line text; standard input
// comes from the file stdinFrom when one is named, and standard output goes to
// stdoutTo when one is named (out is then empty).
inline Outcome RunCli(const ScratchDir& dir, const std::string& args, const std::filesystem::path& stdinFrom = {},
                      const std::filesystem::path& stdoutTo = {}) {
  const auto out = stdoutTo.empty() ? dir / "cli.stdout" : stdoutTo;
  const auto err = dir / "cli.stderr";
  std::string command = Quote(KVCVRT_CLI) + " " + args + " > " + Quote(out) + " 2> " + Quote(err);
  if (!stdinFrom.empty()) command += " < " + Quote(stdinFrom);
#ifdef _WIN32
  command = "\"" + command + "\"";  // cmd /c takes off one pair of outer quotes
#endif
  const int raw = std::system(command.c_str());
#ifdef _WIN32
  Outcome o{raw, stdoutTo.empty() ? ReadAll(out) : "", ReadAll(err)};
#else
  Outcome o{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, stdoutTo.empty() ? ReadAll(out) : "", ReadAll(err)};
#endif
  if (stdoutTo.empty()) std::filesystem::remove(out);
  std::filesystem::remove(err);
  return o;
}

struct Set {
  int period, layer;
  std::vector<float> values;
};

// Matrix input text: the count, then per set its period, layer and values.
inline std::string InputText(const std::vector<Set>& sets) {
  std::string t = std::to_string(sets.size()) + "\n";
  for (const Set& s : sets) {
    t += std::to_string(s.period) + " " + std::to_string(s.layer) + "\n";
    for (float v : s.values) t += kv::ShortestText(v) + " ";
    t += "\n";
  }
  return t;
}

inline std::vector<float> Seq(float first, int n) {
  std::vector<float> v(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = first + static_cast<float>(i);
  return v;
}

// Writes the sets to in.dat and runs `convert --input in.dat` with the other arguments.
inline Outcome Convert(const ScratchDir& dir, const std::vector<Set>& sets, const std::string& args) {
  WriteAll(dir / "in.dat", InputText(sets));
  return RunCli(dir, "convert --input " + Quote(dir / "in.dat") + " " + args);
}

}  // namespace kvtest
