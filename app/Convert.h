// The toolkit's integer conversion and its error.
#pragma once

#include <QString>
#include <stdexcept>
#include <string>

class EConvertError : public std::runtime_error {
 public:
  explicit EConvertError(const QString& text);
  QString text() const { return QString::fromUtf8(what()); }
};

// Decimal, optional sign, 32-bit signed range; anything else throws
// "'%s' is not a valid integer value".
int StrToInt(const QString& text);

// The characters StrToInt takes as digits: "0"-"9" and no other script's.
inline bool IsDecimalDigit(QChar key) { return key >= QChar('0') && key <= QChar('9'); }
