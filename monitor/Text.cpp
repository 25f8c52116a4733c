#include "monitor/Monitor.h"

namespace {
// 0x80-0x9F of Windows-1252; 0 where the code page has no character.
constexpr char16_t kHigh[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
}  // namespace

QString FromCp1252(std::string_view bytes) {
  QString text(qsizetype(bytes.size()), Qt::Uninitialized);
  QChar* out = text.data();
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    const char16_t high = (b >= 0x80 && b < 0xA0) ? kHigh[b - 0x80] : 0;
    *out++ = QChar(high ? high : char16_t(b));
  }
  return text;
}

std::string ToCp1252(const QString& text) {
  std::string out;
  out.reserve(std::size_t(text.size()));
  for (const QChar c : text) {
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
      out.push_back(char(u));
      continue;
    }
    char mapped = '?';
    for (int i = 0; i < 32; ++i)
      if (kHigh[i] == u && u != 0) mapped = char(0x80 + i);
    out.push_back(mapped);
  }
  return out;
}
