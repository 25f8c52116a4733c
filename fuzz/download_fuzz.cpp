// The download session fed arbitrary messages from the unit while it serves a
// real small image (five records: three of data, the repeat, the end record).
//
// Input: a mode byte (bit 0 the answer to every identity question, bit 1 start
// already serving, bit 2 through the session tick with the inbox instead of
// the session step alone), then messages: a control byte (bit 0 put the right
// checksum in the message's last two bytes; the rest, with the next byte, the
// length), then the message.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/Log.h"
#include "firmware/DownLoad.h"
#include "fuzz/FuzzSupport.h"
#include "link/Unit1.h"

namespace {
constexpr std::size_t kRxBufferSize = sizeof downloadRxBuffer;

std::string ImagePath() {
  static QTemporaryDir dir(QDir::tempPath() + "/qirel-download-fuzz-XXXXXX");
  static const std::string path = [] {
    std::string hex;
    char line[80];
    // 600 data bytes, 16 a line, then the end-of-file record.
    for (int at = 0; at < 600; at += 16) {
      const int count = std::min(16, 600 - at);
      unsigned sum = unsigned(count + (at >> 8) + (at & 0xFF));
      int n = std::snprintf(line, sizeof line, ":%02X%04X00", count, at);
      for (int i = 0; i < count; ++i) {
        const unsigned b = unsigned(at + i) * 7 + 3;
        sum += b & 0xFF;
        n += std::snprintf(line + n, sizeof line - std::size_t(n), "%02X", b & 0xFF);
      }
      std::snprintf(line + n, sizeof line - std::size_t(n), "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
      hex += line;
    }
    hex += ":00000001FF\r\n";
    const HexConversion image =
        ConvertHex(ByteSpan(reinterpret_cast<const std::uint8_t*>(hex.data()), hex.size()),
                   {2, 17, 456});
    const QString file = dir.filePath("image.bin");
    QFile out(file);
    if (!image.error.empty() || !out.open(QIODevice::WriteOnly)) std::abort();
    out.write(reinterpret_cast<const char*>(image.image.data()), qint64(image.image.size()));
    return file.toStdString();
  }();
  return path;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzWindow();
  ImagePath();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TForm1& form = RestedWindow();
  form.RadioGroup2->setItemIndex(0);
  FuzzReader in(data, size);
  const std::uint8_t mode = in.Byte();
  FuzzDialogs().confirmAnswer = mode & 1;
  const bool throughTick = mode & 4;

  downloadSession.SetFileName(ImagePath());
  std::string command;
  if (!downloadSession.Open(command)) std::abort();
  // As Start() leaves it, without re-enabling the window's pages every input:
  // that alone would cost most of the run.
  downloadSession.active = true;
  downloadSession.state = mode & 2 ? DownLoad::kServing : DownLoad::kWaitFirstReport;

  for (int steps = 0; !in.Empty() && steps < 32 && downloadSession.IsActive(); ++steps) {
    const std::uint8_t control = in.Byte();
    const std::size_t wanted = std::size_t((control >> 1) | in.Byte() << 7);
    auto message = in.Bytes(wanted % (throughTick ? std::size_t(kInboxLimit) : kRxBufferSize + 1));
    if ((control & 1) && message.size() >= 2) PutChecksum(message);
    if (throughTick) {
      std::copy(message.begin(), message.end(), portInbox.data);
      portInbox.count = std::int32_t(message.size());
      form.Guarded([&] { form.Timer5Timer(); });
    } else {
      // The session's receive buffer, on its own allocation.
      auto buffer = std::make_unique<std::uint8_t[]>(kRxBufferSize);
      std::copy(message.begin(), message.end(), buffer.get());
      std::size_t replyLength = 0;
      std::size_t replyAt = 0;
      downloadSession.Process(std::span(buffer.get(), kRxBufferSize), message.size(), replyLength,
                              replyAt);
      if (replyAt + replyLength > kRxBufferSize) std::abort();
    }
  }
  downloadSession.active = false;
  downloadSession.Close();
  return 0;
}
