// Connecting, disconnecting, local/remote mode, the TX/RX lamps and the
// supervision that shows a silent unit.
#include "app/Convert.h"
#include "app/Log.h"
#include "config/SafeConfig.h"
#include "firmware/DownLoad.h"
#include "link/Link.h"
#include "trends/Trends.h"

std::uint32_t secondsTick = 0;
std::uint32_t lastRxSecond = 0;
std::uint8_t rxLampFlag = 0;
std::uint8_t txLampFlag = 0;
std::uint8_t rxLampCount = 0;
std::uint8_t txLampCount = 0;

void TForm1::ConnectLink() {
  LabeledEdit1->installEventFilter(this);
  On(BitBtn1, &QPushButton::clicked, &TForm1::BitBtn1Click);
  On(BitBtn2, &QPushButton::clicked, &TForm1::BitBtn2Click);
  On(RadioGroup2, &RadioGroup::clicked, &TForm1::RadioGroup2Click);
  On(Timer3, &QTimer::timeout, &TForm1::Timer3Timer);
  On(Timer4, &QTimer::timeout, &TForm1::Timer4Timer);
  ConnectPortChoice();
}

// Only digits and backspace reach the port number.
void TForm1::LabeledEdit1KeyPress(QChar& key) {
  if (!IsDecimalDigit(key) && key != QChar(8)) key = QChar();
}

void TForm1::BitBtn1Click() {
  if (LabeledEdit1->text().isEmpty()) {
    CurrentDialogs().Message("Ingrese numero de Puerto Comm");
    return;
  }
  const int number = StrToInt(LabeledEdit1->text());
  if (OpenPort(ComPortPath(number), 19200, 8, 0, 0) != 0) {
    CurrentDialogs().Message("Error al abrir puerto\n" + OpenFailureReason());
    return;
  }
  BitBtn1->setEnabled(false);
  BitBtn2->setEnabled(true);
  LabeledEdit1->setEnabled(false);
  serialThread = new Serial(false);
  connect(serialThread, &Serial::Arrived, this,
          [this] { Guarded([this] {
            DownloadBytesArrived();
            if (safeConfig) safeConfig->BytesArrived();
          }); });
  PortOpened(number);
}

void TForm1::BitBtn2Click() {
  // No session outlives its port: it ends as "Cancelar" ends it.
  if (downloadSession.IsActive()) BitBtn40Click();
  ClosePort();
  if (serialThread) serialThread->Terminate();
  serialThread = nullptr;  // it frees itself; never touch it again
  BitBtn2->setEnabled(false);
  BitBtn1->setEnabled(true);
  LabeledEdit1->setEnabled(true);
  PortClosed();
}

void TForm1::RadioGroup2Click() { Edit3->setVisible(RadioGroup2->itemIndex() != 0); }

bool TForm1::IsConnected() const { return BitBtn2->isEnabled(); }

void TForm1::ShowDisconnected() {
  trends->LinkLost();
  for (Panel* panel : {Panel5, Panel36}) {
    panel->setColor(clSilver);
    panel->setFontColor(clBlack);
    panel->setCaption("Equipo desconectado");
  }
}

void TForm1::CheckSilence() {
  if (secondsTick - lastRxSecond > kSilenceSeconds) ShowDisconnected();
}

void TForm1::Timer4Timer() { ++secondsTick; }

namespace {
// A trigger lights the lamp for six ticks; triggers while lit don't restart it.
void LampTick(std::uint8_t& flag, std::uint8_t& count, Panel* lamp, TColor lit) {
  if (flag) {
    ++count;
    lamp->setColor(lit);
    if (count > kLampTicks) flag = 0;
  } else {
    count = 0;
    lamp->setColor(clBtnFace);
  }
}
}  // namespace

void TForm1::Timer3Timer() {
  LampTick(rxLampFlag, rxLampCount, Panel10, clRedOrange);
  LampTick(txLampFlag, txLampCount, Panel9, clGreen);
  update();
}
