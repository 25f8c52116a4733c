// The receiver tick and the dispatcher: lines, embedded frames, the reply
// hand-over, remote raw replies, the download hand-over and the request table.
#include <QTemporaryDir>
#include <QtTest>

#include "app/Log.h"
#include "firmware/DownLoad.h"
#include "link/Link.h"
#include "monitor/Monitor.h"
#include "protocol/Protocol.h"
#include "tests/Harness.h"

namespace {
Bytes ReadReply(int registers) {
  Bytes frame{0x01, 0x03, std::uint8_t(2 * registers)};
  for (int i = 0; i < 2 * registers; ++i) frame.push_back(std::uint8_t(i));
  return FrameWithCrc(frame);
}
const Bytes kAck = FrameWithCrc(HexBytes("01 10 4E 20 00 27"));
}  // namespace

class ReceiverTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TForm1> form;

  void Tick(const std::string& bytes) {
    InjectInbox(bytes);
    form->Timer1Timer();
  }

 private slots:
  void init() {
    form = std::make_unique<TForm1>();
    form->Timer1->stop();
    form->Timer2->stop();
    PretendConnected(*form);
    pendingRequest = replyType = replyLength = 0;
    lineLength = 0;
    remoteReplyCount = 0;
    portInbox.count = 0;
  }
  void cleanup() {
    downloadSession.Stop();
    form.reset();
  }

  void lineEndingInTheNextTickIsProcessedOnce() {
    pendingRequest = 7;
    Tick("Tx Data-->01 03 02 00 0A 38 43 <--Data");
    QCOMPARE(replyLength, 0);
    Tick("\r\n");
    QCOMPARE(replyLength, 7);
    QCOMPARE(replyType, 7);
    QCOMPARE(pendingRequest, 0);
    QCOMPARE(Hex(Bytes(replyBuffer, replyBuffer + 7)), std::string("01 03 02 00 0A 38 43"));
    replyLength = 0;
    Tick("\r\n\n\r");  // empty lines change nothing
    QCOMPARE(replyLength, 0);
    QVERIFY(Lines(form->Memo1).isEmpty());
  }

  void framesWithoutARequestAreTelemetry() {
    Tick("Data-->01 03 02 00 0A 38 43 <--Data\r\n");
    QCOMPARE(replyLength, 0);  // seven bytes are no telemetry: nothing shown
    QVERIFY(Lines(form->Memo1).isEmpty());
    Bytes telemetry(79, 0);
    telemetry[78] = 0x01;
    Tick(EmbeddedLine(FrameWithCrc(telemetry)) + "\r\n");
    QCOMPARE(form->Panel5->caption(), QString("Conectado Servidor"));
  }

  void malformedLines() {
    pendingRequest = 3;
    Tick("<--Data 01 02 Data-->\r\nonly Data--> here\r\n");
    QCOMPARE(Lines(form->Memo1), QStringList({"only Data--> here"}));
    QCOMPARE(pendingRequest, 3);
    Tick("Data-->0<--Data\r\n");  // an empty frame completes the request
    QCOMPARE(pendingRequest, 0);
    QCOMPARE(replyType, 3);
    QCOMPARE(replyLength, 0);
  }

  void frameOf266BytesDoesNotCompleteTheRequest() {
    pendingRequest = 5;
    Tick(EmbeddedLine(Bytes(266, 0xAA)).substr(0, 400));
    Tick(EmbeddedLine(Bytes(266, 0xAA)).substr(400) + "\r\n");
    QCOMPARE(replyLength, 266);
    QCOMPARE(pendingRequest, 5);
    QCOMPARE(replyType, 0);
    form->Timer2Timer();  // no request number: the default entry
    QCOMPARE(pendingRequest, 0);
    QCOMPARE(replyLength, 0);
  }

  void emptyReplyLeavesNoNumberBehind() {
    // An empty frame completes request 72 with nothing to decode ...
    pendingRequest = 72;
    Tick("Data--><--Data\r\n");
    QCOMPARE(replyType, 72);
    form->Timer2Timer();
    QCOMPARE(replyType, 0);
    // ... so a 266-byte frame for the next request has no number: the default
    // entry clears that request instead of matching the old one.
    form->SetPending(24);
    const std::string line = EmbeddedLine(Bytes(266, 0x55)) + "\r\n";
    Tick(line.substr(0, 400));
    Tick(line.substr(400));
    QCOMPARE(pendingRequest, 24);
    form->Timer2Timer();
    QCOMPARE(pendingRequest, 0);
    QCOMPARE(replyLength, 0);
  }

  void downloadInitTakesThePortAndDropsTheRest() {
    Tick("before\r\nxx Download Init yy\r\nafter\r\n");
    QCOMPARE(Lines(form->Memo1), QStringList({"before"}));
    QVERIFY(downloadSession.IsActive());
    QVERIFY(form->Timer5->isActive());
    QVERIFY(!form->Timer1->isActive());
    QVERIFY(!form->TabSheet2->isEnabled() && !form->TabSheet3->isEnabled());
    QCOMPARE(lineLength, 0);
    portInbox.count = 0;
    // Until the download receiver lands, "Cancelar" hands the port back.
    form->BitBtn40->click();
    QVERIFY(!downloadSession.IsActive());
    QVERIFY(form->Timer1->isActive());
    QVERIFY(!form->Timer5->isActive());
    QVERIFY(form->TabSheet2->isEnabled());
  }

  void endlessLineIsEndedAtTheBufferSize() {
    const std::string longLine(2047, 'x');
    Tick(longLine.substr(0, 500));
    for (std::size_t at = 500; at < longLine.size(); at += 500) Tick(longLine.substr(at, 500));
    Tick("tail\r\n");
    const QStringList lines = Lines(form->Memo1);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0].size(), 2047);
    QCOMPARE(lines[1], QString("tail"));
  }

  void remoteRepliesAreCollectedAcrossTicks() {
    form->RadioGroup2->setItemIndex(1);
    pendingRequest = 30;
    const Bytes reply = ReadReply(45);
    InjectInbox(Bytes(reply.begin(), reply.begin() + 40));
    form->Timer1Timer();
    QCOMPARE(replyLength, 0);
    QCOMPARE(pendingRequest, 30);
    // The rest of the reply and a trace line of the unit in the same take.
    Bytes rest(reply.begin() + 40, reply.end());
    const std::string trace = "trace line\r\n";
    rest.insert(rest.end(), trace.begin(), trace.end());
    InjectInbox(rest);
    form->Timer1Timer();
    QCOMPARE(replyLength, 95);
    QCOMPARE(replyType, 30);
    QCOMPARE(pendingRequest, 0);
    QVERIFY(std::equal(reply.begin(), reply.end(), replyBuffer));
    QCOMPARE(Lines(form->Memo1), QStringList({"trace line"}));

    // A reply of no fixed length ends with a quiet tick.
    replyLength = replyType = 0;
    pendingRequest = 1;
    InjectInbox(HexBytes("01 05 00 00 FF 00 8C 3A"));
    form->Timer1Timer();
    QCOMPARE(replyLength, 0);
    form->Timer1Timer();
    QCOMPARE(replyLength, 8);
    QCOMPARE(replyType, 1);

    // With nothing pending, remote mode reads lines as local mode does.
    Tick("plain line\r\n");
    QCOMPARE(Lines(form->Memo1).last(), QString("plain line"));
  }

  void newRequestDropsAPartRemoteReply() {
    form->RadioGroup2->setItemIndex(1);
    form->SetPending(72);
    const Bytes stale = ReadReply(3);
    InjectInbox(Bytes(stale.begin(), stale.begin() + 5));
    form->Timer1Timer();
    QCOMPARE(replyLength, 0);
    // The next request goes out before the rest came: its reply starts afresh.
    form->SetPending(70);
    const Bytes reply = ReadReply(6);
    InjectInbox(reply);
    form->Timer1Timer();
    QCOMPARE(replyType, 70);
    QCOMPARE(replyLength, 17);
    QCOMPARE(Hex(Bytes(replyBuffer, replyBuffer + 17)), Hex(reply));
  }

  void telemetryDoesNotTakeThePlaceOfAReply() {
    pendingRequest = 72;
    Bytes telemetry(79, 0);
    telemetry[0] = 0x01;
    telemetry[1] = 0x03;
    telemetry[2] = 0x4C;
    telemetry[78] = 0x01;
    Tick(EmbeddedLine(FrameWithCrc(telemetry)) + "\r\n");
    QCOMPARE(form->Panel5->caption(), QString("Conectado Servidor"));
    QCOMPARE(pendingRequest, 72);
    Tick(EmbeddedLine(ReadReply(3)) + "\r\n");
    QCOMPARE(replyType, 72);
    QCOMPARE(replyLength, 11);
  }

  void remoteTextBeforeTheReplyIsStillTrace() {
    form->RadioGroup2->setItemIndex(1);
    pendingRequest = 72;
    const Bytes reply = ReadReply(3);
    std::string take = "GSM SE";  // a line cut by the raw reply, ended after it
    take.append(reply.begin(), reply.end());
    take += "\xD1" "AL: -60 dBm\r\n";
    Tick(take);
    QCOMPARE(replyType, 72);
    QCOMPARE(replyLength, 11);
    QVERIFY(std::equal(reply.begin(), reply.end(), replyBuffer));
    QCOMPARE(form->Label145->text(), QString("Señal: -60db"));
  }

  void dispatcherDecodesOnceAndDropsWrongLengths() {
    form->SetStatus("Estado: Pedido de Iendtificación de Hardware!");
    for (int length : {94, 96}) {
      replyType = 30;
      replyLength = length;
      form->Timer2Timer();
      QCOMPARE(form->StatusText(), QString("Estado: Pedido de Iendtificación de Hardware!"));
      QCOMPARE(replyLength, 0);
    }
    const Bytes identification = ReadReply(45);
    std::memcpy(replyBuffer, identification.data(), identification.size());
    replyType = 30;
    replyLength = 95;
    form->Timer2Timer();
    QCOMPARE(form->StatusText(), QString("Estado: Identificación de Hardware Recibido OK! "));
    form->SetStatus("x");
    form->Timer2Timer();  // the reply was looked at once
    QCOMPARE(form->StatusText(), QString("x"));

    std::memcpy(replyBuffer, kAck.data(), kAck.size());
    replyType = 4;
    replyLength = 8;
    form->Timer2Timer();
    QCOMPARE(form->StatusText(), QString("Estado: Escritura CONFIGURACION TSD ok!"));
    replyType = 50;
    replyLength = 3;
    form->SetStatus("Estado: Reset Pedido!");
    form->Timer2Timer();
    QCOMPARE(form->StatusText(), QString("Estado: Reset Pedido!"));
  }

  void configurationRepliesAreTracedWithTheirLength() {
    for (auto [request, length] : {std::pair{22, 19}, std::pair{24, 83}, std::pair{24, 80}}) {
      const Bytes reply = ReadReply((length - 5) / 2);
      std::memcpy(replyBuffer, reply.data(), reply.size());
      replyType = request;
      replyLength = length;
      form->Timer2Timer();
    }
    QCOMPARE(Lines(form->Memo1),
             QStringList({"Configuracion recibida 19", "Configuracion recibida 83",
                          "Configuracion recibida 80"}));
    QCOMPARE(form->StatusText(), QString("Estado: Lectura TSD Configuracion Recibido!"));
  }

  void coilAcknowledgementClearsOnlyItsOwnRequest() {
    // Request 1 (a coil) acknowledged; nothing sent since: cleared.
    pendingRequest = 1;
    Tick(EmbeddedLine(HexBytes("01 05 00 00 FF 00 8C 3A")) + "\r\n");
    QCOMPARE(replyType, 1);
    form->SetStatus("Estado:");
    form->Timer2Timer();
    QCOMPARE(pendingRequest, 0);
    QCOMPARE(form->StatusText(), QString("Estado:"));

    // A read sent between the hand-over and the tick keeps its number, and
    // its reply is taken as a reply, not as telemetry.
    pendingRequest = 1;
    Tick(EmbeddedLine(HexBytes("01 05 00 00 FF 00 8C 3A")) + "\r\n");
    form->SetPending(72);
    form->Timer2Timer();
    QCOMPARE(pendingRequest, 72);
    Tick(EmbeddedLine(ReadReply(3)) + "\r\n");
    QCOMPARE(replyType, 72);
    form->Timer2Timer();
    QCOMPARE(form->StatusText(), QString("Estado: Lectura Configuracion DOut Recibido!"));
  }

  void logFileHoldsEveryLineAsReceived() {
    QTemporaryDir dir;
    DialogScript dialogs;
    dialogs->files.push_back(dir.filePath("trace.txt"));
    form->BitBtn24Click();
    QVERIFY(!form->BitBtn24->isEnabled());
    QVERIFY(form->BitBtn25->isEnabled());
    Tick("uno\r\nGSM SE\xD1" "AL: -71 dBm\r\nDownload Init\r\n");
    downloadSession.Stop();
    form->Timer1->start();
    Tick("dos\n");
    form->BitBtn25Click();
    Tick("tres\r\n");
    QFile file(dir.filePath("trace.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("uno\r\nGSM SE\xD1" "AL: -71 dBm\r\ndos\r\n"));
    // The console shows the rewritten signal line.
    QCOMPARE(Lines(form->Memo1), QStringList({"uno", QString("GSM SEÑAL: -71db"), "dos", "tres"}));
  }
};

QTEST_MAIN(ReceiverTest)
#include "receiver_test.moc"
