// "Leer Configuracion" over any file: the profile is read as far as it can be
// and applied to the window; a value that is not a number stops the load with
// the conversion error, which is an expected outcome here. The parse alone is
// also run on the bytes, and its result written back as text.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <string_view>

#include "app/Log.h"
#include "fuzz/FuzzSupport.h"
#include "profile/Profile.h"

namespace {
QString ProfilePath() {
  static QTemporaryDir dir(QDir::tempPath() + "/qirel-profile-fuzz-XXXXXX");
  return dir.filePath("perfil.json");
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzWindow();
  ProfilePath();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TForm1& form = RestedWindow();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const ProfileJson parsed = ParseProfile(bytes);
  ProfileText(parsed);

  QFile file(ProfilePath());
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
  file.write(bytes.data(), qint64(size));
  file.close();
  FuzzDialogs().file = ProfilePath();
  form.Guarded([&] { form.BitBtn11Click(); });
  return 0;
}
