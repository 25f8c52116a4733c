// The download session object driven step by step: the replies it builds in
// the received bytes, the identity check and its questions, progress, and the
// image files it refuses.
#include <QTemporaryDir>
#include <QtTest>
#include <array>

#include "app/Log.h"
#include "firmware/DownLoad.h"
#include "monitor/Monitor.h"
#include "tests/Harness.h"
#include "tests/firmware/DownloadTesting.h"

namespace {

constexpr TColor kGreen = 0x008000;
constexpr TColor kYellow = 0x00FFFF;
constexpr TColor kRed = 0x0000FF;

struct Step {
  ProcessResult result;
  Bytes reply;
  std::size_t at = 0;
};

Step Feed(const Bytes& bytes) {
  std::array<std::uint8_t, 1024> buffer{};
  std::copy(bytes.begin(), bytes.end(), buffer.begin());
  std::size_t length = 0;
  std::size_t at = 0;
  const ProcessResult result = downloadSession.Process(buffer, bytes.size(), length, at);
  return {result, Bytes(buffer.begin() + long(at), buffer.begin() + long(at + length)), at};
}

Bytes Head(const Bytes& bytes, std::size_t count) {
  return Bytes(bytes.begin(), bytes.begin() + long(count));
}

const Bytes kAccept = HexBytes("02 00 02 00 11 01 C8 00 04 01 00 00 E3");
const Bytes kReject = HexBytes("04 00 02 00 11 01 C8 00 04 00 E4");

}  // namespace

class DownloadStateTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir;
  std::unique_ptr<TForm1> form;
  QString imagePath;
  Bytes image;

  // A session with the 300-byte image of hardware 2, project 17, build 456.
  void Begin() {
    downloadSession.SetFileName(imagePath.toStdString());
    std::string command;
    QVERIFY(downloadSession.Open(command));
    QCOMPARE(command, std::string("Download Init"));
    downloadSession.Start();
  }

  QStringList LogSince(int from) const { return Lines(form->Memo3).mid(from); }
  int LogSize() const { return int(Lines(form->Memo3).size()); }

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

  void transferWithProgress() {
    DialogScript dialogs;
    Begin();
    Step step = Feed(FirstReport(2, 17, 400));
    QCOMPARE(step.result, ProcessResult::FirstReport);
    QCOMPARE(Hex(step.reply), Hex(kAccept));
    QCOMPARE(int(downloadSession.state), 1);
    QVERIFY(dialogs->questions.isEmpty());
    QCOMPARE(LogSince(0), QStringList({"Download state: 0", "First Report Encontrado",
                                      "First Report Recibido", "2", projectNames[17], "400",
                                      "IMEI: 861234567890123"}));
    QCOMPARE(form->Label158->text(), QString("2"));
    QCOMPARE(form->Label159->text(), QString(projectNames[17]));
    QCOMPARE(form->Label160->text(), QString("400"));

    const int progress[] = {0, 33, 66};
    for (int n = 0; n < 3; ++n) {
      const Bytes request = ChunkRequestFor(2, 17, 456, n, 4);
      const int before = LogSize();
      step = Feed(request);
      QCOMPARE(step.result, ProcessResult::ChunkRequest);
      Bytes expected = Head(request, 11);
      expected.push_back(0x01);
      expected.push_back(0x00);
      const Bytes data = RecordData(image, n);
      expected.insert(expected.end(), data.begin(), data.end());
      QCOMPARE(Hex(step.reply), Hex(WithSum(expected)));
      QCOMPARE(form->ProgressBar1->value(), progress[n]);
      unsigned sum = 0;
      for (std::uint8_t b : expected) sum += b;
      QCOMPARE(LogSince(before), QStringList({"Download state: 1",
                                              QString("Chunk pedido: %1 - %2").arg(n).arg(sum),
                                              "bytes enviados: 271"}));
    }
    const Bytes last = ChunkRequestFor(2, 17, 456, 3, 4);
    step = Feed(last);
    Bytes expected = Head(last, 11);
    expected.push_back(0);
    expected.push_back(0);
    QCOMPARE(Hex(step.reply), Hex(WithSum(expected)));
    QCOMPARE(form->ProgressBar1->value(), 100);
    QCOMPARE(int(downloadSession.state), 2);
    QVERIFY(!downloadSession.HasImage());
    QVERIFY(Lines(form->Memo3).contains("Ultimo CHUNK!!"));

    QCOMPARE(Feed(Bytes(10, 0x03)).result, ProcessResult::Nothing);
    step = Feed(FinalPacket());
    QCOMPARE(step.result, ProcessResult::Finished);
    QVERIFY(step.reply.empty());
    QVERIFY(!downloadSession.IsActive());
    QCOMPARE(Lines(form->Memo3).last(), QString("Paquete de finalizacion"));
    QVERIFY(form->ProgressBar1->isHidden());
    QCOMPARE(form->ProgressBar1->value(), 0);
    QVERIFY(form->BitBtn21->isEnabled() && !form->BitBtn40->isEnabled());
    QVERIFY(form->TabSheet2->isEnabled() && form->TabSheet3->isEnabled());
  }

  void identityCheck() {
    const struct {
      int hardware, project, build;
      bool answer;
      const char* question;
      TColor shape1, shape2, shape3;
      bool accepted;
    } cases[] = {
        {2, 17, 455, true, nullptr, kGreen, kGreen, kGreen, true},
        {2, 17, 456, false, "Error de build| Build seleccionado menor o igual al cargado \n Desea continuar?",
         kGreen, kGreen, kYellow, false},
        {2, 17, 900, true, "Error de build| Build seleccionado menor o igual al cargado \n Desea continuar?",
         kGreen, kGreen, kYellow, true},
        {2, 18, 400, false, "Error de Proyecto|El proyecto no coincide, desea continuar?", kGreen,
         kYellow, kYellow, false},
        {3, 17, 400, true, "Error de Hardware|El Hardaware no coincide, desea continuar?", kRed,
         clSilver, clSilver, true},
    };
    Begin();
    for (const auto& c : cases) {
      DialogScript dialogs;
      dialogs->confirmAnswers = {c.answer};
      for (Shape* shape : {form->Shape1, form->Shape2, form->Shape3}) shape->setColor(clSilver);
      downloadSession.Start();
      const Step step = Feed(FirstReport(c.hardware, c.project, c.build));
      QCOMPARE(dialogs->questions, c.question ? QStringList{c.question} : QStringList{});
      QCOMPARE(form->Shape1->color(), c.shape1);
      QCOMPARE(form->Shape2->color(), c.shape2);
      QCOMPARE(form->Shape3->color(), c.shape3);
      QCOMPARE(Hex(step.reply), Hex(c.accepted ? kAccept : kReject));
      QCOMPARE(int(downloadSession.state), c.accepted ? 1 : 0);
    }
  }

  void damagedFirstReportsAreRejected() {
    DialogScript dialogs;
    Begin();
    Bytes damaged = FirstReport(2, 17, 400);
    damaged[23] ^= 1;
    QCOMPARE(Hex(Feed(damaged).reply), Hex(kReject));
    QVERIFY(!Lines(form->Memo3).contains("First Report Recibido"));
    Bytes foreign = FirstReport(2, 17, 400);
    foreign[0] = 0x05;
    QCOMPARE(Hex(Feed(WithSum(Head(foreign, 22))).reply), Hex(kReject));
    QCOMPARE(Lines(form->Memo3).last(), QString("First Report Recibido"));
    QCOMPARE(form->Label158->text(), QString("-"));
    QVERIFY(dialogs->questions.isEmpty());
    QCOMPARE(int(downloadSession.state), 0);
  }

  void finalPacketBeforeAnything() {
    Begin();
    QCOMPARE(Feed(Head(FinalPacket(), 10)).result, ProcessResult::Nothing);
    Bytes damaged = FinalPacket();
    damaged[10] ^= 1;
    QCOMPARE(Feed(damaged).result, ProcessResult::Message11);
    QVERIFY(downloadSession.IsActive());
    Bytes twelve = FinalPacket();
    twelve.push_back(0);
    QCOMPARE(Feed(twelve).result, ProcessResult::Nothing);
    QCOMPARE(Feed(FinalPacket()).result, ProcessResult::Finished);
    QVERIFY(!downloadSession.IsActive());
    QVERIFY(!downloadSession.HasImage());
  }

  void chunkRequestsThatAreNotAnswered() {
    DialogScript dialogs;
    Begin();
    Feed(FirstReport(2, 17, 400));
    QCOMPARE(Feed(Head(ChunkRequestFor(2, 17, 456, 0, 4), 12)).result, ProcessResult::Nothing);
    Bytes damaged = ChunkRequestFor(2, 17, 456, 0, 4);
    damaged[12] ^= 1;
    for (const Bytes& request : {ChunkRequestFor(2, 17, 456, 0, 5), damaged}) {
      const Step step = Feed(request);
      QCOMPARE(step.result, ProcessResult::ChunkRequest);
      QVERIFY(step.reply.empty());
      QCOMPARE(Lines(form->Memo3).last(), QString("Falla en pedido de CHUNK!"));
    }
    const int before = LogSize();
    const Step noise = Feed(Bytes(20, 0x55));
    QCOMPARE(noise.result, ProcessResult::Nothing);
    QCOMPARE(LogSince(before), QStringList({"Download state: 1"}));

    // A stray zero in front: the request is found behind it and answered there.
    const Bytes request = ChunkRequestFor(2, 17, 456, 1, 4);
    Bytes stray{0x00};
    stray.insert(stray.end(), request.begin(), request.end());
    const Step step = Feed(stray);
    QCOMPARE(step.at, std::size_t(1));
    QCOMPARE(step.reply.size(), std::size_t(271));
    QCOMPARE(Head(step.reply, 11), Head(request, 11));
    QCOMPARE(Bytes(step.reply.begin() + 13, step.reply.end() - 2), RecordData(image, 1));
    QCOMPARE(form->ProgressBar1->value(), 33);
    QCOMPARE(int(downloadSession.state), 1);
  }

  void filesThatAreNotImages() {
    const Bytes good = image;
    Bytes oneChunk = good;
    oneChunk[7] = 1;
    Bytes halfChunks = good;
    halfChunks[8] = 0;
    halfChunks[9] = 0x80;
    const struct {
      const char* name;
      Bytes bytes;
    } files[] = {
        {"short.bin", Head(good, 9)},
        {"one.bin", oneChunk},
        {"half.bin", halfChunks},
        {"truncated.bin", Head(good, good.size() - 1)},
    };
    std::vector<std::string> paths{"", dir.filePath("missing.bin").toStdString()};
    for (const auto& file : files) {
      QFile out(dir.filePath(file.name));
      QVERIFY(out.open(QIODevice::WriteOnly));
      out.write(reinterpret_cast<const char*>(file.bytes.data()), qint64(file.bytes.size()));
      paths.push_back(out.fileName().toStdString());
    }
    for (const std::string& path : paths) {
      DialogScript dialogs;
      downloadSession.SetFileName(path);
      std::string command;
      QVERIFY2(!downloadSession.Open(command), path.c_str());
      form->BitBtn21Click();
      QCOMPARE(dialogs->messages, QStringList{"No se puede abrir archivo HEX"});
      QVERIFY(!downloadSession.IsActive() && !downloadSession.HasImage());
      QVERIFY(form->BitBtn21->isEnabled() && !form->BitBtn40->isEnabled());
      QVERIFY(!form->Timer5->isActive());
    }
  }

  void recordsThatCannotBeRead() {
    DialogScript dialogs;
    // Record 1 claims more than a chunk.
    Bytes oversized = image;
    oversized[10 + 262 + 2] = 0x2C;
    oversized[10 + 262 + 3] = 0x01;
    const QString path = dir.filePath("oversized.bin");
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(reinterpret_cast<const char*>(oversized.data()), qint64(oversized.size()));
    out.close();
    downloadSession.SetFileName(path.toStdString());
    std::string command;
    QVERIFY(downloadSession.Open(command));
    downloadSession.Start();
    Feed(FirstReport(2, 17, 400));
    QCOMPARE(Feed(ChunkRequestFor(2, 17, 456, 0, 4)).reply.size(), std::size_t(271));
    const Step step = Feed(ChunkRequestFor(2, 17, 456, 1, 4));
    QCOMPARE(step.result, ProcessResult::ChunkRequest);
    QVERIFY(step.reply.empty());
    QCOMPARE(Lines(form->Memo3).last(),
             "CHUNK 1 sin respuesta: no se puede leer del archivo " + path);
    // The image shrinks under the session.
    QVERIFY(QFile::resize(path, 200));
    QVERIFY(Feed(ChunkRequestFor(2, 17, 456, 0, 4)).reply.empty());
    QCOMPARE(int(downloadSession.state), 1);
  }

  void sessionsTheUnitStarts() {
    DialogScript dialogs;
    // No image chosen: the unit is told no, and the log says why.
    form->UnitStartedDownload();
    QVERIFY(downloadSession.IsActive());
    QVERIFY(form->Timer5->isActive() && !form->Timer1->isActive());
    const Bytes reply = Feed(FirstReport(2, 17, 400)).reply;
    QVERIFY(reply.size() == 11 && reply[0] == 0x04);
    QCOMPARE(Lines(form->Memo3).last(),
             QString("First Report rechazado: no hay archivo de firmware elegido"));
    QCOMPARE(form->Label158->text(), QString("2"));
    form->BitBtn40Click();

    // A file that is no image (the HEX file of a conversion that was not saved).
    const QString hex = dir.filePath("QRL02-017-0456.hex");
    QFile text(hex);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write(HexText(Sequence(16)).c_str());
    text.close();
    downloadSession.SetFileName(hex.toStdString());
    form->UnitStartedDownload();
    QCOMPARE(Feed(FirstReport(2, 17, 400)).reply.front(), std::uint8_t(0x04));
    QCOMPARE(Lines(form->Memo3).last(), "First Report rechazado: no se puede abrir " + hex);
    form->BitBtn40Click();

    // The image chosen last is opened again for every session, also after a
    // completed one closed it.
    downloadSession.SetFileName(imagePath.toStdString());
    for (int session = 0; session < 2; ++session) {
      form->UnitStartedDownload();
      QCOMPARE(Hex(Feed(FirstReport(2, 17, 400)).reply), Hex(kAccept));
      for (int n = 0; n < 4; ++n) QVERIFY(!Feed(ChunkRequestFor(2, 17, 456, n, 4)).reply.empty());
      QCOMPARE(Feed(FinalPacket()).result, ProcessResult::Finished);
    }
    // Cancel closes the image too.
    form->UnitStartedDownload();
    QVERIFY(downloadSession.HasImage());
    form->BitBtn40Click();
    QVERIFY(!downloadSession.HasImage());
  }
};

QTEST_MAIN(DownloadStateTest)
#include "download_state_test.moc"
