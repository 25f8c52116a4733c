// The check of a HEX file before its download: address ranges, the places the
// conversion closed up, sizes and the expected time; what the DownLoad page
// shows of it and the question before a download of a suspicious image.
#include "firmware/Preflight.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Log.h"
#include "firmware/DownLoad.h"
#include "tests/Harness.h"
#include "tests/firmware/DownloadTesting.h"

namespace {

struct Region {
  int address;  // linear address
  Bytes data;
};

// Data records of 16 bytes, each region behind an extended linear address
// record when it lies beyond the first 64 KiB.
std::string RegionsHex(const std::vector<Region>& regions) {
  std::string text;
  for (const Region& region : regions) {
    if (region.address >= 0x10000)
      text += HexRecord(4, 0,
                        {std::uint8_t(region.address >> 24), std::uint8_t(region.address >> 16)}) +
              "\r\n";
    for (std::size_t at = 0; at < region.data.size(); at += 16)
      text +=
          HexRecord(0, int((region.address + int(at)) & 0xFFFF),
                    Slice(region.data, at, std::min<std::size_t>(16, region.data.size() - at))) +
          "\r\n";
  }
  return text + kEndOfFile + "\r\n";
}

HexPreflight Analyse(const std::string& text) { return AnalyseHex(Text(text)); }

// The data records of an image, joined.
Bytes ImageData(const Bytes& image) {
  Bytes data;
  for (int n = 0; n < ReadImageHeader(image).chunkCount - 2; ++n)
    data = Join(data, RecordData(image, n));
  return data;
}

}  // namespace

class PreflightTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir;

  QString Save(const QString& name, const std::string& text) {
    const QString path = dir.filePath(name);
    SaveBytes(path, Text(text));
    return path;
  }

 private slots:
  void separateRegionsWarnWithBothRanges() {
    const Bytes low = Sequence(256);
    const Bytes high = Sequence(256, 1000);
    const std::string text = RegionsHex({{0x0000, low}, {0x1000, high}});
    const HexPreflight report = Analyse(text);
    QCOMPARE(report.ranges.size(), std::size_t(2));
    QCOMPARE(report.ranges[1].first, std::uint64_t(0x1000));
    QCOMPARE(report.ranges[1].end, std::uint64_t(0x1100));
    QCOMPARE(report.warnings.size(), std::size_t(1));
    const QString warning = QString::fromStdString(report.warnings[0]);
    QVERIFY2(warning.startsWith("ATENCION: hueco de 3840 bytes") &&
                 warning.contains("0x00000000-0x000000FF") &&
                 warning.contains("0x00001000-0x000010FF"),
             qPrintable(warning));
    // The conversion itself still joins them, as the unit expects of it.
    QCOMPARE(ImageData(ConvertHex(Text(text), {2, 17, 456}).image), Join(low, high));
  }

  void addressesTheConversionCloses_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("ranges");
    QTest::addColumn<QString>("warning");  // empty: none
    QTest::newRow("overlap") << QString::fromStdString(
                                    RegionsHex({{0x0000, Sequence(64)}, {0x0020, Sequence(64)}}))
                             << "0-60"
                             << "ATENCION: 0x00000020-0x0000005F repite 32 bytes ya cargados en "
                                "0x00000020-0x0000003F";
    QTest::newRow("backwards")
        << QString::fromStdString(RegionsHex({{0x0100, Sequence(32)}, {0x0000, Sequence(32)}}))
        << "0-20 100-120"
        << "ATENCION: 0x00000000-0x0000001F va antes que 0x00000100-0x0000011F";
    // A segment record carries the data on across 64 KiB without a gap.
    QTest::newRow("segment") << QString::fromStdString(HexRecord(0, 0xFFF0, Sequence(16)) + "\r\n" +
                                                       HexRecord(2, 0, {0x10, 0x00}) + "\r\n" +
                                                       HexRecord(0, 0, Sequence(16)) + "\r\n" +
                                                       kEndOfFile + "\r\n")
                             << "fff0-10010"
                             << "";
    // Firmware linked high in memory starts where its linear address says.
    QTest::newRow("linear") << QString::fromStdString(RegionsHex({{0x08000000, Sequence(40)}}))
                            << "8000000-8000028"
                            << "";
  }
  void addressesTheConversionCloses() {
    QFETCH(QString, text);
    QFETCH(QString, ranges);
    QFETCH(QString, warning);
    const HexPreflight report = Analyse(text.toStdString());
    QStringList seen;
    for (const AddressRange& range : report.ranges)
      seen << QString::number(range.first, 16) + "-" + QString::number(range.end, 16);
    QCOMPARE(seen.join(' '), ranges);
    QCOMPARE(report.warnings.size(), std::size_t(warning.isEmpty() ? 0 : 1));
    if (!warning.isEmpty())
      QVERIFY2(QString::fromStdString(report.warnings[0]).startsWith(warning),
               report.warnings[0].c_str());
  }

  void objcopyOutputIsClean() {
#ifdef _WIN32
    QSKIP("objcopy (binutils) is not part of Windows");
#endif
    const Bytes firmware = Sequence(70000);
    const QString bin = dir.filePath("firmware.bin");
    const QString hex = dir.filePath("QRL02-017-0456.hex");
    SaveBytes(bin, firmware);
    QProcess objcopy;
    objcopy.start("objcopy", {"-I", "binary", "-O", "ihex", bin, hex});
    QVERIFY2(objcopy.waitForFinished(30000) && objcopy.exitCode() == 0,
             "objcopy (binutils) is needed to write the HEX file");
    QFile file(hex);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains(":020000021000EC"));  // a segment record carries the data past 64 KiB

    const HexPreflight report = AnalyseHex(Bytes(text.begin(), text.end()));
    QVERIFY2(!report.Warned(), report.warnings.empty() ? "" : report.warnings[0].c_str());
    QCOMPARE(report.ranges.size(), std::size_t(1));
    QCOMPARE(report.ranges[0].first, std::uint64_t(0));
    QCOMPARE(report.ranges[0].end, std::uint64_t(70000));
    QCOMPARE(report.dataBytes, std::size_t(70000));
    QCOMPARE(report.imageRecords, 276);  // 274 data records, the repeat and the end record
    const HexConversion conversion = ConvertHex(Bytes(text.begin(), text.end()), {2, 17, 456});
    QCOMPARE(conversion.recordCount, report.imageRecords);
    QCOMPARE(conversion.image.size(), report.imageBytes);
    Bytes expected = firmware;
    expected.resize(274 * 256, 0xFF);
    QVERIFY(ImageData(conversion.image) == expected);
  }

  void expectedTimeOfA64KiBImage() {
    // 256 data records: the figures the line must carry each way.
    const DownloadTraffic traffic = SessionTraffic(258);
    QCOMPARE(traffic.toolBytes, std::size_t(14 + 13 + 257 * 271 + 15));
    QCOMPARE(traffic.unitBytes, std::size_t(24 + 258 * 13 + 11));
    const double wire = (69689.0 + 3389.0) / 1920.0;  // 38.1 s
    QVERIFY(ExpectedDownloadSeconds(258) > wire && ExpectedDownloadSeconds(258) < wire * 1.15);
    QCOMPARE(QString::fromStdString(Duration(38.06)), QString("0:39"));
    QCOMPARE(QString::fromStdString(Duration(3723)), QString("1:02:03"));
  }

  void pageShowsTheCheckAndAsksBeforeADownload() {
    TForm1 form;
    DialogScript dialogs;
    const QString warned =
        Save("QRL02-017-0456.hex", RegionsHex({{0x0000, Sequence(256)}, {0x1000, Sequence(256)}}));
    dialogs->files = {warned, dir.filePath("warned.bin")};
    form.BitBtn22Click();
    const QStringList log = Lines(form.Memo3);
    QVERIFY(log.contains("Rango 0x00000000-0x000000FF (256 bytes)"));
    QVERIFY(log.contains("Rango 0x00001000-0x000010FF (256 bytes)"));
    QCOMPARE(log.filter(QRegularExpression(
                            "^ATENCION: hueco .*0x00000000-0x000000FF.*0x00001000-0x000010FF"))
                 .size(),
             1);
    QCOMPARE(form.preflightPanel->color(), clRedOrange);
    QVERIFY(form.preflightPanel->caption().contains("0x00001000-0x000010FF"));
    QVERIFY(form.preflightPanel->caption().contains("ATENCION"));

    // Cancel: nothing starts.
    dialogs->confirmAnswers = {false};
    form.BitBtn21Click();
    QCOMPARE(dialogs->questions.size(), 1);
    QVERIFY(!downloadSession.IsActive());
    QCOMPARE(Lines(form.Memo3).last(), QString("DownLoad no iniciada"));
    // OK: the session starts as it always did.
    form.BitBtn21Click();
    QCOMPARE(dialogs->questions.size(), 2);
    QVERIFY(downloadSession.IsActive());
    form.BitBtn40Click();

    // A clean image goes without a question.
    const QString clean = Save("QRL02-017-0457.hex", HexText(Sequence(600)));
    dialogs->files = {clean, dir.filePath("clean.bin")};
    form.BitBtn22Click();
    QCOMPARE(form.preflightPanel->color(), clGreen);
    QVERIFY(!form.preflightPanel->caption().contains("ATENCION"));
    form.BitBtn21Click();
    QCOMPARE(dialogs->questions.size(), 2);
    QVERIFY(downloadSession.IsActive());
    form.BitBtn40Click();

    // A file that cannot be read: one message naming it, and no check shown.
    const QString missing = dir.filePath("gone/QRL02-017-0458.hex");
    dialogs->files = {missing};
    form.BitBtn22Click();
    const QString shown = "No se puede abrir el archivo HEX " + QDir::toNativeSeparators(missing);
    QCOMPARE(dialogs->messages, QStringList{shown});
    QCOMPARE(Lines(form.Memo3).last(), shown);
    QVERIFY(!form.preflightPanel->caption().contains("0x"));
    QCOMPARE(form.Label155->text(), QString("-"));
  }
};

QTEST_MAIN(PreflightTest)
#include "preflight_test.moc"
