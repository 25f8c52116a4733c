// The window's side of the consoles' tools, the session capture and its
// replay: building their controls and forwarding to them.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QStandardPaths>
#include <algorithm>
#include <cstring>

#include "app/Log.h"
#include "link/Link.h"
#include "monitor/Monitor.h"
#include "protocol/Protocol.h"

namespace {
// How a replayed frame that the technician sent shows in Memo2.
constexpr std::string_view kSentMark = "=> Enviado: ";

QString CaptureFolder() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  QDir().mkpath(folder);
  return folder;
}
}  // namespace

void TForm1::ConnectSession() {
  consoleTools = new ConsoleTools({Memo1, Memo2, Memo3}, this);
  replay = new CaptureReplay(this);

  QWidget* page = TabSheet3;
  captureButton = new QPushButton("Grabar captura", page);
  captureButton->setObjectName("captureButton");
  replayButton = new QPushButton("Reproducir captura", page);
  replayButton->setObjectName("replayButton");
  replaySpeed = new QComboBox(page);
  replaySpeed->setObjectName("replaySpeed");
  replaySpeed->addItems({"Ritmo original", "x10", "Lo más rápido posible"});
  replaySpeed->setCurrentIndex(0);
  auto* row = new QHBoxLayout();
  for (QWidget* widget : std::initializer_list<QWidget*>{captureButton, replayButton, replaySpeed})
    row->addWidget(widget);
  row->addStretch(1);
  static_cast<QGridLayout*>(page->layout())->addLayout(row, 5, 0, 1, 2);

  for (FileDialog* dialog : {&captureSaveDialog, &captureOpenDialog}) {
    dialog->defaultExt = ".qcap";
    dialog->filter = "Captura Qirel|*.qcap";
  }
  captureSaveDialog.name = "SaveDialogCaptura";
  captureSaveDialog.kind = FileDialog::Kind::Save;
  captureOpenDialog.name = "OpenDialogCaptura";
  captureOpenDialog.kind = FileDialog::Kind::Open;

  portSource.taken = [this](ByteSpan bytes) {
    if (capture.IsOpen()) capture.Bytes(CaptureKind::Received, bytes);
  };
  downloadSource.taken = [this](ByteSpan bytes) {
    if (capture.IsOpen()) capture.Bytes(CaptureKind::Download, bytes);
  };

  On(captureButton, &QPushButton::clicked, &TForm1::captureButtonClick);
  On(replayButton, &QPushButton::clicked, &TForm1::replayButtonClick);
  On(replay, &CaptureReplay::takeDue, &TForm1::ReplayTake);
  On(replay, &CaptureReplay::finished, &TForm1::ReplayFinished);
  On(replay, &CaptureReplay::dispatched, &TForm1::Timer2Timer);
  connect(replay, &CaptureReplay::sent, this,
          [this](const QByteArray& frame) { Guarded([&] { ReplaySent(frame); }); });
  connect(replay, &CaptureReplay::pending, this,
          [this](int request, bool remote) { Guarded([&] { ReplayPending(request, remote); }); });
}

void TForm1::captureButtonClick() {
  if (capture.IsOpen()) {
    capture.Close();
    captureButton->setText("Grabar captura");
    replayButton->setEnabled(true);
    if (!capture.Intact()) CurrentDialogs().Message("La captura no se pudo escribir completa");
    return;
  }
  captureSaveDialog.fileName =
      CaptureFolder() + QDateTime::currentDateTime().toString("/'captura-'yyyyMMdd-HHmmss'.qcap'");
  if (!captureSaveDialog.execute()) return;
  if (!capture.Open(captureSaveDialog.fileName)) {
    CurrentDialogs().Message("No se puede crear el archivo de captura");
    return;
  }
  // What the receiver is in the middle of belongs to the capture too: the
  // start of a line, and a request still waiting for its reply.
  for (std::int32_t at = 0; at < lineLength; at += kTakeLimit)
    capture.Bytes(CaptureKind::Received,
                  {lineBuffer + at, std::size_t(std::min(kTakeLimit, lineLength - at))});
  if (pendingRequest != 0) capture.Pending(pendingRequest, IsRemote());
  captureButton->setText("Detener captura");
  replayButton->setEnabled(false);  // a replay would be recorded as if it were the unit
}

void TForm1::replayButtonClick() {
  if (replay->IsRunning()) {
    replay->Cancel();
    return;
  }
  if (IsConnected()) {
    CurrentDialogs().Message("Desconecte el puerto para reproducir una captura");
    return;
  }
  if (captureOpenDialog.fileName.isEmpty()) captureOpenDialog.fileName = CaptureFolder();
  if (!captureOpenDialog.execute()) return;
  QFile file(captureOpenDialog.fileName);
  if (!file.open(QIODevice::ReadOnly)) {
    CurrentDialogs().Message("No se puede abrir la captura");
    return;
  }
  const QByteArray text = file.readAll();
  CaptureParse parsed = ParseCapture(std::string_view(text.constData(), std::size_t(text.size())));
  if (!parsed.capture) {
    CurrentDialogs().Message(QString("Captura dañada en la línea %1: %2")
                                 .arg(parsed.errorLine)
                                 .arg(QString::fromStdString(parsed.error)));
    return;
  }
  // The receiver starts as a freshly connected one would.
  std::memset(lineBuffer, 0, sizeof lineBuffer);
  lineLength = 0;
  remoteReplyCount = 0;
  pendingRequest = 0;
  timer1BeforeReplay = Timer1->isActive();
  timer2BeforeReplay = Timer2->isActive();
  Timer1->stop();  // no port: its tick would show the unit as disconnected over the replay
  Timer2->stop();  // the dispatcher runs where the capture says it ran
  BitBtn1->setEnabled(false);
  LabeledEdit1->setEnabled(false);
  captureButton->setEnabled(false);
  replayButton->setText("Detener reproducción");
  consoleTools->clock = [this] { return replay->RecordTime(); };
  replay->Start(std::move(*parsed.capture), CaptureReplay::Speed(replaySpeed->currentIndex()));
}

void TForm1::ReplayTake() { ReceiveFrom(*replay); }

void TForm1::ReplaySent(const QByteArray& frame) {
  const ByteSpan bytes(reinterpret_cast<const std::uint8_t*>(frame.constData()),
                       std::size_t(frame.size()));
  AppendConsole(Memo2, std::string(kSentMark) + HexText(bytes));
}

void TForm1::ReplayPending(int request, bool remote) {
  if (IsRemote() != remote) {
    RadioGroup2->setItemIndex(remote ? 1 : 0);
    RadioGroup2Click();
  }
  SetPending(request);
}

void TForm1::ReplayFinished() {
  consoleTools->clock = [] { return QDateTime::currentDateTime(); };
  replayButton->setText("Reproducir captura");
  captureButton->setEnabled(true);
  BitBtn1->setEnabled(true);
  LabeledEdit1->setEnabled(true);
  if (timer1BeforeReplay) Timer1->start();
  if (timer2BeforeReplay) Timer2->start();
}
