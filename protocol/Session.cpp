// The window's side of the consoles' tools, the session capture and its
// replay: building their controls and forwarding to them.
#include <QApplication>
#include <QCheckBox>
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
#include "trends/Trends.h"

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
  connect(replay, &CaptureReplay::filters, this,
          [this](bool serial, bool iec101) { Guarded([&] { ReplayFilters(serial, iec101); }); });
  for (QCheckBox* box : {Serie, IEC_101}) On(box, &QCheckBox::toggled, &TForm1::CaptureFilters);
}

void TForm1::CaptureFilters() {
  if (capture.IsOpen()) capture.Filters(Serie->isChecked(), IEC_101->isChecked());
}

namespace {
QString DamageMessage(const CaptureReader& reader) {
  return QString("Captura dañada en la línea %1: %2")
      .arg(reader.ErrorLine())
      .arg(QString::fromStdString(reader.Error()));
}
}  // namespace

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
  CaptureFilters();
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
  // Checked whole before anything is shown; the replay reads it again as it goes.
  CaptureReader check(file);
  QApplication::setOverrideCursor(Qt::WaitCursor);  // a day's capture takes a moment
  while (check.Next()) {
  }
  QApplication::restoreOverrideCursor();
  if (check.Damaged()) {
    CurrentDialogs().Message(DamageMessage(check));
    return;
  }
  file.close();
  // Nothing of it runs before the event loop turns, after the state below is set.
  if (!replay->Start(captureOpenDialog.fileName, CaptureReplay::Speed(replaySpeed->currentIndex()))) {
    CurrentDialogs().Message("No se puede abrir la captura");
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
  serialBeforeReplay = Serie->isChecked();
  iec101BeforeReplay = IEC_101->isChecked();
  BitBtn1->setEnabled(false);
  LabeledEdit1->setEnabled(false);
  captureButton->setEnabled(false);
  replayButton->setText("Detener reproducción");
  consoleTools->clock = [this] { return replay->RecordTime(); };
  // The page shows the capture's day, not the capture laid over today's.
  trends->Clear();
}

void TForm1::ReplayTake() {
  // The silence check counts in the capture's seconds, not the PC's.
  if (const std::uint32_t quiet = replay->QuietSeconds()) lastRxSecond = secondsTick - quiet;
  ReceiveFrom(*replay);
}

void TForm1::ReplayFilters(bool serial, bool iec101) {
  Serie->setChecked(serial);
  IEC_101->setChecked(iec101);
}

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
  Serie->setChecked(serialBeforeReplay);
  IEC_101->setChecked(iec101BeforeReplay);
  replayButton->setText("Reproducir captura");
  captureButton->setEnabled(true);
  BitBtn1->setEnabled(true);
  LabeledEdit1->setEnabled(true);
  if (timer1BeforeReplay) Timer1->start();
  if (timer2BeforeReplay) Timer2->start();
  // Changed on disk after it was checked.
  if (replay->Reader() && replay->Reader()->Damaged())
    CurrentDialogs().Message(DamageMessage(*replay->Reader()));
}
