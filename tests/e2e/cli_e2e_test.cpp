// qirel-cli against virtual units, several at once: what the exit code and
// the JSON report say must be what the units hold, and a refused input sends
// nothing. Each run is the real program in a process of its own.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cctype>
#include <memory>

#include "sim/VirtualUnit.h"
#include "tests/Harness.h"
#include "tests/firmware/DownloadTesting.h"
#include "tests/firmware/FirmwareUnit.h"
#include "tests/inventory/TestServer.h"

namespace {
// Generous: a loaded CI machine runs three units and three windows at once.
constexpr int kRunMs = 240000;

struct CliRun {
  int code = -1;
  QByteArray out;
  QByteArray err;
  QJsonObject json;
  QJsonArray units() const { return json["units"].toArray(); }
};

CliRun Cli(const QStringList& arguments) {
  QProcess process;
  process.start(QStringLiteral(QIREL_CLI), arguments);
  CliRun run;
  if (!process.waitForFinished(kRunMs)) {
    process.kill();
    process.waitForFinished();
    return run;
  }
  run.code = process.exitCode();
  run.out = process.readAllStandardOutput();
  run.err = process.readAllStandardError();
  run.json = QJsonDocument::fromJson(run.out).object();
  return run;
}

std::unique_ptr<sim::VirtualUnit> Unit(int com, sim::StoreFaults store = {},
                                       std::optional<std::uint16_t> station = std::nullopt) {
  sim::UnitOptions options;
  options.com = com;
  options.remoteStation = station;
  options.telemetryPeriod = std::chrono::milliseconds(1500);
  options.store = store;
  auto unit = std::make_unique<sim::VirtualUnit>(options);
  unit->Start();
  return unit;
}

QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Save(const QString& path, const QJsonObject& profile) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(QJsonDocument(profile).toJson(QJsonDocument::Compact));
}

// The profile's digital input 1 inverted and a new SMS ID.
QJsonObject Edited(const QByteArray& read) {
  QJsonObject profile = QJsonDocument::fromJson(read).object();
  QJsonArray inputs = profile["cfgDigital"].toArray();
  QJsonObject first = inputs[0].toObject();
  first["inv"] = first["inv"].toString() == "0" ? "-1" : "0";
  inputs[0] = first;
  profile["cfgDigital"] = inputs;
  profile["smsId"] = "Pozo 9";
  return profile;
}

// The lines a terminal shows after these bytes: the few controls the
// progress uses (line feed, carriage return, cursor up and down, erase line).
QStringList Screen(const QByteArray& bytes) {
  QStringList lines{QString()};
  int row = 0, column = 0;
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\n') {
      if (++row == lines.size()) lines << QString();
    } else if (c == '\r') {
      column = 0;
    } else if (c == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
      qsizetype end = i + 2;
      while (end < bytes.size() && std::isdigit(static_cast<unsigned char>(bytes[end]))) ++end;
      const int n = std::max(1, bytes.mid(i + 2, end - i - 2).toInt());
      if (end == bytes.size()) break;
      if (bytes[end] == 'A') row = std::max(0, row - n);
      if (bytes[end] == 'B') row = std::min(int(lines.size()) - 1, row + n);
      if (bytes[end] == 'K') lines[row].clear();
      i = end;
    } else {
      lines[row] = lines[row].leftJustified(column).left(column) + QChar(c);
      ++column;
    }
  }
  return lines;
}

QString UnitText(const QJsonObject& unit) { return QJsonDocument(unit).toJson(QJsonDocument::Compact); }

// The inventory the window and the command line share.
QString InventoryFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Qirel Dalvesca";
}

// The operations and results of a unit's history, oldest first.
QStringList History(const QString& unit) {
  const CliRun run = Cli({"history", unit, "--json"});
  QStringList lines;
  const QJsonArray history = run.json["history"].toArray();
  for (auto it = history.end(); it != history.begin();) {
    const QJsonObject row = (*--it).toObject();
    lines << row["operation"].toString() + ": " + row["result"].toString();
  }
  return lines;
}
}  // namespace

class CliE2eTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir;
  QString Path(const QString& name) const { return dir.filePath(name); }

 private slots:
  void initTestCase() {
    QDir folder(InventoryFolder());
    for (const QString& name : folder.entryList({"inventory.sqlite*"})) QVERIFY(folder.remove(name));
  }

  // Three units read, then written at once with a profile; the third ignores
  // the writes of inputs 1-8. Exit 1 names it, its block and its field; the
  // other two are verified; every backup is what its unit held.
  void writeToThreeUnitsOneIgnoringABlock() {
    sim::StoreFaults ignoring;
    ignoring.ignoreWritesAt = 20105;
    auto a = Unit(61), b = Unit(62), c = Unit(63, ignoring);
    a->SetRegister(20000, 1717);
    b->SetRegister(20000, 4242);

    const CliRun read = Cli({"read", "--port", "61-63", "--output", Path("read"), "--json"});
    QCOMPARE(read.code, 0);
    QCOMPARE(read.units().size(), 3);
    QStringList held;
    for (const auto& unit : read.units()) {
      QCOMPARE(unit.toObject()["result"].toString(), QString("done"));
      held << unit.toObject()["profile"].toString();
    }
    QCOMPARE(QDir(Path("read")).entryList(QDir::Files).size(), 3);
    // Not on a terminal: plain lines, each unit's steps whole and in order.
    QVERIFY2(!read.err.contains('\x1b'), read.err);
    for (int com : {61, 62, 63})
      QVERIFY2(QString(read.err).contains(QRegularExpression(
                   QString("(^|\n)COM%1: Identificar\n(.*\n)*COM%1: Leer todo (\\d+)/\\3\n").arg(com))),
               read.err);
    const QByteArray before = Contents(held[0]);
    Save(Path("site.json"), Edited(before));

    const unsigned writesBefore = c->Counters().writes;
    const CliRun write = Cli({"write", "--port", "61,62,63", "--json", "--backup-dir", Path("backups"),
                              Path("site.json")});
    QVERIFY2(write.code == 1, write.out + write.err);
    const QJsonArray units = write.units();
    QCOMPARE(units.size(), 3);
    for (int i = 0; i < 3; ++i) {
      const QJsonObject unit = units[i].toObject();
      QCOMPARE(unit["port"].toString(), QString("COM%1").arg(61 + i));
      // The backup is the unit as it was, byte for byte.
      QCOMPARE(Contents(unit["backup"].toString()), Contents(held[i]));
      QVERIFY(unit["backup"].toString().startsWith(Path("backups")));
    }
    for (int i : {0, 1}) {
      const QJsonObject unit = units[i].toObject();
      QVERIFY2(unit["result"].toString() == "verified", qPrintable(UnitText(unit)));
      QCOMPARE(unit["exitCode"].toInt(), 0);
    }
    const QJsonObject failed = units[2].toObject();
    QCOMPARE(failed["exitCode"].toInt(), 1);
    QStringList failedBlocks;
    for (const auto& block : failed["blocks"].toArray())
      if (block.toObject()["state"].toString() == "failed") failedBlocks << block.toObject()["block"].toString();
    QCOMPARE(failedBlocks, QStringList{"Digital Input 1-8"});
    const QJsonArray fields = [&] {
      for (const auto& block : failed["blocks"].toArray())
        if (block.toObject()["block"] == "Digital Input 1-8") return block.toObject()["fields"].toArray();
      return QJsonArray();
    }();
    QCOMPARE(fields.size(), 1);
    QCOMPARE(fields[0].toObject()["field"].toString(), QString("Digital Input 1-8: DI 1 Invertir"));
    QVERIFY(fields[0].toObject()["sent"] != fields[0].toObject()["read"]);
    QCOMPARE(write.json["summary"].toObject()["exitCode"].toInt(), 1);
    QCOMPARE(c->Counters().writes - writesBefore, 2u);  // SMS and inputs 1-8 only
    // What the units hold now: the profile's SMS ID everywhere, each its own TSD ID.
    // Each unit keeps its own TSD ID, though the profile came from the first.
    QCOMPARE(b->Register(20000), std::uint16_t(4242));
    QCOMPARE(a->Register(20000), std::uint16_t(1717));

    // Six processes recorded into one inventory at once, and nothing was lost:
    // the three units share the virtual unit's IMEI, so one history holds them all.
    const QString imei = units[0].toObject()["identity"].toObject()["imei"].toString();
    const QStringList history = History(imei);
    QCOMPARE(history.filter(QRegularExpression("^Identificacion: ")).size(), 6);
    QCOMPARE(history.filter(QRegularExpression("^Copia antes de escribir: ")).size(), 3);
    QCOMPARE(history.filter(QRegularExpression("^Escribir todo: OK$")).size(), 2);
    QVERIFY2(history.filter(QRegularExpression("^Escribir todo: ")).size() == 3, qPrintable(history.join('\n')));
  }

  // IDs from a CSV: the unit it names gets its ID, the one it does not name is
  // not written at all, and says so.
  void idsFromAFile() {
    auto named = Unit(71), unnamed = Unit(72);
    const QString profile = Path("ids-site.json");
    QCOMPARE(Cli({"read", "--port", "71", "--output", profile, "--quiet"}).code, 0);
    QFile ids(Path("ids.csv"));
    QVERIFY(ids.open(QIODevice::WriteOnly));
    ids.write("IMEI o puerto;TSD ID\nCOM71;321\n");
    ids.close();
    const unsigned writes = unnamed->Counters().writes;
    const CliRun write = Cli({"write", "--port", "71,72", "--ids", Path("ids.csv"), "--json", profile});
    QVERIFY2(write.code == 1, write.out + write.err);
    QCOMPARE(write.units()[0].toObject()["result"].toString(), QString("verified"));
    QCOMPARE(named->Register(20000), std::uint16_t(321));
    QVERIFY(write.units()[1].toObject()["error"].toString().contains("no nombra"));
    QVERIFY(!write.units()[1].toObject().contains("backup"));
    QCOMPARE(unnamed->Counters().writes, writes);

    ids.open(QIODevice::WriteOnly);
    ids.write("COM71;70000\n");
    ids.close();
    QCOMPARE(Cli({"write", "--port", "71", "--ids", Path("ids.csv"), profile}).code, 2);
  }

  // The same compare, locally and through a remote unit: exactly the fields
  // the profile changes, and exit 1; none and exit 0 once they are equal.
  void compareListsTheDifferences_data() {
    QTest::addColumn<int>("com");
    QTest::addColumn<int>("station");
    QTest::newRow("local") << 64 << 0;
    QTest::newRow("remote") << 65 << 258;
  }
  void compareListsTheDifferences() {
    QFETCH(int, com);
    QFETCH(int, station);
    auto unit = Unit(com, {}, station ? std::optional<std::uint16_t>(station) : std::nullopt);
    QStringList remote;
    if (station) remote << "--remote" << QString::number(station);
    const QString port = QString::number(com);
    const QString same = Path(QString("same-%1.json").arg(com));
    QCOMPARE(Cli(QStringList{"read", "--port", port, "--output", same, "--quiet"} + remote).code, 0);
    QCOMPARE(Cli(QStringList{"compare", "--port", port, "--json", same} + remote).code, 0);

    QJsonObject profile = QJsonDocument::fromJson(Contents(same)).object();
    profile["smsId"] = "Pozo 9";
    QJsonArray tags = profile["tagAnalog"].toArray();
    tags[1] = QJsonObject{{"analog", "Nivel pozo"}};
    profile["tagAnalog"] = tags;
    const QString edited = Path(QString("edited-%1.json").arg(com));
    Save(edited, profile);
    const CliRun compare = Cli(QStringList{"compare", "--port", port, "--json", edited} + remote);
    QVERIFY2(compare.code == 1, compare.out + compare.err);
    QStringList fields;
    for (const auto& d : compare.units()[0].toObject()["differences"].toArray())
      fields << d.toObject()["field"].toString() + "=" + d.toObject()["profile"].toString();
    QCOMPARE(fields, QStringList({"SMS configuracion: SMS ID=Pozo 9",
                                  "Tags Analogicos: 2 Tags Alarmas Analogicas=Nivel pozo"}));
    QCOMPARE(unit->Counters().writes, 0u);
  }

  // Refused before anything is sent, a port that does not open, a unit that
  // does not answer: each its own exit code, with a report on standard output.
  void failuresHaveTheirCodes() {
    sim::StoreFaults silent;
    silent.answerRequests = 0;
    auto mute = Unit(66, silent);
    auto plain = Unit(67);

    const CliRun noAnswer = Cli({"identify", "--port", "66", "--timeout", "3", "--json"});
    QCOMPARE(noAnswer.code, 4);
    QCOMPARE(noAnswer.units()[0].toObject()["result"].toString(), QString("no answer"));

    const CliRun missing = Cli({"identify", "--port", "69", "--json"});
    QCOMPARE(missing.code, 3);
    QVERIFY2(missing.units()[0].toObject()["error"].toString().startsWith("Error al abrir puerto: "),
             missing.out);

    // A profile cut short is refused whole, though the window would load its start.
    QFile::copy(QStringLiteral(QIREL_SOURCE_DIR "/fuzz/corpus/profile/cut_in_modbus.json"), Path("cut.json"));
    const unsigned requests = plain->Counters().requests;
    const CliRun damaged = Cli({"write", "--port", "67", "--json", Path("cut.json")});
    QCOMPARE(damaged.code, 2);
    QVERIFY(damaged.json["error"].toString().contains("cut.json"));
    // A value that is no number is refused as well, before the port opens.
    QFile::copy(QStringLiteral(QIREL_SOURCE_DIR "/fuzz/corpus/profile/bad_number.json"), Path("bad.json"));
    QCOMPARE(Cli({"write", "--port", "67", Path("bad.json")}).code, 2);
    QCOMPARE(plain->Counters().requests, requests);

    QCOMPARE(Cli({"write", "--port", "67", "--frobnicate", Path("cut.json")}).code, 2);
    QCOMPARE(Cli({"read", "--port", "9-3", "--output", Path("x.json")}).code, 2);
    QCOMPARE(Cli({"identify", "--port", "67", "--timeout", "soon"}).code, 2);
    QCOMPARE(plain->Counters().requests, requests);

    // And one that answers, for contrast: its identity in the report.
    const CliRun identify = Cli({"identify", "--port", "67", "--json"});
    QCOMPARE(identify.code, 0);
    QVERIFY(!identify.units()[0].toObject()["identity"].toObject()["imei"].toString().isEmpty());
  }

  // A newer build loads and the unit holds exactly the image; the build it
  // already has is refused (exit 5) unless allowed; a HEX that does not
  // convert is refused before the port opens.
  void flash() {
    sim::VirtualUnit unit(FirmwareUnitOptions(68));
    unit.Start();
    const Bytes firmware = Sequence(6 * 1024 + 100);
    const auto hex = [&](const QString& name, const std::string& text) {
      QFile file(Path(name));
      if (file.open(QIODevice::WriteOnly)) file.write(QByteArray::fromStdString(text));
      return Path(name);
    };
    const QString same = hex("QRL02-017-0456.hex", HexText(firmware, 32));
    const CliRun refused = Cli({"flash", "--port", "68", "--json", same});
    QVERIFY2(refused.code == 5, refused.out + refused.err);
    const QJsonArray questions = refused.units()[0].toObject()["questions"].toArray();
    QVERIFY(!questions.isEmpty());  // asked again at each First Report the unit sends
    for (const auto& question : questions)
      QCOMPARE(question.toObject()["question"].toString() + "=" + question.toObject()["answer"].toString(),
               QString("Error de build=no"));
    QVERIFY(unit.ReceivedImage().empty());

    const QString newer = hex("QRL02-017-0457.hex", HexText(firmware, 32));
    const CliRun loaded = Cli({"flash", "--port", "68", "--json", newer});
    QVERIFY2(loaded.code == 0, loaded.out + loaded.err);
    const Bytes received = unit.ReceivedImage();
    QVERIFY(received.size() >= firmware.size());
    QVERIFY(std::equal(firmware.begin(), firmware.end(), received.begin()));

    const std::string broken = HexText(firmware, 32).replace(1, 2, "FF");  // a record's length
    const unsigned requests = unit.Counters().requests;
    QCOMPARE(Cli({"flash", "--port", "68", hex("QRL02-017-0458.hex", broken)}).code, 2);
    QCOMPARE(Cli({"flash", "--port", "68", hex("firmware.hex", HexText(firmware, 32))}).code, 2);
    QCOMPARE(unit.Counters().requests, requests);
  }

  // A run sends what waits in the inventory to the shared server, once; the
  // server out of reach never changes a run's result.
  void recordsReachTheSharedServer() {
    TestServer server;
    if (!server.Why().isEmpty()) QSKIP(qPrintable("no PostgreSQL server for the test: " + server.Why()));
    auto unit = Unit(84);
    const CliRun down = Cli({"identify", "--port", "84", "--inventory", server.Uri()});
    QVERIFY2(down.code == 0, down.err);
    QVERIFY2(down.err.contains("registros esperan para el servidor"), down.err);

    QVERIFY(server.Start());
    const CliRun up = Cli({"identify", "--port", "84", "--inventory", server.Uri()});
    QVERIFY2(up.code == 0, up.err);
    QVERIFY2(up.err.contains("registros enviados al servidor, 0 pendientes"), up.err);
    const auto [rows, ids] = server.Count();
    QVERIFY(rows >= 2);
    QCOMPARE(ids, rows);
    const CliRun sync = Cli({"sync", "--inventory", server.Uri()});
    QVERIFY2(sync.code == 0, sync.err);
    QVERIFY2(sync.out.startsWith("Enviados: 0,"), sync.out);
    QCOMPARE(server.Count().first, rows);
    QCOMPARE(Cli({"sync"}).code, 2);  // no server named anywhere
  }

  // On a terminal each unit keeps one line, rewritten as it goes: at the end
  // the screen holds one line per unit with its last step, then the report.
  void progressOnATerminal() {
    auto a = Unit(85), b = Unit(86);
    PtyPair terminal;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TERM", "xterm");
    QTemporaryDir runtime;  // else Qt says on the screen that there is none
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    process.setProcessEnvironment(environment);
    process.setStandardErrorFile(QString::fromStdString(terminal.slavePath()));
    process.start(QStringLiteral(QIREL_CLI), {"read", "--port", "85,86", "--output", Path("terminal")});
    QByteArray shown;
    QVERIFY(QTest::qWaitFor(
        [&] {
          const Bytes part = terminal.Read(4096, std::chrono::milliseconds(10));
          shown.append(reinterpret_cast<const char*>(part.data()), qsizetype(part.size()));
          return process.state() == QProcess::NotRunning;
        },
        kRunMs));
    const Bytes rest = terminal.ReadUntilQuiet();
    shown.append(reinterpret_cast<const char*>(rest.data()), qsizetype(rest.size()));
    QCOMPARE(process.exitCode(), 0);
    QStringList screen = Screen(shown);
    QVERIFY2(screen.size() == 3, qPrintable(screen.join('\n')));  // the two lines and the one below them
    QVERIFY2(screen[0].startsWith("COM85: Leer todo ") && screen[1].startsWith("COM86: Leer todo "),
             qPrintable(screen.join('\n')));
    const QRegularExpression done("^COM8[56]: Leer todo (\\d+)/\\1$");
    QVERIFY2(done.match(screen[0]).hasMatch() && done.match(screen[1]).hasMatch(), qPrintable(screen.join('\n')));
    QVERIFY(screen[2].isEmpty());
    // The plain line per step did not come along.
    QVERIFY(!shown.contains("Identificar\n"));
  }

  void helpAndVersion() {
    const CliRun version = Cli({"--version"});
    QCOMPARE(version.code, 0);
    QCOMPARE(version.out.trimmed(), QByteArray("qirel-cli " QIREL_TEST_VERSION));
    for (const char* command : {"ports", "identify", "read", "write", "compare", "flash", "units", "history", "sync"}) {
      const CliRun help = Cli({command, "--help"});
      QCOMPARE(help.code, 0);
      QVERIFY2(help.out.contains(command), help.out);
    }
    QVERIFY(Cli({"write", "--help"}).out.contains("--ids"));
    QCOMPARE(Cli({"frobnicate"}).code, 2);
  }
};

QTEST_GUILESS_MAIN(CliE2eTest)
#include "cli_e2e_test.moc"
