// The kept settings file, as any text: what the window takes from it must be
// what it can show, and keeping it again must give back the same values.
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>

#include "app/Convert.h"
#include "app/Log.h"
#include "app/WindowSettings.h"
#include "fuzz/FuzzSupport.h"

namespace {
QString SettingsPath(const char* name) {
  static QTemporaryDir dir(QDir::tempPath() + "/qirel-settings-fuzz-XXXXXX");
  return dir.filePath(name);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzWindow();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TForm1& form = RestedWindow();
  QFile file(SettingsPath("in.ini"));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
  file.write(reinterpret_cast<const char*>(data), qint64(size));
  file.close();
  QSettings settings(SettingsPath("in.ini"), QSettings::IniFormat);
  const KeptWindow kept = ReadKeptWindow(settings);
  form.Guarded([&] { form.RestoreKept(settings); });
  const QString port = form.LabeledEdit1->text();
  if (port.isEmpty() || !std::all_of(port.begin(), port.end(), IsDecimalDigit)) std::abort();
  const int mode = form.RadioGroup2->itemIndex();
  if ((mode != 0 && mode != 1) || form.Edit3->isHidden() != (mode == 0)) std::abort();

  QFile::remove(SettingsPath("out.ini"));
  QSettings out(SettingsPath("out.ini"), QSettings::IniFormat);
  WriteKeptWindow(out, kept);
  const KeptWindow again = ReadKeptWindow(out);
  if (again.geometry != kept.geometry || again.maximised != kept.maximised ||
      again.port != kept.port || again.mode != kept.mode || again.station != kept.station)
    std::abort();
  return 0;
}
