// Session capture files and their replay: what the file holds as it is
// written, what is refused and where, and a replay that puts back the
// request each reply answered, in local and remote mode, and can be stopped.
#include <QComboBox>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Log.h"
#include "protocol/Protocol.h"
#include "tests/Harness.h"
#include "tests/RestingForm.h"

namespace {
// Digital output reply: on time 123, pulse width 456.
const Bytes kDoReply = FrameWithCrc(HexBytes("01 03 06 00 7B 00 01 01 C8"));
const Bytes kDiReply = FrameWithCrc(HexBytes("01 03 0C 00 00 00 00 00 00 00 00 00 00 00 00"));

std::string Record(std::uint64_t ms, CaptureKind kind, const std::string& text) {
  CaptureRecord record;
  record.ms = ms;
  record.kind = kind;
  record.bytes.assign(text.begin(), text.end());
  return FormatRecord(record) + '\n';
}
std::string Record(std::uint64_t ms, CaptureKind kind, const Bytes& bytes) {
  return Record(ms, kind, std::string(bytes.begin(), bytes.end()));
}
std::string PendingRecord(std::uint64_t ms, int request, bool remote) {
  CaptureRecord record;
  record.ms = ms;
  record.kind = CaptureKind::Pending;
  record.request = request;
  record.remote = remote;
  return FormatRecord(record) + '\n';
}
std::string DispatchRecord(std::uint64_t ms) {
  CaptureRecord record;
  record.ms = ms;
  record.kind = CaptureKind::Dispatched;
  return FormatRecord(record) + '\n';
}
}  // namespace

class CaptureTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir;
  std::unique_ptr<TForm1> form;

  QString WriteFile(const std::string& text) {
    static int count = 0;
    const QString path = dir.filePath(QString("c%1.qcap").arg(++count));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text.data(), qsizetype(text.size()));
    return path;
  }

  // Replays as fast as possible and waits for the end.
  void Replay(const std::string& text, DialogScript& dialogs, int speed = 2) {
    dialogs->files.push_back(WriteFile(text));
    form->replaySpeed->setCurrentIndex(speed);
    form->replayButton->click();
    QTRY_VERIFY_WITH_TIMEOUT(!form->replay->IsRunning(), 20000);
  }

 private slots:
  void init() { form = RestingForm(); }
  void cleanup() { form.reset(); }

  void recordsReachTheFileAsTheyHappen() {
    // A name outside the Windows code page, as a user folder in another script gives.
    const QString path = dir.filePath(QString::fromUtf8("Añelo 測試.qcap"));
    CaptureWriter writer;
    QVERIFY(writer.Open(path));
    writer.Bytes(CaptureKind::Received, HexBytes("41 42 0D 0A"));
    writer.Bytes(CaptureKind::Sent, HexBytes("01 03 4E 40 00 03"));
    writer.Pending(72, true);
    writer.Dispatched();
    // Read while still open: a crash now would keep all four.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    const CaptureParse parsed = ParseCapture(std::string_view(text.constData(), text.size()));
    QVERIFY(parsed.capture);
    QCOMPARE(parsed.capture->records.size(), std::size_t(4));
    QCOMPARE(Hex(parsed.capture->records[0].bytes), std::string("41 42 0D 0A"));
    QVERIFY(parsed.capture->records[1].kind == CaptureKind::Sent);
    QCOMPARE(parsed.capture->records[2].request, 72);
    QVERIFY(parsed.capture->records[2].remote);
    QVERIFY(parsed.capture->records[3].kind == CaptureKind::Dispatched);
    QVERIFY(writer.Intact());
  }

  void damageIsRefusedNamingItsLine_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::newRow("empty") << QByteArray() << 1;
    QTest::newRow("not a capture") << QByteArray("hola\n0 R 41\n") << 1;
    QTest::newRow("newer format") << QByteArray("QIREL-CAPTURE 2 0\n") << 1;
    QTest::newRow("odd hex") << QByteArray("QIREL-CAPTURE 1 0\n0 R 41\n5 R 4G\n") << 3;
    QTest::newRow("no separator") << QByteArray("QIREL-CAPTURE 1 0\n0 R 4142\n") << 2;
    QTest::newRow("time backwards") << QByteArray("QIREL-CAPTURE 1 0\n9 R 41\n8 R 41\n") << 3;
    QTest::newRow("unknown kind") << QByteArray("QIREL-CAPTURE 1 0\n0 X 41\n") << 2;
    QTest::newRow("empty line") << QByteArray("QIREL-CAPTURE 1 0\n\n0 R 41\n") << 2;
    QTest::newRow("bad mode") << QByteArray("QIREL-CAPTURE 1 0\n0 P 72 X\n") << 2;
    QTest::newRow("request too big") << QByteArray("QIREL-CAPTURE 1 0\n0 P 2147483648 L\n") << 2;
    QTest::newRow("bad filters") << QByteArray("QIREL-CAPTURE 1 0\n0 F 1 0\n0 F 1 2\n") << 3;
    QTest::newRow("endless line") << "QIREL-CAPTURE 1 0\n0 T " + QByteArray(300000, '4') + "\n" << 2;
    QByteArray big = "QIREL-CAPTURE 1 0\n0 R 41";  // more than the inbox holds
    for (int i = 1; i < 512; ++i) big += " 41";
    QTest::newRow("take too long") << big + "\n" << 2;
  }
  void damageIsRefusedNamingItsLine() {
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    const CaptureParse parsed = ParseCapture(std::string_view(text.constData(), text.size()));
    QVERIFY(!parsed.capture);
    QCOMPARE(parsed.errorLine, line);

    DialogScript dialogs;
    dialogs->files.push_back(WriteFile(text.toStdString()));
    form->replayButton->click();
    QVERIFY(!form->replay->IsRunning());
    QCOMPARE(dialogs->messages.size(), 1);
    QVERIFY2(dialogs->messages[0].startsWith(QString("Captura dañada en la línea %1: ").arg(line)),
             qPrintable(dialogs->messages[0]));
  }

  void aLineCutByACrashIsLeftOut() {
    const std::string text = "QIREL-CAPTURE 1 0\r\n0 R 41 0D\r\n5 R 42 4";
    const CaptureParse parsed = ParseCapture(text);
    QVERIFY(parsed.capture);
    QCOMPARE(parsed.capture->records.size(), std::size_t(1));
  }

  void repliesAreDecodedAsLiveWithTheirRequests() {
    DialogScript dialogs;
    const std::string text = "QIREL-CAPTURE 1 1765300000000\n" +
                             Record(0, CaptureKind::Received, ">Serial TX 8 bytes en buffer\r\n") +
                             Record(10, CaptureKind::Sent, HexBytes("01 03 4E 40 00 03 13 2F")) +
                             PendingRecord(10, 72, false) +
                             Record(100, CaptureKind::Received, EmbeddedLine(kDoReply) + "\r\n") +
                             DispatchRecord(300) + PendingRecord(310, 70, false) +
                             Record(400, CaptureKind::Received, EmbeddedLine(kDiReply) + "\r\n") +
                             DispatchRecord(800);
    Replay(text, dialogs);
    QVERIFY(dialogs->messages.isEmpty());
    QCOMPARE(form->LabeledEdit38->text(), QString("123"));
    QCOMPARE(form->LabeledEdit9->text(), QString("456"));
    QCOMPARE(form->StatusText(), QString("Estado: Lectura Configuracion DI 1 Recibido"));
    QCOMPARE(Lines(form->Memo2),
             QStringList({">Serial TX 8 bytes en buffer", "=> Enviado: 01 03 4E 40 00 03 13 2F"}));
    QCOMPARE(pendingRequest, 0);
  }

  void remoteRepliesComeRawAndEndWithAQuietTick() {
    DialogScript dialogs;
    form->Edit3->setText("258");
    // A raw reply in two takes; then one cut short, which the quiet tick
    // after it ends, so the unit's next line is trace again.
    const Bytes first(kDoReply.begin(), kDoReply.begin() + 4);
    const Bytes rest(kDoReply.begin() + 4, kDoReply.end());
    const std::string text = "QIREL-CAPTURE 1 0\n" + PendingRecord(0, 72, true) +
                             Record(50, CaptureKind::Received, first) +
                             Record(100, CaptureKind::Received, rest) + DispatchRecord(120) +
                             PendingRecord(200, 72, true) +
                             Record(250, CaptureKind::Received, first) + DispatchRecord(400) +
                             Record(900, CaptureKind::Received, "GSM ok\r\n");
    Replay(text, dialogs);
    QCOMPARE(form->RadioGroup2->itemIndex(), 1);
    QCOMPARE(form->LabeledEdit38->text(), QString("123"));
    QCOMPARE(Lines(form->Memo1), QStringList({"GSM ok"}));
  }

  // What the technician saw depended on the console filters of the moment
  // and on the unit's silences; the user's own filters come back afterwards.
  void filtersAndSilencesAsTheTechnicianHadThem() {
    DialogScript dialogs;
    form->Serie->setChecked(false);
    form->Panel5->setCaption("Conectado Servidor");
    qint64 disconnectedAt = -1;
    connect(form->replay, &CaptureReplay::takeDue, form.get(), [&] {
      if (disconnectedAt < 0 && form->Panel5->caption() == "Equipo desconectado")
        disconnectedAt = form->replay->RecordTime().toMSecsSinceEpoch();
    });
    CaptureRecord serial;
    serial.kind = CaptureKind::Filters;
    serial.serial = false;
    std::string text = "QIREL-CAPTURE 1 0\n" + FormatRecord(serial) + '\n' +
                       Record(0, CaptureKind::Received, ">serial: a\r\n");
    serial.ms = 3000;
    serial.serial = true;
    text += FormatRecord(serial) + '\n' +
            Record(5000, CaptureKind::Received, ">serial: b\r\n") +  // quiet 5 s: nothing
            Record(20000, CaptureKind::Received, "c\r\n");           // quiet 15 s
    Replay(text, dialogs);
    QCOMPARE(Lines(form->Memo1), QStringList({">serial: a", "c"}));
    QCOMPARE(Lines(form->Memo2), QStringList({">serial: b"}));
    QCOMPARE(disconnectedAt, qint64(5000 + 11000));
    QVERIFY(!form->Serie->isChecked());
    QVERIFY(dialogs->messages.isEmpty());
  }

  void cancelStopsCleanly() {
    DialogScript dialogs;
    std::string text = "QIREL-CAPTURE 1 0\n";
    for (int i = 0; i < 600; ++i)
      text += Record(std::uint64_t(i) * 100, CaptureKind::Received,
                     "linea " + std::to_string(i) + "\r\n");
    form->Timer1->start();
    dialogs->files.push_back(WriteFile(text));
    form->replaySpeed->setCurrentIndex(0);  // a minute at the captured pace
    form->replayButton->click();
    QVERIFY(form->replay->IsRunning());
    QVERIFY(!form->Timer1->isActive());
    QCOMPARE(form->replayButton->text(), QString("Detener reproducción"));
    QTRY_VERIFY_WITH_TIMEOUT(Lines(form->Memo1).size() >= 2, 20000);
    form->replayButton->click();
    QVERIFY(!form->replay->IsRunning());
    const int shown = int(Lines(form->Memo1).size());
    QVERIFY(shown < 600);
    QTest::qWait(300);
    QCOMPARE(int(Lines(form->Memo1).size()), shown);
    QVERIFY(form->Timer1->isActive());
    QVERIFY(form->BitBtn1->isEnabled());
    QVERIFY(form->captureButton->isEnabled());
    QCOMPARE(form->replayButton->text(), QString("Reproducir captura"));
  }

  void noReplayWhileThePortIsOpen() {
    DialogScript dialogs;
    PretendConnected(*form);
    dialogs->files.push_back(WriteFile("QIREL-CAPTURE 1 0\n"));
    form->replayButton->click();
    QVERIFY(!form->replay->IsRunning());
    QCOMPARE(dialogs->messages, QStringList({"Desconecte el puerto para reproducir una captura"}));
    QCOMPARE(dialogs->files.size(), std::size_t(1));  // no file was asked for
  }
};

QTEST_MAIN(CaptureTest)
#include "capture_test.moc"
