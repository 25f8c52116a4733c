// Running a download session on the GUI thread: starting it, feeding the
// unit's bytes to the session every tick, the watchdog, and handing the port
// back to the receiver however the session ends.
#include <algorithm>
#include <cstring>

#include "app/Log.h"
#include "firmware/DownLoad.h"
#include "link/Link.h"
#include "protocol/Protocol.h"

std::uint8_t downloadRxBuffer[1024] = {};
std::uint32_t downloadRxCount = 0;
std::uint32_t noDataTicks = 0;
std::uint32_t dataTicks = 0;

namespace {

// The watchdog gives up beyond these.
constexpr std::uint32_t kMaxNoDataTicks = 5;
constexpr std::uint32_t kMaxWaiting = 100;
constexpr std::uint32_t kMaxDataTicks = 20;
// The unit's binary messages start with 0x01-0x03; debug text before them is dropped.
constexpr std::int8_t kLastMessageType = 3;

constexpr std::string_view kFailText = "DownLoad FAIL";
constexpr std::string_view kDoneText = "Descarga Finalizada";

ByteSpan Received() { return ByteSpan(downloadRxBuffer, downloadRxCount); }

void ClearTicks() {
  noDataTicks = 0;
  dataTicks = 0;
}

// Behind the remote prefix in remote mode; the driver's buffers are left alone,
// they may already hold the unit's next message. True when every byte went out.
bool SendDownloadMessage(TForm1& form, const std::uint8_t* bytes, std::size_t count) {
  return form.SendRequest(ByteVector(bytes, bytes + count), {.purge = false, .remote = true}) == 1;
}

void DropLeadingText() {
  std::uint32_t drop = 0;
  while (drop < downloadRxCount && std::int8_t(downloadRxBuffer[drop]) > kLastMessageType) ++drop;
  std::memmove(downloadRxBuffer, downloadRxBuffer + drop, downloadRxCount - drop);
  downloadRxCount -= drop;
}

// The session is over: the receiver takes the port again.
void HandBack(TForm1& form) {
  downloadSession.Stop();
  downloadRxCount = 0;
  form.Timer1->start();
  ClearTicks();
}

}  // namespace

void TForm1::ConnectFirmware() {
  On(BitBtn22, &QPushButton::clicked, &TForm1::BitBtn22Click);
  On(BitBtn21, &QPushButton::clicked, &TForm1::BitBtn21Click);
  On(BitBtn40, &QPushButton::clicked, &TForm1::BitBtn40Click);
  On(Timer5, &QTimer::timeout, &TForm1::Timer5Timer);
}

// "Iniciar DownLoad"
void TForm1::BitBtn21Click() {
  if (!ConfirmPreflight()) return;
  std::string command;
  if (!downloadSession.Open(command)) {
    CurrentDialogs().Message("No se puede abrir archivo HEX");
    downloadSession.Stop();
    return;
  }
  ByteVector start(command.begin(), command.end());
  start.push_back(0);
  bool sent = false;
  try {
    sent = SendDownloadMessage(*this, start.data(), start.size());
  } catch (...) {
    downloadSession.Close();  // no session: the image is not kept open
    throw;
  }
  if (sent) DownloadLog("DownLoad INIT enviada!");
  DownloadLog(QString::fromStdString(command));
  DownloadLog(QString::asprintf("Total CHK:%04X", unsigned(downloadSession.chunkCount)));
  // The unit may still answer a start command that did not go out whole.
  Timer5->start();
  Timer1->stop();
  downloadSession.Start();
}

// The unit announced a download by itself: the session takes the port, with
// the image chosen last (without one, the unit's First Report is rejected).
void TForm1::UnitStartedDownload() {
  std::memset(lineBuffer, 0, sizeof lineBuffer);
  lineLength = 0;
  if (replay->IsRunning()) return;  // a replayed session has no unit to load
  downloadSession.Start();
  std::string command;
  downloadSession.Open(command);
  Timer5->start();
  Timer1->stop();
}

// "Cancelar": the receiver takes the port back; what was received stays.
void TForm1::BitBtn40Click() {
  downloadSession.Stop();
  Timer5->stop();
  Timer1->start();
  ClearInbox();
}

void TForm1::Timer5Timer() {
  Timer5->stop();  // no overlapping ticks while a question is open
  if (!downloadSession.IsActive()) {
    Timer1->start();
    ClearTicks();
    return;
  }
  Timer1->stop();

  std::uint8_t take[kInboxLimit];
  const std::int32_t taken = downloadSource.Take(take);
  if (taken > 0) {
    const std::size_t kept =
        std::min(std::size_t(taken), sizeof downloadRxBuffer - downloadRxCount);
    std::memcpy(downloadRxBuffer + downloadRxCount, take, kept);
    downloadRxCount += std::uint32_t(kept);
    if (ContainsText(Received(), kStartText)) {
      DownloadLog("DownLoad Init Encontrado");
      downloadRxCount = 0;
    } else {
      DropLeadingText();
    }
    if (downloadRxCount > 0) {
      DownloadLog("Datos Encontrados " + QString::number(downloadRxCount));
      ++dataTicks;
    } else {
      ++noDataTicks;
      DownloadLog("Sin Datos");
    }
  }

  if (downloadRxCount > 0) {
    if (ContainsText(Received(), kFailText)) {
      DownloadLog("DownLoad FAIL");
      HandBack(*this);
      return;
    }
    if (ContainsText(Received(), kDoneText)) {
      DownloadLog("Descarga Finalizada");
      HandBack(*this);
      return;
    }
    std::size_t replySize = 0;
    std::size_t replyAt = 0;
    const ProcessResult result =
        downloadSession.Process(downloadRxBuffer, downloadRxCount, replySize, replyAt);
    if (replySize > 0) {
      ClearTicks();
      SendDownloadMessage(*this, downloadRxBuffer + replyAt, replySize);
    }
    // Locally an incomplete message waits for the rest; a remote unit's reply
    // comes whole or not at all.
    if (result != ProcessResult::Nothing || IsRemote()) {
      downloadRxCount = 0;
      DownloadLog("remove: " + QString::number(int(result)));
    }
  }

  if (noDataTicks > kMaxNoDataTicks || downloadRxCount > kMaxWaiting || dataTicks > kMaxDataTicks) {
    ClearTicks();
    ClearInbox();
    downloadRxCount = 0;
    DownloadLog("Desactivando Descarga");
    downloadSession.Stop();
    Timer1->start();
    return;
  }
  if (Timer1->isActive() || Timer5->isActive())
    noDataTicks = 0;
  else
    Timer5->start();
}
