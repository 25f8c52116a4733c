#include <QApplication>
#include <exception>

#include "app/Dialogs.h"
#include "app/Log.h"
#include "app/Style.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  try {
    ApplyStyle(application, kAuricStyle);
    QApplication::setApplicationName("Qirel Dalvesca");
    TForm1 form;
    form.show();
    QApplication::exec();
  } catch (const std::exception& error) {
    CurrentDialogs().Error(QString::fromUtf8(error.what()));
  } catch (...) {
    CurrentDialogs().Error(QString());
  }
  return 0;
}
