// kvcvrt [model path]: opens the converter window, on the given model when
// there is one. The arguments are joined with blanks, so that a path with
// blanks need not be quoted.
#include <QApplication>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "zuduradu/app/start.h"
#include "zuduradu/core/model/model_paths.h"
#include "zuduradu/core/storage/os.h"
#include "zuduradu/ui/app_icon.h"
#include "zuduradu/ui/kvm.h"
#include "zuduradu/ui/qt_shell_services.h"

namespace {

QtMessageHandler previousHandler = nullptr;

// While QApplication starts, a platform that cannot be opened is a fatal Qt
// message, which would abort the process. It ends it with status 1 instead.
void StartUpMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    if (previousHandler) previousHandler(type, context, message);
    return;
  }
  std::fprintf(stderr, "kvcvrt: the window cannot be opened: %s\n", message.toLocal8Bit().constData());
  std::fflush(stderr);
  std::_Exit(1);
}

}  // namespace

int main(int argc, char* argv[]) {
  kv::os::ReportFileSizeLimitAsError();
  kv::os::MarkRunning();
  const std::vector<std::string> args(argv, argv + argc);
  const kv::app::StartRequest request = kv::app::ReadStartRequest(args);
  if (request != kv::app::StartRequest::OpenWindow) kv::os::UseParentConsole();  // kvcvrt.exe --help in a console
  switch (request) {
    case kv::app::StartRequest::PrintHelp:
      std::fputs(kv::app::HelpText().c_str(), stdout);
      return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    case kv::app::StartRequest::PrintVersion:
      std::fputs(kv::app::VersionText().c_str(), stdout);
      return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
    case kv::app::StartRequest::OpenWindow:
      break;
  }
  if (const auto missing = kv::app::MissingDisplay(args, kv::app::ProcessEnvironment)) {
    std::fprintf(stderr, "%s\n", missing->c_str());
    return 1;
  }

  previousHandler = qInstallMessageHandler(StartUpMessage);
  QApplication app(argc, argv);
  qInstallMessageHandler(previousHandler);
  QApplication::setApplicationName(QStringLiteral("kvcvrt"));
  QApplication::setApplicationVersion(QStringLiteral(KVCVRT_VERSION));
  QApplication::setWindowIcon(kv::ui::AppIcon());
  // The desktop entry's name, so that the desktop ties the window to its entry and icon.
  QGuiApplication::setDesktopFileName(QStringLiteral(KVCVRT_APP_ID));

  std::vector<std::string> arguments;
  const QStringList given = QApplication::arguments();
  for (qsizetype i = 1; i < given.size(); ++i) arguments.push_back(given[i].toStdString());

  kv::ui::QtShellServices shell;
  kv::ui::kvm window(shell, kv::JoinArguments(arguments));
  shell.setOwner(&window);
  window.show();
  return QApplication::exec();
}
