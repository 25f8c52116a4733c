#include <QApplication>
#include <QIcon>
#include <QSettings>
#include <cstdio>
#include <exception>

#include "app/Dialogs.h"
#include "app/Log.h"
#include "app/StartOptions.h"
#include "app/Style.h"
#include "app/WindowSettings.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {
// A window program on Windows has no console of its own: what the command
// line prints goes to the console it was started from, unless redirected.
void UseStartingConsole() {
#ifdef _WIN32
  if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_UNKNOWN &&
      AttachConsole(ATTACH_PARENT_PROCESS)) {
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
  }
#endif
}
}  // namespace

int main(int argc, char* argv[]) {
  // --version and --help answer before the toolkit starts: they need no display.
  const StartOptions early = ParseStartOptions({argv + 1, argv + argc});
  if (early.action == StartOptions::Action::Version) {
    UseStartingConsole();
    std::puts(VersionText().c_str());
    return 0;
  }
  if (early.action == StartOptions::Action::Help) {
    UseStartingConsole();
    std::fputs(StartUsageText().c_str(), stdout);
    return 0;
  }

  QApplication application(argc, argv);
  // The toolkit has taken its own options out of argv by now.
  const StartOptions options = ParseStartOptions({argv + 1, argv + argc});
  if (options.action == StartOptions::Action::Error) {
    UseStartingConsole();
    std::fprintf(stderr, "qirel: %s\n\n%s", options.error.c_str(), StartUsageText().c_str());
    return 2;
  }
  try {
    ApplyStyle(application, kAuricStyle);
    QApplication::setApplicationName(kApplicationName);
    QIcon icon(":/icon/qirel-32.png");
    icon.addFile(":/icon/qirel.png");
    QApplication::setWindowIcon(icon);
    TForm1 form;
    const std::unique_ptr<QSettings> settings = UserSettings();
    form.RestoreKept(*settings);
    form.show();
    if (options.port) form.ConnectAtStart(*options.port);
    QApplication::exec();
    form.Keep(*settings);
  } catch (const std::exception& error) {
    CurrentDialogs().Error(QString::fromUtf8(error.what()));
  } catch (...) {
    CurrentDialogs().Error(QString());
  }
  return 0;
}
