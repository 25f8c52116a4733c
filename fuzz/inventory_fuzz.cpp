// A record as it comes back from the inventory's database or from another
// tool through the shared server: fields separated by 0x1F. A record that
// reads must read the same once written again, go into a real SQLite file
// and come back out of it; its details and configuration must parse.
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>

#include "fuzz/FuzzSupport.h"
#include "inventory/Record.h"
#include "inventory/Store.h"
#include "profile/Profile.h"

namespace {
InventoryStore& Store() {
  static QTemporaryDir dir(QDir::tempPath() + "/qirel-inventory-fuzz-XXXXXX");
  // Kept to the end of the process: Qt's SQL statics go before a static store would.
  static InventoryStore* store = new InventoryStore(dir.filePath("inventory.sqlite"));
  if (!store->IsOpen() && !store->Open()) std::abort();
  return *store;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  StartFuzzApplication();
  Store();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  QStringList fields;
  for (const QByteArray& field : bytes.split('\x1F')) fields << QString::fromUtf8(field);
  QString why;
  const auto record = RecordFromFields(fields, &why);
  if (!record) {
    if (why.isEmpty()) std::abort();  // a refusal always says why
    return 0;
  }
  const QStringList again = RecordFields(*record);
  const auto second = RecordFromFields(again);
  if (!second || RecordFields(*second) != again) std::abort();
  DetailsBlocks(record->details);
  if (!record->configuration.empty()) ProfileText(ParseProfile(record->configuration));

  InventoryStore& store = Store();
  if (store.AddForeign({*record}) < 0) std::abort();
  const auto stored = store.Find(record->id);
  if (!stored) std::abort();
  return 0;
}
