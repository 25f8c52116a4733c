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

namespace {
constexpr int kTimeout = 60000;

QString PgBin(const QString& program) {
  QDir lib("/usr/lib/postgresql");
  QStringList versions = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
  for (auto it = versions.rbegin(); it != versions.rend(); ++it) {
    const QString path = lib.filePath(*it + "/bin/" + program);
    if (QFile::exists(path)) return path;
  }
  return QString();
}

// A server of our own in a temporary folder, as an unprivileged user when run as root.
class TestServer {
 public:
  TestServer() : dir_(QDir::tempPath() + "/qirel-pg-XXXXXX") {
    if (PgBin("initdb").isEmpty()) {
      why_ = "no PostgreSQL server binaries under /usr/lib/postgresql (Debian's postgresql package)";
      return;
    }
    if (!QSqlDatabase::isDriverAvailable("QPSQL")) {
      why_ = "Qt's PostgreSQL driver (libqt6sql6-psql) is not installed";
      return;
    }
    if (geteuid() == 0) {
      if (QProcess::execute("chown", {"nobody", dir_.path()}) != 0) {
        why_ = "cannot give the server's folder to user nobody";
        return;
      }
      runAs_ = {"runuser", "-u", "nobody", "--"};
    }
    QProcess::execute("chmod", {"0700", dir_.path()});
    if (Run({PgBin("initdb"), "-D", Data(), "-U", "qirel", "--auth=trust", "-E", "UTF8", "--no-sync"}) != 0)
      why_ = "initdb failed";
  }
  ~TestServer() { Stop(); }
  const QString& Why() const { return why_; }
  QString Data() const { return dir_.path() + "/data"; }

  bool Start() {
    const QString options = "-k " + dir_.path() + " -c listen_addresses= -c fsync=off";
    running_ = Run({PgBin("pg_ctl"), "-D", Data(), "-l", dir_.path() + "/log", "-o", options, "-w", "-t", "120", "start"}) == 0;
    return running_;
  }
  bool Stop() {
    if (!running_) return true;
    running_ = Run({PgBin("pg_ctl"), "-D", Data(), "-m", "fast", "-w", "-t", "120", "stop"}) != 0;
    return !running_;
  }
  QString Uri() const { return "postgresql:///postgres?host=" + dir_.path() + "&user=qirel&sslmode=disable"; }

  // How many rows the server holds, and how many distinct ids among them.
  std::pair<int, int> Count() const {
    int rows = -1, ids = -1;
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "check");
      db.setHostName(dir_.path());
      db.setUserName("qirel");
      db.setDatabaseName("postgres");
      if (db.open()) {
        QSqlQuery q(db);
        if (q.exec("SELECT count(*), count(DISTINCT id) FROM qirel_records") && q.next()) {
          rows = q.value(0).toInt();
          ids = q.value(1).toInt();
        }
      }
      db.close();
    }
    QSqlDatabase::removeDatabase("check");
    return {rows, ids};
  }

 private:
  int Run(QStringList command) {
    command = runAs_ + command;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(dir_.path());
    process.start(command.takeFirst(), command);
    if (!process.waitForFinished(kTimeout * 2)) return -1;
    if (process.exitCode() != 0) qWarning("%s", process.readAll().constData());
    return process.exitCode();
  }

  QTemporaryDir dir_;
  QStringList runAs_;
  QString why_;
  bool running_ = false;
};

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
