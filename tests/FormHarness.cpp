// Helpers that drive the window.
#include "tests/Harness.h"

#include <QPlainTextEdit>
#include <cstring>

#include "app/Log.h"
#include "link/Unit1.h"
#include "protocol/Frames.h"

void InjectInbox(const Bytes& bytes) {
  // The receiver's take buffer holds no more than the reader ever leaves.
  if (portInbox.count + std::int64_t(bytes.size()) >= kInboxLimit)
    qFatal("InjectInbox: %zu bytes are more than the inbox holds", bytes.size());
  while (portInbox.busy.test_and_set()) {
  }
  std::memcpy(portInbox.data + portInbox.count, bytes.data(), bytes.size());
  portInbox.count += std::int32_t(bytes.size());
  portInbox.busy.clear();
}

void InjectInbox(const std::string& text) { InjectInbox(Bytes(text.begin(), text.end())); }

void PretendConnected(TForm1& form) { form.BitBtn2->setEnabled(true); }

QStringList Lines(const QPlainTextEdit* memo) {
  const QString text = memo->toPlainText();
  return text.isEmpty() ? QStringList() : text.split('\n');
}

QStringList OtherDigits() {
  return {QString(QChar(0x0661)), QString(QChar(0x0662)), QString(QChar(0xFF13)),
          QString::fromUcs4(U"\U0001D7D7")};
}

Bytes FrameWithCrc(Bytes bytes) {
  AppendCrc(bytes);
  return bytes;
}

std::string EmbeddedLine(const Bytes& frame) {
  std::string line = "Data-->";
  char hex[4];
  for (std::uint8_t b : frame) {
    std::snprintf(hex, sizeof hex, "%02X ", b);
    line += hex;
  }
  return line + "<--Data";
}
