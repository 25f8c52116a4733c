#include "app/Files.h"

#include <QSaveFile>

bool WriteWholeFile(const QString& path, const void* data, std::size_t size) {
  // Unbuffered: a buffered QSaveFile commits a file cut short by a full disk
  // as if it were whole.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
  if (file.write(static_cast<const char*>(data), qint64(size)) != qint64(size)) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}
