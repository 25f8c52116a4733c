// A second tool recording at the same time as others: `inventory_writer FILE
// COUNT TAG` adds COUNT records for units TAG-0…TAG-4 and fails on any loss.
#include <QCoreApplication>
#include <cstdio>

#include "inventory/Store.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 4) return 2;
  InventoryStore store(QString::fromLocal8Bit(argv[1]));
  if (!store.Open()) {
    std::fprintf(stderr, "open: %s\n", qPrintable(store.error()));
    return 1;
  }
  const int count = QString(argv[2]).toInt();
  const QString tag = QString::fromLocal8Bit(argv[3]);
  for (int i = 0; i < count; ++i) {
    InventoryRecord record = NewRecord(Operation::kReadAll, tag, LocalContext());
    record.unit.tsdId = QString("%1-%2").arg(tag).arg(i % 5);
    record.configuration = "{\"perfil\":\"Vesk\",\"id\":\"" + record.unit.tsdId.toStdString() + "\"}";
    if (!store.Add(record)) {
      std::fprintf(stderr, "add %d: %s\n", i, qPrintable(store.error()));
      return 1;
    }
  }
  return 0;
}
