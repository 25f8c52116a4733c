#include "app/Style.h"

#include <QFile>

#include "app/Dialogs.h"

bool ApplyStyle(QApplication& app, const QString& path) {
  Q_INIT_RESOURCE(style);  // the style lives in a static library
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    CurrentDialogs().Error(QString("Cannot load the visual style \"%1\".").arg(path));
    return false;
  }
  app.setStyleSheet(QString::fromUtf8(file.readAll()));
  return true;
}
