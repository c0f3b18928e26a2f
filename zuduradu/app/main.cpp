// kvcvrt [model path]: opens the converter window, on the given model when
// there is one. The arguments are joined with blanks, so that a path with
// blanks need not be quoted.
#include <QApplication>
#include <string>
#include <vector>

#include "zuduradu/core/model_paths.h"
#include "zuduradu/ui/kvm.h"
#include "zuduradu/ui/qt_shell_services.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("kvcvrt"));

  std::vector<std::string> arguments;
  const QStringList given = QApplication::arguments();
  for (qsizetype i = 1; i < given.size(); ++i) arguments.push_back(given[i].toStdString());

  kv::ui::QtShellServices shell;
  kv::ui::kvm window(shell, kv::JoinArguments(arguments));
  shell.setOwner(&window);
  window.show();
  return QApplication::exec();
}
