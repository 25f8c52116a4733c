// The shared inventory against a real PostgreSQL server that the test starts
// itself (initdb in a temporary folder, a Unix socket, no TCP port): records
// reach it; with it stopped, recording goes on and records wait; started
// again, they arrive exactly once; another tool's records come down.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>
#include <unistd.h>

#include "inventory/Inventory.h"
#include "inventory/InventoryCli.h"
#include "inventory/Share.h"
#include "inventory/Store.h"
#include "tests/inventory/TestServer.h"

namespace {
constexpr int kTimeout = 60000;

InventoryRecord Made(const QString& tsd) {
  InventoryRecord r = NewRecord(Operation::kReadAll, "OK", LocalContext());
  r.unit.tsdId = tsd;
  r.configuration = "{\"perfil\":\"Vesk\",\"id\":\"" + tsd.toStdString() + "\"}";
  return r;
}
}  // namespace

class InventoryShareTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TestServer> server_;

 private slots:
  void initTestCase() {
    server_ = std::make_unique<TestServer>();
    if (!server_->Why().isEmpty()) QSKIP(qPrintable("no PostgreSQL server for the test: " + server_->Why()));
    QVERIFY(server_->Start());
  }

  // Up, down, offline and back, each record on the server exactly once.
  void recordsReachTheServerExactlyOnce() {
    QTemporaryDir dir;
    InventoryStore laptop(dir.filePath("a.sqlite"));
    QVERIFY(laptop.Open());
    for (int i = 0; i < 3; ++i) QVERIFY(laptop.Add(Made("100")));
    ShareResult result = ShareOnce(laptop, server_->Uri());
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    QCOMPARE(result.sent, 3);
    QCOMPARE(result.pending, 0);
    QCOMPARE(server_->Count(), std::make_pair(3, 3));

    // The server goes away: recording goes on, the pass fails soon, records wait.
    QVERIFY(server_->Stop());
    for (int i = 0; i < 2; ++i) QVERIFY(laptop.Add(Made("200")));
    result = ShareOnce(laptop, server_->Uri());
    QVERIFY(!result.error.isEmpty());
    QCOMPARE(result.pending, 2);
    QString text, errors;
    QTextStream out(&text), err(&errors);
    QCOMPARE(CliSync(laptop, server_->Uri(), out, err), 1);
    err.flush();
    QVERIFY2(errors.contains("2 registros esperan"), qPrintable(errors));

    // Back: they arrive once; a pass whose marks were lost sends again and
    // the server still holds each record once.
    QVERIFY(server_->Start());
    QCOMPARE(CliSync(laptop, server_->Uri(), out, err), 0);
    QCOMPARE(server_->Count(), std::make_pair(5, 5));
    QCOMPARE(laptop.PendingCount(), 0);
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "marks");
      db.setDatabaseName(dir.filePath("a.sqlite"));
      QVERIFY(db.open());
      QSqlQuery q(db);
      QVERIFY(q.exec("UPDATE records SET sent = 0"));
      db.close();
    }
    QSqlDatabase::removeDatabase("marks");
    result = ShareOnce(laptop, server_->Uri());
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    QCOMPARE(server_->Count(), std::make_pair(5, 5));

    // Another technician's laptop sees them, and its own go up too.
    InventoryStore other(dir.filePath("b.sqlite"));
    QVERIFY(other.Open());
    QVERIFY(other.Add(Made("300")));
    result = ShareOnce(other, server_->Uri());
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    QCOMPARE(result.received, 5);
    QCOMPARE(other.History("TSD 100").size(), std::size_t(3));
    QCOMPARE(other.History("TSD 100")[0].origin, QString("servidor"));
    QCOMPARE(other.PendingCount(), 0);
    QCOMPARE(server_->Count(), std::make_pair(6, 6));
    result = ShareOnce(laptop, server_->Uri());
    QCOMPARE(result.received, 1);
    QCOMPARE(laptop.RecordCount(), 6);
  }

  // The window's inventory never waits for the server: with it stopped the
  // records are stored and counted as waiting; when it is back they go.
  void windowInventoryKeepsRecordingWhileTheServerIsDown() {
    QTemporaryDir dir;
    QVERIFY(server_->Stop());
    Inventory inventory(dir.filePath("inventory.sqlite"));
    inventory.SetServer(server_->Uri());
    RecordContext context = LocalContext();
    context.port = "COM7";
    UnitIdentity unit;
    unit.imei = "869999000000001";
    for (int i = 0; i < 4; ++i) inventory.Identified(context, unit);
    inventory.ShareNow();
    QVERIFY(QTest::qWaitFor([&] { return inventory.Pending() == 4 && !inventory.LastShare().error.isEmpty(); }, kTimeout));
    QCOMPARE(inventory.Failures(), 0);
    QVERIFY(server_->Start());
    const int before = server_->Count().first;
    inventory.ShareNow();
    QVERIFY(QTest::qWaitFor([&] { return inventory.Pending() == 0 && inventory.LastShare().error.isEmpty(); }, kTimeout));
    QCOMPARE(server_->Count().first, before + 4);
  }

  void cleanupTestCase() {
    if (server_) server_->Stop();
  }
};

QTEST_GUILESS_MAIN(InventoryShareTest)
#include "inventory_share_test.moc"
