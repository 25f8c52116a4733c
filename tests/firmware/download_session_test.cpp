// Download sessions on the wire: the test plays the unit on a pty and calls
// the download tick itself.
#include <QTemporaryDir>
#include <QtTest>
#include <thread>

#include "app/Log.h"
#include "firmware/DownLoad.h"
#include "link/Unit1.h"
#include "protocol/Protocol.h"
#include "tests/Harness.h"
#include "tests/firmware/DownloadTesting.h"

namespace {

const Bytes kStart = HexBytes("44 6F 77 6E 6C 6F 61 64 20 49 6E 69 74 00");
const Bytes kAccept = HexBytes("02 00 02 00 11 01 C8 00 04 01 00 00 E3");

std::int32_t InboxCount() {
  while (portInbox.busy.test_and_set()) {
  }
  const std::int32_t count = portInbox.count;
  portInbox.busy.clear();
  return count;
}

// The unit writes; returns once the reader has put it all in the inbox.
void Arrives(WiredForm& form, const Bytes& bytes) {
  form.unit().Write(bytes);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (InboxCount() < std::int32_t(bytes.size()) && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace

class DownloadSessionTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir;
  QString imagePath;
  Bytes image;

  // The unit sends, and one download tick runs.
  static void Say(WiredForm& form, const Bytes& bytes) {
    Arrives(form, bytes);
    form->Timer5Timer();
  }
  static Bytes Heard(WiredForm& form, std::size_t count) { return form.unit().Read(count); }

  static void Start(WiredForm& form) {
    form->BitBtn21->click();
    QCOMPARE(Hex(Heard(form, kStart.size())), Hex(kStart));
    QVERIFY(!form->BitBtn22->isEnabled());  // the image stays as it is
  }

  // Every end hands the port back and lets another image be chosen.
  static bool Idle(WiredForm& form) {
    return !downloadSession.IsActive() && form->Timer1->isActive() && !form->Timer5->isActive() &&
           form->BitBtn22->isEnabled();
  }

  static QString LastLog(WiredForm& form) { return Lines(form->Memo3).last(); }

 private slots:
  void initTestCase() {
    imagePath = dir.filePath("image.bin");
    image = SaveImage(imagePath, Sequence(300), {2, 17, 456});
  }
  void init() {
    downloadSession.Stop();
    downloadSession.SetFileName(imagePath.toStdString());
    downloadRxCount = 0;
    noDataTicks = 0;
    dataTicks = 0;
  }

  void localSession() {
    DialogScript dialogs;
    WiredForm form;
    Start(form);
    QCOMPARE(Lines(form->Memo3),
             QStringList({"DownLoad INIT enviada!", "Download Init", "Total CHK:0004"}));
    QVERIFY(downloadSession.IsActive());
    QVERIFY(form->Timer5->isActive() && !form->Timer1->isActive());
    QVERIFY(!form->BitBtn21->isEnabled() && form->BitBtn40->isEnabled());
    QVERIFY(!form->TabSheet2->isEnabled() && !form->TabSheet3->isEnabled());
    QVERIFY(form->TabSheet6->isEnabled() && !form->ProgressBar1->isHidden());

    // Debug text ahead of the report is dropped; the report waits for its 24th byte.
    const Bytes report = FirstReport(2, 17, 400);
    Say(form, Join(Text("Firmware 1.2\r\n"), Bytes(report.begin(), report.begin() + 10)));
    QCOMPARE(LastLog(form), QString("Download state: 0"));
    QVERIFY(Lines(form->Memo3).contains("Datos Encontrados 10"));
    QVERIFY(form.NothingSent(std::chrono::milliseconds(50)));
    Say(form, Bytes(report.begin() + 10, report.end()));
    QCOMPARE(Hex(Heard(form, 13)), Hex(kAccept));
    QCOMPARE(LastLog(form), QString("remove: 24"));

    for (int n = 0; n < 4; ++n) {
      const Bytes request = ChunkRequestFor(2, 17, 456, n, 4);
      Say(form, request);
      const Bytes reply = Heard(form, n < 3 ? 271 : 15);
      const Bytes data = n < 3 ? Join({0x01, 0x00}, RecordData(image, n)) : Bytes{0x00, 0x00};
      QCOMPARE(Hex(reply), Hex(WithSum(Join(Slice(request, 0, 11), data))));
      QCOMPARE(form->ProgressBar1->value(), n * 100 / 3);
    }
    unsigned sum = 0;
    for (std::uint8_t b : Join(Slice(ChunkRequestFor(2, 17, 456, 2, 4), 0, 11),
                               Join({0x01, 0x00}, RecordData(image, 2))))
      sum += b;
    QVERIFY(Lines(form->Memo3).contains(QString("Chunk pedido: 2 - %1").arg(sum)));
    QCOMPARE(Lines(form->Memo3).mid(Lines(form->Memo3).size() - 3),
             QStringList({"Ultimo CHUNK!!", "bytes enviados: 15", "remove: 13"}));
    QVERIFY(form.NothingSent(std::chrono::milliseconds(50)));
    Say(form, FinalPacket());
    QCOMPARE(LastLog(form), QString("remove: 255"));
    QVERIFY(!downloadSession.IsActive());
    // The next tick hands the port back.
    QVERIFY(form->Timer5->isActive() && !form->Timer1->isActive());
    form->Timer5Timer();
    QVERIFY(Idle(form));
    QVERIFY(form->TabSheet2->isEnabled() && form->TabSheet3->isEnabled());
    QVERIFY(!form->BitBtn40->isEnabled() && form->ProgressBar1->isHidden());
  }

  void remoteSession() {
    DialogScript dialogs;
    WiredForm form;
    form->RadioGroup2->setItemIndex(1);
    form->Edit3->setText("1");
    form->BitBtn21->click();
    QCOMPARE(Hex(Heard(form, 16)), Hex(Join({0x00, 0x01}, kStart)));
    // A report split over two ticks is lost: every step empties the buffer.
    const Bytes report = FirstReport(2, 17, 400);
    Say(form, Bytes(report.begin(), report.begin() + 10));
    QCOMPARE(LastLog(form), QString("remove: 0"));
    Say(form, Bytes(report.begin() + 10, report.end()));
    QCOMPARE(downloadRxCount, 0u);
    QVERIFY(form.NothingSent(std::chrono::milliseconds(50)));
    Say(form, report);
    QCOMPARE(Hex(Heard(form, 15)), Hex(Join({0x00, 0x01}, kAccept)));
    Say(form, ChunkRequestFor(2, 17, 456, 0, 4));
    const Bytes chunk = Heard(form, 273);
    QCOMPARE(chunk.size(), std::size_t(273));
    QCOMPARE(Hex(Bytes(chunk.begin(), chunk.begin() + 3)), std::string("00 01 01"));

    // A station that is no number stops serving until Cancel.
    form->Edit3->setText("x");
    Arrives(form, ChunkRequestFor(2, 17, 456, 1, 4));
    form->Guarded([&] { form->Timer5Timer(); });
    QCOMPARE(dialogs->errors, QStringList{"'x' is not a valid integer value"});
    QVERIFY(!form->Timer5->isActive() && !form->Timer1->isActive());
    QVERIFY(downloadSession.IsActive());
    form->BitBtn40->click();
    QVERIFY(Idle(form));
  }

  void watchdogLimits() {
    DialogScript dialogs;
    WiredForm form;
    // Text only: every byte trimmed away; the sixth such tick gives up.
    Start(form);
    for (int tick = 0; tick < 5; ++tick) Say(form, Text("hola\r\n"));
    QVERIFY(downloadSession.IsActive());
    QCOMPARE(LastLog(form), QString("Sin Datos"));
    Say(form, Text("hola\r\n"));
    QCOMPARE(LastLog(form), QString("Desactivando Descarga"));
    QVERIFY(Idle(form));

    // More than 100 bytes waiting.
    Start(form);
    Say(form, Bytes(100, 0x01));
    QVERIFY(downloadSession.IsActive());
    Say(form, Bytes(1, 0x01));
    QVERIFY(Idle(form));
    QCOMPARE(downloadRxCount, 0u);

    // Bytes on more than 20 ticks without a reply.
    Start(form);
    for (int tick = 0; tick < 20; ++tick) Say(form, Bytes(1, 0x02));
    QVERIFY(downloadSession.IsActive());
    Say(form, Bytes(1, 0x02));
    QCOMPARE(LastLog(form), QString("Desactivando Descarga"));
    QVERIFY(Idle(form));
  }

  void cancelKeepsWhatWasReceived() {
    DialogScript dialogs;
    WiredForm form;
    Start(form);
    const Bytes report = FirstReport(2, 17, 400);
    Say(form, Bytes(report.begin(), report.begin() + 10));
    form->BitBtn40->click();
    QVERIFY(Idle(form));
    QVERIFY(!downloadSession.HasImage());
    QCOMPARE(downloadRxCount, 10u);
    // The next session completes the report with what arrives first.
    Start(form);
    Say(form, Bytes(report.begin() + 10, report.end()));
    QCOMPARE(Hex(Heard(form, 13)), Hex(kAccept));
  }

  void unitTexts() {
    DialogScript dialogs;
    WiredForm form;
    const struct {
      Bytes bytes;
      const char* log;
    } endings[] = {
        {Join({0x01}, Text("DownLoad FAIL\r\n")), "DownLoad FAIL"},
        {Join({0x01}, Text("Descarga Finalizada\r\n")), "Descarga Finalizada"},
    };
    for (const auto& ending : endings) {
      Start(form);
      Say(form, ending.bytes);
      QCOMPARE(LastLog(form), QString(ending.log));
      QVERIFY(Idle(form));
      QCOMPARE(downloadRxCount, 0u);
    }
    // The unit starting over in the middle of a session empties the buffer.
    Start(form);
    Say(form, Bytes{0x02, 0x01});
    Say(form, Text("Download Init\r\n"));
    QCOMPARE(Lines(form->Memo3).mid(Lines(form->Memo3).size() - 2),
             QStringList({"DownLoad Init Encontrado", "Sin Datos"}));
    QCOMPARE(downloadRxCount, 0u);
    QVERIFY(downloadSession.IsActive());
    // Closing the port ends the session as well.
    form->BitBtn2->click();
    QVERIFY(Idle(form));
    QVERIFY(!form->IsConnected());
  }

  void receiverHandsOverAndTakesBack() {
    DialogScript dialogs;
    WiredForm form;
    form->Timer1->start();
    Arrives(form, Text("arranque\r\nDownload Init\r\n"));
    form->Timer1Timer();
    QVERIFY(downloadSession.IsActive());
    QVERIFY(form->Timer5->isActive() && !form->Timer1->isActive());
    QVERIFY(form.NothingSent(std::chrono::milliseconds(50)));  // the unit asked: no start command
    Say(form, FirstReport(2, 17, 400));
    QCOMPARE(Hex(Heard(form, 13)), Hex(kAccept));
    // The receiver leaves the port alone during the session.
    Arrives(form, Text("linea\r\n"));
    form->Timer1Timer();
    QCOMPARE(InboxCount(), 7);
    QVERIFY(!form->BitBtn22->isEnabled());
    form->BitBtn40->click();
    QVERIFY(Idle(form));
    Arrives(form, Text("despues\r\n"));
    form->Timer1Timer();
    QCOMPARE(Lines(form->Memo1), QStringList({"arranque", "despues"}));
  }
};

QTEST_MAIN(DownloadSessionTest)
#include "download_session_test.moc"
