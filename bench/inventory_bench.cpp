// The inventory's costs: what recording adds to an operation on the window's
// thread and on the inventory's own, and the "Equipos" dialog opening and
// searching an inventory of 10 000 units and 1 000 000 records.
// inventory_bench [UNITS [RECORDS_PER_UNIT]]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "inventory/Inventory.h"
#include "inventory/InventoryDialog.h"
#include "inventory/Store.h"

namespace {
double Ms(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

void Summary(const char* what, std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  std::printf("%-44s median %7.3f ms  p99 %7.3f ms  max %7.3f ms\n", what, ms[ms.size() / 2],
              ms[ms.size() * 99 / 100], ms.back());
}

InventoryRecord Write(int unit, int n) {
  InventoryRecord r = NewRecord(n % 3 == 0 ? Operation::kIdentification : Operation::kWrite, "OK", LocalContext());
  r.unit.imei = QString("86123405%1").arg(unit, 7, 10, QChar('0'));
  r.unit.tsdId = QString::number(1000 + unit);
  r.unit.project = 1 + unit % 34;
  r.unit.projectName = QString("PROYECTO-%1").arg(r.unit.project);
  r.unit.build = 400 + unit % 80;
  r.context.port = "COM3";
  r.details = R"({"bloques":[{"bloque":"SMS configuracion","resultado":"verificado","campos":[]}]})";
  return r;
}
}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int units = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int perUnit = argc > 2 ? std::atoi(argv[2]) : 100;
  QTemporaryDir dir;

  // Recording: the window's thread only hands the record over.
  {
    const QString path = dir.filePath("small.sqlite");
    Inventory inventory(path);
    inventory.Wait();
    std::vector<double> gui;
    for (int i = 0; i < 2000; ++i) {
      QElapsedTimer t;
      t.start();
      inventory.Record(RecordContext{}, Operation::kWrite, "OK", Write(i % 50, i).details);
      gui.push_back(Ms(t));
    }
    inventory.Wait();
    Summary("record, window's thread", gui);
    InventoryStore store(path);
    store.Open();
    std::vector<double> disk;
    for (int i = 0; i < 500; ++i) {
      QElapsedTimer t;
      t.start();
      store.Add(Write(i % 50, i));
      disk.push_back(Ms(t));
    }
    Summary("record, inventory's thread (one transaction)", disk);
  }

  // A large inventory, made directly.
  const QString path = dir.filePath("large.sqlite");
  {
    InventoryStore store(path);
    store.Open();
    QElapsedTimer t;
    t.start();
    for (int u = 0; u < units; ++u) store.Add(Write(u, 0));
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "bulk");
      db.setDatabaseName(path);
      db.open();
      QSqlQuery q(db);
      q.exec("PRAGMA synchronous=OFF");
      db.transaction();
      q.prepare("INSERT INTO records(id, unit_key, time, operation, result, imei, tsd_id, identity, user_name, host, "
                "port, remote, station, details, configuration, origin, sent) "
                "VALUES (?, ?, ?, ?, 'OK', ?, '', '{}', 'ana', 'taller', 'COM3', 0, '', '{}', '', 'servidor', 1)");
      for (int u = 0; u < units; ++u)
        for (int n = 1; n < perUnit; ++n) {
          const InventoryRecord r = Write(u, n);
          q.addBindValue(r.id);
          q.addBindValue(r.unit.imei);
          q.addBindValue(r.time.addSecs(-n * 3600).toString(Qt::ISODateWithMs));
          q.addBindValue(r.operation);
          q.addBindValue(r.unit.imei);
          q.exec();
        }
      db.commit();
      db.close();
    }
    QSqlDatabase::removeDatabase("bulk");
    std::printf("made %d units, %d records in %.1f s\n", units, store.RecordCount(), Ms(t) / 1000);
  }
  {
    QElapsedTimer t;
    t.start();
    Inventory inventory(path);
    inventory.Wait();
    std::printf("%-44s %7.1f ms (on the inventory's thread)\n", "open with integrity check", Ms(t));
    std::vector<double> open, search, history;
    for (int run = 0; run < 5; ++run) {
      t.restart();
      InventoryDialog dialog(inventory, {}, nullptr);
      dialog.show();
      app.processEvents();
      open.push_back(Ms(t));
      for (const char* needle : {"PROYECTO-17", "8612340500", "456", "1999", "no-existe"}) {
        t.restart();
        dialog.inventorySearch->setText(needle);
        app.processEvents();
        search.push_back(Ms(t));
      }
      dialog.inventorySearch->clear();
      t.restart();
      dialog.inventoryTable->selectRow(run);
      app.processEvents();
      history.push_back(Ms(t));
    }
    Summary("dialog opens (units shown)", open);
    Summary("search", search);
    Summary("history of a unit", history);
  }
  return 0;
}
