#include "app/Convert.h"

#include <cstdint>

EConvertError::EConvertError(const QString& text) : std::runtime_error(text.toStdString()) {}

int StrToInt(const QString& text) {
  const auto fail = [&] {
    return EConvertError(QString("'%1' is not a valid integer value").arg(text));
  };
  qsizetype i = 0;
  while (i < text.size() && text[i] == ' ') ++i;  // leading blanks are allowed
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) throw fail();
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9') throw fail();
    value = value * 10 + (c - u'0');
    if (value > std::int64_t(INT32_MAX) + 1) throw fail();
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) throw fail();
  return int(value);
}
