// Firmware download and conversion figures:
//  - a 64 KiB image downloaded to the virtual unit, both directions paced at
//    19200 baud, against the wire time of every byte both sides must send;
//  - the conversion of a 1 MiB HEX file, against objcopy -I ihex -O binary.
//   QT_QPA_PLATFORM=offscreen build/download_bench
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

#include "app/Log.h"
#include "firmware/DownLoad.h"
#include "firmware/Firmware.h"
#include "firmware/Preflight.h"
#include "link/Unit1.h"
#include "tests/firmware/FirmwareUnit.h"
#include "sim/VirtualUnit.h"

namespace {
std::string HexText(const ByteVector& data) {
  std::string text;
  char line[80];
  for (std::size_t at = 0; at < data.size(); at += 32) {
    const std::size_t n = std::min<std::size_t>(32, data.size() - at);
    unsigned sum = unsigned(n) + ((at >> 8) & 0xFF) + (at & 0xFF);
    int used = std::snprintf(line, sizeof line, ":%02X%04X00", unsigned(n), unsigned(at & 0xFFFF));
    for (std::size_t i = 0; i < n; ++i) {
      used += std::snprintf(line + used, sizeof line - std::size_t(used), "%02X", data[at + i]);
      sum += data[at + i];
    }
    std::snprintf(line + used, sizeof line - std::size_t(used), "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
    text += line;
    // Extended address records keep objcopy's output contiguous past 64 KiB.
    if (((at + n) & 0xFFFF) == 0 && at + n < data.size()) {
      const unsigned segment = unsigned((at + n) >> 16);
      std::snprintf(line, sizeof line, ":02000004%04X%02X\r\n", segment,
                    (0x100 - ((2 + 4 + (segment >> 8) + (segment & 0xFF)) & 0xFF)) & 0xFF);
      text += line;
    }
  }
  return text + ":00000001FF\r\n";
}

ByteVector Firmware(std::size_t size) {
  ByteVector data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = std::uint8_t(i * 7 + 3);
  return data;
}
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QTemporaryDir dir;
  qputenv("HOME", dir.path().toUtf8());

  // ---- conversion ----
  const ByteVector big = Firmware(1024 * 1024);
  const std::string bigHex = HexText(big);
  const QString hexPath = dir.filePath("big.hex");
  {
    QFile file(hexPath);
    file.open(QIODevice::WriteOnly);
    file.write(bigHex.data(), qint64(bigHex.size()));
  }
  QElapsedTimer timer;
  timer.start();
  const int rounds = 5;
  for (int i = 0; i < rounds; ++i) {
    QFile file(hexPath);
    file.open(QIODevice::ReadOnly);
    const QByteArray text = file.readAll();
    const auto converted = ConvertHex(
        {reinterpret_cast<const std::uint8_t*>(text.constData()), std::size_t(text.size())}, {2, 17, 457});
    if (!converted.error.empty()) std::printf("conversion refused: %s\n", converted.error.c_str());
  }
  const double ours = double(timer.nsecsElapsed()) / 1e6 / rounds;
  const std::string objcopy = "objcopy -I ihex -O binary " + hexPath.toStdString() + " " +
                              dir.filePath("big.bin").toStdString();
  timer.restart();
  for (int i = 0; i < rounds; ++i) std::system(objcopy.c_str());
  const double theirs = double(timer.nsecsElapsed()) / 1e6 / rounds;
  std::printf("conversion of a %zu-byte HEX file (1 MiB of data): %.1f ms, objcopy %.1f ms, ratio %.2f\n",
              bigHex.size(), ours, theirs, ours / theirs);

  // ---- download ----
  const ByteVector firmware = Firmware(64 * 1024);
  const std::string text = HexText(firmware);
  const QString smallHex = dir.filePath("QRL02-017-0457.hex");
  {
    QFile file(smallHex);
    file.open(QIODevice::WriteOnly);
    file.write(text.data(), qint64(text.size()));
  }
  sim::UnitOptions options = FirmwareUnitOptions(3);
  // Both directions at 19200 baud: the tool's bytes reach the unit only after
  // their time on the wire, as through a real cable.
  options.paceInput = true;
  sim::VirtualUnit unit(options);
  unit.Start();
  TForm1 form;
  form.LabeledEdit1->setText("3");
  form.BitBtn1Click();
  struct Answers : Dialogs {
    QStringList files;
    bool ChooseFile(FileDialog& dialog) override {
      dialog.fileName = files.takeFirst();
      return true;
    }
  };
  auto answers = std::make_unique<Answers>();
  answers->files = {smallHex, dir.filePath("image.bin")};
  SetDialogs(std::move(answers));
  form.BitBtn22Click();
  const int records = downloadSession.GetCount();  // data records, repeat and end
  const DownloadTraffic traffic = SessionTraffic(records);
  const double wireSeconds = double(traffic.toolBytes + traffic.unitBytes) / kLineBytesPerSecond;
  std::printf(
      "download of %zu bytes (%d records): wire time of both directions %.1f s for %zu bytes, "
      "expected %.1f s\n",
      firmware.size(), records, wireSeconds, traffic.toolBytes + traffic.unitBytes,
      ExpectedDownloadSeconds(records));

  bool same = true;
  // First as the tool takes the bytes on every 50 ms tick only, then as it does:
  // a tick also as soon as the reader has passed bytes on.
  for (const bool onArrival : {false, true}) {
    if (!onArrival) QObject::disconnect(serialThread, &Serial::Arrived, nullptr, nullptr);
    if (onArrival) {
      form.BitBtn2Click();
      form.BitBtn1Click();
    }
    timer.restart();
    form.BitBtn21Click();
    while (downloadSession.IsActive())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const auto received = unit.ReceivedImage();
    const bool intact = received.size() >= firmware.size() &&
                        std::equal(firmware.begin(), firmware.end(), received.begin());
    same = same && intact;
    std::printf(
        "%s: %.1f s, %.2f of the wire-time limit, %.0f ms a record beyond the wire, image %s\n",
        onArrival ? "tick and on arrival" : "50 ms tick only   ", seconds, wireSeconds / seconds,
        (seconds - wireSeconds) * 1000.0 / records, intact ? "received intact" : "DIFFERS");
    // The unit prints its closing note before it takes the next session.
    QElapsedTimer settle;
    settle.start();
    while (unit.Downloading() && settle.elapsed() < 5000)
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  }
  form.BitBtn2Click();
  return same ? 0 : 1;
}
