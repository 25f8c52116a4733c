// qirel-cli: the window's code runs unseen, so the toolkit starts on its
// offscreen platform whatever the environment says; no display is needed.
#include <QApplication>

#include "app/WindowSettings.h"
#include "cli/Cli.h"

int main(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  if (const std::optional<int> answered = EarlyAnswer(arguments)) return *answered;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // The window's name: its data folder holds the inventory, captures and
  // (on Windows) backups, which the command line shares with it.
  QApplication::setApplicationName(kApplicationName);
  return RunCli(QApplication::arguments());
}
