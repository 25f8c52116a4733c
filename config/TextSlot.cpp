// Texts in register blocks: zero-terminated, zero-padded, pairs exchanged.
#include "config/Config.h"

std::optional<std::vector<std::uint8_t>> EncodeTextSlot(std::string_view text,
                                                        std::size_t slotSize) {
  if (text.size() + 1 > slotSize) return std::nullopt;
  std::vector<std::uint8_t> area(slotSize, 0);
  std::copy(text.begin(), text.end(), area.begin());
  for (std::size_t i = 0; i + 1 < slotSize; i += 2) std::swap(area[i], area[i + 1]);
  return area;
}

std::string DecodeTextSlot(ByteSpan wire) {
  std::string text;
  for (std::size_t i = 0; i < wire.size(); ++i) {
    // Byte i of the text travels as byte i ^ 1 of the register pair.
    if ((i ^ 1) >= wire.size()) break;
    const std::uint8_t c = wire[i ^ 1];
    if (c == 0) break;
    text.push_back(char(c));
  }
  return text;
}

ETextTooLong::ETextTooLong(const QString& text, std::size_t limit)
    : std::runtime_error(QString("'%1' no cabe: admite hasta %2 bytes")
                             .arg(text)
                             .arg(limit)
                             .toStdString()) {}

std::vector<std::uint8_t> TextSlotFor(const QString& text, std::size_t slotSize) {
  const QByteArray utf8 = text.toUtf8();
  auto slot = EncodeTextSlot(std::string_view(utf8.constData(), std::size_t(utf8.size())), slotSize);
  if (!slot) throw ETextTooLong(text, slotSize - 1);
  return *slot;
}
