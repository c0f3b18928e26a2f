#include <cstdlib>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "test_support.h"
#include "zuduradu/app/start.h"

namespace {

using kv::app::StartRequest;

TEST(AppStart, OnlyALoneHelpOrVersionIsTakenForOne) {
  using enum StartRequest;
  const std::vector<std::pair<std::vector<std::string>, StartRequest>> cases = {
      {{"kvcvrt"}, OpenWindow},           {{"kvcvrt", "site.kv5"}, OpenWindow}, {{"kvcvrt", "-h"}, PrintHelp},
      {{"kvcvrt", "--help"}, PrintHelp},  {{"kvcvrt", "-V"}, PrintVersion},   {{"kvcvrt", "--version"}, PrintVersion},
      {{"kvcvrt", "my", "--help"}, OpenWindow},  // a path with blanks, joined
  };
  for (const auto& [args, request] : cases) EXPECT_EQ(kv::app::ReadStartRequest(args), request) << args.back();
}

#if !defined(_WIN32) && !defined(__APPLE__)
TEST(AppStart, ADisplayIsMissingOnlyWhenThePlatformNeedsOneThatIsNotSet) {
  struct Case { std::vector<std::string> args; std::map<std::string, std::string> env; bool missing; };
  const std::string P = "QT_QPA_PLATFORM";
  const std::vector<Case> cases = {
      {{}, {}, true}, {{}, {{"DISPLAY", ""}}, true}, {{}, {{"DISPLAY", ":0"}}, false},
      {{}, {{"WAYLAND_DISPLAY", "wayland-0"}}, false}, {{}, {{P, "offscreen"}}, false}, {{}, {{P, "minimal"}}, false},
      {{}, {{P, "xcb"}}, true}, {{}, {{P, "xcb"}, {"WAYLAND_DISPLAY", "wayland-0"}}, true},
      {{}, {{P, "xcb:nograb"}, {"DISPLAY", ":1"}}, false}, {{}, {{P, "wayland"}, {"DISPLAY", ":0"}}, true},
      {{}, {{P, "wayland-egl"}, {"WAYLAND_DISPLAY", "w"}}, false}, {{}, {{P, "wayland;xcb"}, {"DISPLAY", ":0"}}, false},
      {{}, {{P, "someplugin"}}, false},  // unknown to us: Qt decides
      {{"-platform", "offscreen"}, {}, false}, {{"--platform", "minimal"}, {}, false},
      {{"-platform=offscreen"}, {}, false}, {{"-platform"}, {{"DISPLAY", ":0"}}, false},
      {{"-platform", "xcb"}, {{P, "offscreen"}}, true},  // the argument wins
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"kvcvrt"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const auto env = [&](const char* name) -> std::optional<std::string> {
      const auto it = c.env.find(name);
      return it == c.env.end() ? std::nullopt : std::optional(it->second);
    };
    const auto missing = kv::app::MissingDisplay(args, env);
    EXPECT_EQ(missing.has_value(), c.missing) << "case " << &c - cases.data();
    EXPECT_TRUE(!missing || missing->find("kvcvrt-cli") != std::string::npos) << missing.value_or("");
  }
}

struct Outcome { int status = -1; std::string out, err; };

// Runs the window program with the environment settings in front of it.
Outcome RunApp(const kvtest::ScratchDir& dir, const std::string& environment, const std::string& args) {
  const auto out = dir / "app.stdout", err = dir / "app.stderr";
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u WAYLAND_SOCKET -u QT_QPA_PLATFORM " + environment +
                              " \"" KVCVRT_APP "\" " + args + " > \"" + out.string() + "\" 2> \"" + err.string() + "\"";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, kvtest::ReadAll(out), kvtest::ReadAll(err)};
}

// Help and version need no display; without one the program says so and ends
// with status 1, also when Qt itself finds the display unusable.
TEST(AppProcess, HelpVersionAndNoDisplay) {
  kvtest::ScratchDir dir;
  // out: how it begins; err: words it holds (Qt may warn first)
  const struct { std::string environment, args; int status; std::string out, err; } cases[] = {
      {"", "--version", 0, "kvcvrt " KVCVRT_VERSION "\n", ""},
      {"", "-h", 0, "Usage: kvcvrt [MODEL]\n", ""},
      {"", "", 1, "", "kvcvrt: there is no display to open the window on"},
      {"DISPLAY=:97", "-platform xcb", 1, "", "kvcvrt: the window cannot be opened: "},
  };
  for (const auto& c : cases) {
    const Outcome r = RunApp(dir, c.environment, c.args);
    EXPECT_EQ(r.status, c.status) << c.environment << " " << c.args << "\n" << r.err;
    EXPECT_EQ(r.out.substr(0, c.out.size()), c.out) << c.args;
    EXPECT_TRUE(c.err.empty() ? r.err.empty() : r.err.find(c.err) != std::string::npos) << c.args << "\n" << r.err;
  }
}
#endif

}  // namespace
