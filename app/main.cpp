#include <QApplication>
#include <QSettings>
#include <exception>

#include "app/Dialogs.h"
#include "app/Log.h"
#include "app/Style.h"
#include "app/WindowSettings.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  try {
    ApplyStyle(application, kAuricStyle);
    QApplication::setApplicationName("Qirel Dalvesca");
    TForm1 form;
    const std::unique_ptr<QSettings> settings = UserSettings();
    form.RestoreKept(*settings);
    form.show();
    QApplication::exec();
    form.Keep(*settings);
  } catch (const std::exception& error) {
    CurrentDialogs().Error(QString::fromUtf8(error.what()));
  } catch (...) {
    CurrentDialogs().Error(QString());
  }
  return 0;
}
