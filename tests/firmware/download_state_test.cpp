// The download session object driven step by step: the identity check and
// its questions, requests it does not answer, and image files it refuses.
#include <QTemporaryDir>
#include <QtTest>
#include <array>

#include "app/Log.h"
#include "firmware/DownLoad.h"
#include "monitor/Monitor.h"
#include "tests/firmware/DownloadTesting.h"

namespace {

constexpr TColor kGreen = 0x008000;
constexpr TColor kYellow = 0x00FFFF;
constexpr TColor kRed = 0x0000FF;
const Bytes kAccept = HexBytes("02 00 02 00 11 01 C8 00 04 01 00 00 E3");
const Bytes kReject = HexBytes("04 00 02 00 11 01 C8 00 04 00 E4");

struct Step {
  ProcessResult result;
  Bytes reply;
  std::size_t at;
};

Step Feed(const Bytes& bytes) {
  std::array<std::uint8_t, 1024> buffer{};
  std::copy(bytes.begin(), bytes.end(), buffer.begin());
  std::size_t length = 0;
  std::size_t at = 0;
  const ProcessResult result = downloadSession.Process(buffer, bytes.size(), length, at);
  return {result, Bytes(buffer.begin() + long(at), buffer.begin() + long(at + length)), at};
}

}  // namespace

class DownloadStateTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir;
  std::unique_ptr<TForm1> form;
  QString imagePath;
  Bytes image;

  void Begin(const QString& path) {
    downloadSession.SetFileName(path.toStdString());
    std::string command;
    QVERIFY(downloadSession.Open(command));
    downloadSession.Start();
  }
  QString LastLog() const { return Lines(form->Memo3).last(); }

 private slots:
  void initTestCase() {
    imagePath = dir.filePath("image.bin");
    image = SaveImage(imagePath, Sequence(300), {2, 17, 456});
  }
  void init() { form = std::make_unique<TForm1>(); }
  void cleanup() {
    downloadSession.Stop();
    downloadSession.SetFileName({});
    form.reset();
  }

  void identityCheck() {
    const char* const build =
        "Error de build| Build seleccionado menor o igual al cargado \n Desea continuar?";
    const struct {
      Bytes report;
      bool answer;
      const char* question;
      TColor shape1, shape2, shape3;
      bool accepted;
    } cases[] = {
        {FirstReport(2, 17, 455), true, nullptr, kGreen, kGreen, kGreen, true},
        {FirstReport(2, 17, 456), false, build, kGreen, kGreen, kYellow, false},
        {FirstReport(2, 17, 900), true, build, kGreen, kGreen, kYellow, true},
        {FirstReport(2, 18, 400), false,
         "Error de Proyecto|El proyecto no coincide, desea continuar?", kGreen, kYellow, kYellow,
         false},
        {FirstReport(3, 17, 400), true,
         "Error de Hardware|El Hardaware no coincide, desea continuar?", kRed, clSilver, clSilver,
         true},
        // Damaged or foreign reports: rejected without a question.
        {Join(Slice(FirstReport(2, 17, 455), 0, 22), {0, 0}), true, nullptr, clSilver, clSilver,
         clSilver, false},
        {WithSum(Join({0x05}, Slice(FirstReport(2, 17, 455), 1, 21))), true, nullptr, clSilver,
         clSilver, clSilver, false},
    };
    Begin(imagePath);
    for (const auto& c : cases) {
      DialogScript dialogs;
      dialogs->confirmAnswers = {c.answer};
      for (Shape* shape : {form->Shape1, form->Shape2, form->Shape3}) shape->setColor(clSilver);
      downloadSession.Start();
      const Step step = Feed(c.report);
      QCOMPARE(step.result, ProcessResult::FirstReport);
      QCOMPARE(dialogs->questions, c.question ? QStringList{c.question} : QStringList{});
      QCOMPARE(QList<TColor>({form->Shape1->color(), form->Shape2->color(), form->Shape3->color()}),
               QList<TColor>({c.shape1, c.shape2, c.shape3}));
      QCOMPARE(Hex(step.reply), Hex(c.accepted ? kAccept : kReject));
      QCOMPARE(int(downloadSession.state), c.accepted ? 1 : 0);
    }
    QCOMPARE(Lines(form->Memo3).mid(0, 7),
             QStringList({"Download state: 0", "First Report Encontrado", "First Report Recibido",
                          "2", projectNames[17], "455", "IMEI: 861234567890123"}));
    QCOMPARE(QStringList({form->Label158->text(), form->Label159->text(), form->Label160->text()}),
             QStringList({"3", projectNames[17], "400"}));
  }

  void messagesThatGetNoReply() {
    DialogScript dialogs;
    Begin(imagePath);
    QCOMPARE(Feed(Slice(FinalPacket(), 0, 10)).result, ProcessResult::Nothing);
    QCOMPARE(Feed(WithSum(Bytes{0x03, 1, 2, 3, 4, 5, 6, 7, 9, 0})).result, ProcessResult::Nothing);
    QCOMPARE(Feed(Join(Slice(FinalPacket(), 0, 9), {0, 0})).result, ProcessResult::Message11);
    Feed(FirstReport(2, 17, 400));
    QCOMPARE(Feed(Slice(ChunkRequestFor(2, 17, 456, 0, 4), 0, 12)).result, ProcessResult::Nothing);
    const Bytes foreign[] = {ChunkRequestFor(2, 17, 456, 0, 5),
                             Join(Slice(ChunkRequestFor(2, 17, 456, 0, 4), 0, 11), {0, 0})};
    for (const Bytes& request : foreign) {
      const Step step = Feed(request);
      QCOMPARE(step.result, ProcessResult::ChunkRequest);
      QVERIFY(step.reply.empty());
      QCOMPARE(LastLog(), QString("Falla en pedido de CHUNK!"));
    }
    QCOMPARE(Feed(Bytes(20, 0x55)).result, ProcessResult::Nothing);
    QCOMPARE(LastLog(), QString("Download state: 1"));
    // A stray zero in front: answered where the request is.
    const Step step = Feed(Join({0x00}, ChunkRequestFor(2, 17, 456, 1, 4)));
    QCOMPARE(step.at, std::size_t(1));
    QCOMPARE(Slice(step.reply, 13, 256), RecordData(image, 1));
    QCOMPARE(form->ProgressBar1->value(), 33);
  }

  void finalPacketBeforeAnything() {
    Begin(imagePath);
    QCOMPARE(Feed(FinalPacket()).result, ProcessResult::Finished);
    QVERIFY(!downloadSession.IsActive() && !downloadSession.HasImage());
    QVERIFY(form->BitBtn21->isEnabled() && !form->BitBtn40->isEnabled());
  }

  void filesThatAreNotImages() {
    Bytes oneChunk = image;
    oneChunk[7] = 1;
    Bytes halfChunks = image;
    halfChunks[8] = 0;
    halfChunks[9] = 0x80;
    const Bytes files[] = {Slice(image, 0, 9), oneChunk, halfChunks, Slice(image, 0, 801)};
    std::vector<std::string> paths{"", dir.filePath("missing.bin").toStdString()};
    for (const Bytes& bytes : files) {
      paths.push_back(dir.filePath(QString("bad%1.bin").arg(paths.size())).toStdString());
      SaveBytes(QString::fromStdString(paths.back()), bytes);
    }
    for (const std::string& path : paths) {
      DialogScript dialogs;
      downloadSession.SetFileName(path);
      form->BitBtn21Click();
      QCOMPARE(dialogs->messages, QStringList{"No se puede abrir archivo HEX"});
      QVERIFY(!downloadSession.IsActive() && !downloadSession.HasImage());
      QVERIFY(!form->Timer5->isActive());
    }
  }

  void recordsThatCannotBeRead() {
    DialogScript dialogs;
    Bytes oversized = image;
    oversized[10 + 262 + 3] = 0x02;  // record 1 claims 512 bytes
    const QString path = dir.filePath("oversized.bin");
    SaveBytes(path, oversized);
    Begin(path);
    Feed(FirstReport(2, 17, 400));
    const Step step = Feed(ChunkRequestFor(2, 17, 456, 1, 4));
    QCOMPARE(step.result, ProcessResult::ChunkRequest);
    QVERIFY(step.reply.empty());
    QCOMPARE(LastLog(), "CHUNK 1 sin respuesta: no se puede leer del archivo " + path);
    QCOMPARE(Feed(ChunkRequestFor(2, 17, 456, 0, 4)).reply.size(), std::size_t(271));
    QVERIFY(QFile::resize(path, 200));  // the file shrinks under the session
    QVERIFY(Feed(ChunkRequestFor(2, 17, 456, 0, 4)).reply.empty());
  }

  void sessionsTheUnitStarts() {
    DialogScript dialogs;
    const QString hex = dir.filePath("QRL02-017-0456.hex");
    SaveBytes(hex, Text(HexText(Sequence(16))));
    const struct {
      QString chosen;
      const char* why;
    } without[] = {{"", "First Report rechazado: no hay archivo de firmware elegido"},
                   {hex, "First Report rechazado: no se puede abrir "}};
    for (const auto& c : without) {
      downloadSession.SetFileName(c.chosen.toStdString());
      form->UnitStartedDownload();
      QVERIFY(downloadSession.IsActive());
      QCOMPARE(Feed(FirstReport(2, 17, 400)).reply[0], std::uint8_t(0x04));
      QCOMPARE(LastLog(), c.why + c.chosen);
      form->BitBtn40Click();
    }
    // The image chosen last is opened again, also after a completed session closed it.
    downloadSession.SetFileName(imagePath.toStdString());
    for (int session = 0; session < 2; ++session) {
      form->UnitStartedDownload();
      QCOMPARE(Hex(Feed(FirstReport(2, 17, 400)).reply), Hex(kAccept));
      for (int n = 0; n < 4; ++n) QVERIFY(!Feed(ChunkRequestFor(2, 17, 456, n, 4)).reply.empty());
      QVERIFY(!downloadSession.HasImage());
      QCOMPARE(Feed(FinalPacket()).result, ProcessResult::Finished);
    }
  }
};

QTEST_MAIN(DownloadStateTest)
#include "download_state_test.moc"
