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
  std::string out;
  std::string err;
};

inline std::string Quote(const std::filesystem::path& p) { return "\"" + p.string() + "\""; }

// Runs kvcvrt-cli with the arguments as one command-line text.
inline Outcome RunCli(const ScratchDir& dir, const std::string& args) {
  const auto out = dir / "cli.stdout";
  const auto err = dir / "cli.stderr";
  std::string command = Quote(KVCVRT_CLI) + " " + args + " > " + Quote(out) + " 2> " + Quote(err);
#ifdef _WIN32
  command = "\"" + command + "\"";  // cmd /c takes off one pair of outer quotes
#endif
  const int raw = std::system(command.c_str());
  Outcome o;
#ifdef _WIN32
  o.status = raw;
#else
  o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
  o.out = ReadAll(out);
  o.err = ReadAll(err);
  std::filesystem::remove(out);
  std::filesystem::remove(err);
  return o;
}

struct Set {
  int period;
  int layer;
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

}  // namespace kvtest
