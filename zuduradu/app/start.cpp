#include "zuduradu/app/start.h"

#include <cstdlib>
#include <string_view>

namespace kv::app {

namespace {

// Qt platforms that draw without a display server: into memory, onto the
// framebuffer or the console, or for a remote viewer.
constexpr std::string_view kNoServerNeeded[] = {"offscreen", "minimal", "minimalegl", "vnc",
                                                "linuxfb",   "eglfs",   "vkkhrdisplay"};

bool IsSet(const Environment& env, const char* name) {
  const auto value = env(name);
  return value && !value->empty();
}

// The platform named by -platform NAME (or --platform, or =NAME) among the
// arguments, as Qt reads its own options. (Unused on Windows and macOS, where a
// window needs no display variable.)
[[maybe_unused]] std::optional<std::string> PlatformArgument(const std::vector<std::string>& args) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg.starts_with("--")) arg.remove_prefix(1);
    if (arg == "-platform" && i + 1 < args.size()) return args[i + 1];
    if (arg.starts_with("-platform=")) return std::string(arg.substr(10));
  }
  return std::nullopt;
}

// Whether one platform of the list "name[:options];name..." can start here.
[[maybe_unused]] bool CanStart(std::string_view entry, const Environment& env) {
  const std::string_view name = entry.substr(0, entry.find(':'));
  for (std::string_view free : kNoServerNeeded) {
    if (name == free) return true;
  }
  if (name == "xcb") return IsSet(env, "DISPLAY");
  if (name.starts_with("wayland")) return IsSet(env, "WAYLAND_DISPLAY") || IsSet(env, "WAYLAND_SOCKET");
  return true;  // a platform we do not know: let Qt try it
}

}  // namespace

std::string HelpText() {
  return "Usage: kvcvrt [MODEL]\n"
         "Opens the converter window, which puts matrix input text into the period data file of a groundwater "
         "model in six steps.\n"
         "\n"
         "MODEL is the model description file (.kv5) to open at start: its grid size and the default file names are "
         "taken from it. The arguments are joined with blanks, so a path with blanks need not be quoted.\n"
         "\n"
         "Options:\n"
         "  -h, --help        print this help and exit\n"
         "  -V, --version     print the version and exit\n"
         "  -platform NAME    the Qt platform to draw on, such as xcb, wayland or offscreen\n"
         "\n"
         "The window needs a display: a desktop session (DISPLAY or WAYLAND_DISPLAY set), or QT_QPA_PLATFORM or "
         "-platform naming a platform that draws without one. kvcvrt-cli does the same conversion without a "
         "window.\n"
         "\n"
         "Exit status: 0 when the window was closed, 1 when it could not be opened.\n";
}

std::string VersionText() { return std::string("kvcvrt ") + KVCVRT_VERSION + "\n"; }

StartRequest ReadStartRequest(const std::vector<std::string>& args) {
  if (args.size() != 2) return StartRequest::OpenWindow;
  if (args[1] == "-h" || args[1] == "--help") return StartRequest::PrintHelp;
  if (args[1] == "-V" || args[1] == "--version") return StartRequest::PrintVersion;
  return StartRequest::OpenWindow;
}

std::optional<std::string> ProcessEnvironment(const char* name) {
  // getenv is the standard C call on every platform; nothing here is POSIX-only.
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

std::optional<std::string> MissingDisplay(const std::vector<std::string>& args, const Environment& env) {
#if defined(_WIN32) || defined(__APPLE__)
  (void)args;
  (void)env;
  return std::nullopt;
#else
  std::optional<std::string> platform = PlatformArgument(args);
  if (!platform && IsSet(env, "QT_QPA_PLATFORM")) platform = env("QT_QPA_PLATFORM");
  if (!platform) {
    if (IsSet(env, "DISPLAY") || IsSet(env, "WAYLAND_DISPLAY")) return std::nullopt;
    return "kvcvrt: there is no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set). "
           "Start it in a desktop session, or use kvcvrt-cli for the same conversion without a window.";
  }
  // A list "wayland;xcb" is tried in order by Qt: one that can start is enough.
  std::string_view rest = *platform;
  while (true) {
    const std::size_t semicolon = rest.find(';');
    if (CanStart(rest.substr(0, semicolon), env)) return std::nullopt;
    if (semicolon == std::string_view::npos) break;
    rest.remove_prefix(semicolon + 1);
  }
  return "kvcvrt: the Qt platform \"" + *platform +
         "\" needs a display, and none is set (DISPLAY for xcb, WAYLAND_DISPLAY for wayland). Start it in a desktop "
         "session, or use kvcvrt-cli for the same conversion without a window.";
#endif
}

}  // namespace kv::app
