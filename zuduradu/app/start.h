// What kvcvrt decides before it makes its QApplication: whether it was only
// asked for its help or version, and whether there is a display to open the
// window on. Without a display Qt would abort the process with a core dump.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kv::app {

// The text of kvcvrt --help.
std::string HelpText();

// The text of kvcvrt --version.
std::string VersionText();

enum class StartRequest { OpenWindow, PrintHelp, PrintVersion };

// A lone -h/--help or -V/--version asks for a text; anything else, the window.
StartRequest ReadStartRequest(const std::vector<std::string>& args);

// Reads an environment variable: nothing when it is not set.
using Environment = std::function<std::optional<std::string>(const char*)>;

// The process's environment.
std::optional<std::string> ProcessEnvironment(const char* name);

// Why the window cannot be opened: the platform Qt would use (from -platform
// NAME among args, else QT_QPA_PLATFORM, else the desktop's default) needs a
// display server that the environment does not name. Nothing when the window
// can be tried; always nothing on Windows and macOS, which have their desktop.
std::optional<std::string> MissingDisplay(const std::vector<std::string>& args, const Environment& env);

}  // namespace kv::app
