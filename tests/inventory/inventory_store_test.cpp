// The inventory's SQLite file as the window and qirel-cli use it: units
// known by IMEI or TSD ID and joined, records that read back as written,
// several processes writing at once, a damaged file set aside, a first-schema
// file migrated with every record; and the plain functions around it.
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUuid>
#include <QtTest>
#include <set>

#include "inventory/InventoryCli.h"
#include "inventory/Record.h"
#include "inventory/Store.h"

namespace {
InventoryRecord Made(const QString& operation, const QString& imei, const QString& tsd, int seconds) {
  InventoryRecord r = NewRecord(operation, "OK", LocalContext());
  r.time = QDateTime(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC).addSecs(seconds);
  r.unit.imei = imei;
  r.unit.tsdId = tsd;
  r.context.port = "COM3";
  return r;
}

QString WriterPath() { return QCoreApplication::applicationDirPath() + "/inventory_writer"; }
}  // namespace

class InventoryStoreTest : public QObject {
  Q_OBJECT

 private slots:
  // A unit first known by its TSD ID joins its IMEI at the identification
  // that says both; its history keeps every record, newest first, and a
  // stored configuration reads back byte for byte.
  void unitsJoinAndHistoryKeepsEverything() {
    QTemporaryDir dir;
    InventoryStore store(dir.filePath("inventory.sqlite"));
    QVERIFY2(store.Open(), qPrintable(store.error()));
    QCOMPARE(store.SchemaVersion(), kSchemaVersion);

    InventoryRecord read = Made(Operation::kReadAll, "", "4711", 0);
    read.configuration = R"({"perfil":"Vesk","id":"4711","tagAnalog":[{"analog":"Nivel ñandú"}]})";
    QVERIFY2(store.Add(read), qPrintable(store.error()));
    QCOMPARE(store.Units().size(), std::size_t(1));
    QCOMPARE(store.Units()[0].key, QString("TSD 4711"));

    InventoryRecord id = Made(Operation::kIdentification, "861234050123458", "4711", 60);
    id.unit.project = 17;
    id.unit.projectName = "BOMBEO";
    id.unit.build = 456;
    QVERIFY(store.Add(id));
    // A later read that knows only the TSD ID lands on the joined unit.
    QVERIFY(store.Add(Made(Operation::kWrite, "", "4711", 120)));
    // An older record (from another tool) adds to the history, not to "last seen".
    InventoryRecord old = Made(Operation::kCompare, "861234050123458", "", -3600);
    old.origin = "servidor";
    QCOMPARE(store.AddForeign({old, old}), 1);

    const auto units = store.Units();
    QCOMPARE(units.size(), std::size_t(1));
    QCOMPARE(units[0].key, QString("861234050123458"));
    QCOMPARE(units[0].tsdId, QString("4711"));
    QCOMPARE(units[0].projectName, QString("BOMBEO"));
    QCOMPARE(units[0].build, 456);
    QCOMPARE(units[0].lastOperation, Operation::kWrite);
    const auto history = store.History(units[0].key);
    QStringList operations;
    for (const HistoryRow& h : history) operations << h.operation;
    QCOMPARE(operations, QStringList({Operation::kWrite, Operation::kIdentification, Operation::kReadAll,
                                      Operation::kCompare}));
    QVERIFY(history[2].hasConfiguration);
    const auto back = store.Find(history[2].id);
    QVERIFY2(back, qPrintable(store.error()));
    QCOMPARE(back->configuration, read.configuration);
    QCOMPARE(back->time, read.time);
    QCOMPARE(back->context.port, QString("COM3"));
    // Search over identity, project and build.
    QCOMPARE(store.Units("bombeo").size(), std::size_t(1));
    QCOMPARE(store.Units("456").size(), std::size_t(1));
    QCOMPARE(store.Units("450").size(), std::size_t(0));
    // Only this tool's records wait for the server.
    QCOMPARE(store.PendingCount(), 3);

    QString text, errors;
    QTextStream out(&text), err(&errors);
    QCOMPARE(CliHistory(store, "4711", out, err, true), 0);
    out.flush();
    QVERIFY2(text.contains("\"unit\":\"861234050123458\"") && text.count("\"operation\"") == 4, qPrintable(text));
    QCOMPARE(CliHistory(store, "999", out, err, false), 2);
  }

  // Three other processes and this one record at once: nothing is lost.
  void processesRecordingAtOnceLoseNothing() {
    QTemporaryDir dir;
    const QString path = dir.filePath("inventory.sqlite");
    InventoryStore store(path);
    QVERIFY(store.Open());
    constexpr int kEach = 150;
    std::vector<std::unique_ptr<QProcess>> writers;
    for (const char* tag : {"A", "B", "C"}) {
      writers.push_back(std::make_unique<QProcess>());
      writers.back()->start(WriterPath(), {path, QString::number(kEach), tag});
    }
    for (int i = 0; i < kEach; ++i) QVERIFY2(store.Add(Made(Operation::kReadAll, "", "D-1", i)), qPrintable(store.error()));
    for (auto& writer : writers) {
      QVERIFY(writer->waitForFinished(120000));
      QVERIFY2(writer->exitCode() == 0, writer->readAllStandardError().constData());
    }
    QCOMPARE(store.RecordCount(), 4 * kEach);
    QCOMPARE(store.Units().size(), std::size_t(16));
    QCOMPARE(store.History("TSD A-3").size(), std::size_t(kEach / 5));
  }

  // A file that is no database, and one whose pages were overwritten, are
  // set aside as they were and a new inventory starts.
  void damagedFileIsSetAside_data() {
    QTest::addColumn<bool>("midway");
    QTest::newRow("not a database") << false;
    QTest::newRow("damaged pages") << true;
  }
  void damagedFileIsSetAside() {
    QFETCH(bool, midway);
    QTemporaryDir dir;
    const QString path = dir.filePath("inventory.sqlite");
    QByteArray damaged;
    if (midway) {
      {
        InventoryStore store(path);
        QVERIFY(store.Open());
        for (int i = 0; i < 300; ++i) QVERIFY(store.Add(Made(Operation::kReadAll, QString::number(i), "", i)));
      }
      QFile file(path);
      QVERIFY(file.open(QIODevice::ReadWrite));
      QVERIFY(file.size() > 8 * 4096);
      file.seek(2 * 4096);
      file.write(QByteArray(4 * 4096, '\x5A'));
      file.close();
    } else {
      QFile file(path);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(QByteArray("Este archivo no es una base de datos\n").repeated(200));
      file.close();
    }
    {
      QFile file(path);
      QVERIFY(file.open(QIODevice::ReadOnly));
      damaged = file.readAll();
    }
    InventoryStore store(path);
    QVERIFY2(store.Open(), qPrintable(store.error()));
    QVERIFY(!store.setAside().isEmpty());
    QFile aside(store.setAside());
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), damaged);
    QCOMPARE(store.RecordCount(), 0);
    QVERIFY(store.Add(Made(Operation::kIdentification, "1", "", 0)));
    QCOMPARE(store.RecordCount(), 1);
  }

  // A file of the first schema opens migrated, with every record, unit and
  // time as it was, and each record gets an id of its own.
  void firstSchemaMigratesWithEveryRecord() {
    QTemporaryDir dir;
    const QString path = dir.filePath("inventory.sqlite");
    constexpr int kRecords = 500;
    {
      QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "first");
      db.setDatabaseName(path);
      QVERIFY(db.open());
      QSqlQuery q(db);
      QVERIFY(q.exec("CREATE TABLE schema_version(version INTEGER NOT NULL)"));
      for (const QString& sql : FirstSchemaStatements()) QVERIFY2(q.exec(sql), qPrintable(sql));
      QVERIFY(q.exec("INSERT INTO units(key, imei, first_seen, last_seen, last_operation) "
                     "VALUES ('861', '861', '2025-01-01T00:00:00.000Z', '2025-01-01T00:00:00.000Z', 'Leer todo')"));
      db.transaction();
      q.prepare("INSERT INTO records(unit_key, time, operation, result, imei, configuration) VALUES ('861', ?, ?, 'OK', '861', ?)");
      for (int i = 0; i < kRecords; ++i) {
        q.addBindValue(QString("2025-01-01T00:%1:%2.000Z").arg(i / 60, 2, 10, QChar('0')).arg(i % 60, 2, 10, QChar('0')));
        q.addBindValue(i % 2 ? Operation::kReadAll : Operation::kIdentification);
        q.addBindValue(i % 2 ? QString("{\"id\":\"%1\"}").arg(i) : QString(""));
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
      }
      db.commit();
      db.close();
    }
    QSqlDatabase::removeDatabase("first");

    InventoryStore store(path);
    QVERIFY2(store.Open(), qPrintable(store.error()));
    QVERIFY(store.setAside().isEmpty());
    QCOMPARE(store.SchemaVersion(), 2);
    QCOMPARE(store.RecordCount(), kRecords);
    const auto history = store.History("861");
    QCOMPARE(int(history.size()), kRecords);
    std::set<QString> ids;
    for (const HistoryRow& h : history) {
      QVERIFY(!QUuid::fromString(h.id).isNull());
      ids.insert(h.id);
    }
    QCOMPARE(int(ids.size()), kRecords);
    const auto last = store.Find(history.front().id);
    QVERIFY2(last, qPrintable(store.error()));
    QCOMPARE(last->configuration, std::string("{\"id\":\"499\"}"));
    QCOMPARE(store.PendingCount(), kRecords);  // the old records go to a server too
    QVERIFY(store.Add(Made(Operation::kWrite, "861", "", 0)));
  }

  // Rows from a database are checked like a file.
  void rowsThatDoNotReadAreRefused_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("value");
    QTest::newRow("id") << 0 << "1; DROP TABLE units";
    QTest::newRow("time") << 1 << "ayer";
    QTest::newRow("operation") << 2 << "";
    QTest::newRow("identity") << 6 << "[1,2]";
    QTest::newRow("remote") << 10 << "si";
    QTest::newRow("details") << 12 << "{\"bloques\":";
    QTest::newRow("configuration") << 13 << "\"perfil\"";
  }
  void rowsThatDoNotReadAreRefused() {
    QFETCH(int, field);
    QFETCH(QString, value);
    InventoryRecord r = Made(Operation::kReadAll, "861", "1", 0);
    r.configuration = "{\"id\":\"1\"}";
    QStringList fields = RecordFields(r);
    QVERIFY(RecordFromFields(fields));
    fields[field] = value;
    QString why;
    QVERIFY(!RecordFromFields(fields, &why));
    QVERIFY(!why.isEmpty());
  }

  void csvOpensRightInASpreadsheet() {
    const QByteArray csv = CsvText({"Equipo", "Resultado"}, {{"861", "Con fallas: a, b"}, {"=1+1", "dijo \"no\""}});
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(csv.mid(3), QByteArray("Equipo,Resultado\r\n861,\"Con fallas: a, b\"\r\n'=1+1,\"dijo \"\"no\"\"\"\r\n"));
  }

  void serverStrings_data() {
    QTest::addColumn<QString>("uri");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("options");
    QTest::newRow("tls") << "postgresql://ana@inventario.example:6543/qirel?sslmode=verify-full" << true
                         << "sslmode=verify-full;connect_timeout=5";
    QTest::newRow("socket") << "postgresql:///qirel?host=/run/pg&connect_timeout=2" << true << "connect_timeout=2";
    QTest::newRow("service") << "service=oficina sslmode=require" << true << "service=oficina;sslmode=require;connect_timeout=5";
    QTest::newRow("password in url") << "postgresql://ana:secreta@h/db" << false << "";
    QTest::newRow("password option") << "host=h password=secreta" << false << "";
    QTest::newRow("injected option") << "postgresql://h/db?sslmode=disable%3Bhost%3Dotro" << false << "";
  }
  void serverStrings() {
    QFETCH(QString, uri);
    QFETCH(bool, accepted);
    QFETCH(QString, options);
    QString why;
    const auto target = ParseServerUri(uri, &why);
    QCOMPARE(bool(target), accepted);
    if (target) QCOMPARE(target->options, options);
    else QVERIFY(!why.isEmpty());
  }
};

QTEST_GUILESS_MAIN(InventoryStoreTest)
#include "inventory_store_test.moc"
