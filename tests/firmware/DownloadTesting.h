// Helpers of the firmware tests: HEX text, images and the unit's messages,
// built here independently of the tool's own encoders.
#pragma once

#include <QFile>
#include <QString>
#include <cstdio>
#include <string>

#include "firmware/Firmware.h"
#include "tests/Harness.h"

// Recognisable data bytes.
inline Bytes Sequence(std::size_t count, std::size_t from = 0) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = std::uint8_t((from + i) * 7 + 3);
  return bytes;
}

// ":LLAAAATT...CC" in upper case.
inline std::string HexRecord(int type, int address, const Bytes& data) {
  Bytes bytes{std::uint8_t(data.size()), std::uint8_t(address >> 8), std::uint8_t(address),
              std::uint8_t(type)};
  bytes.insert(bytes.end(), data.begin(), data.end());
  unsigned sum = 0;
  for (std::uint8_t b : bytes) sum += b;
  bytes.push_back(std::uint8_t(0x100 - (sum & 0xFF)));
  std::string line = ":";
  char digits[3];
  for (std::uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    line += digits;
  }
  return line;
}

inline const char* const kEndOfFile = ":00000001FF";

// Data records of `perLine` bytes from address 0, then the end-of-file record.
inline std::string HexText(const Bytes& data, std::size_t perLine = 16, const char* end = "\r\n") {
  std::string text;
  for (std::size_t at = 0; at < data.size(); at += perLine) {
    const std::size_t n = std::min(perLine, data.size() - at);
    text += HexRecord(0, int(at), Bytes(data.begin() + long(at), data.begin() + long(at + n)));
    text += end;
  }
  return text + kEndOfFile + end;
}

// The checksum of the download messages: byte sum, 16 bits, high byte first.
inline Bytes WithSum(Bytes message) {
  unsigned sum = 0;
  for (std::uint8_t b : message) sum += b;
  message.push_back(std::uint8_t(sum >> 8));
  message.push_back(std::uint8_t(sum));
  return message;
}

inline void PushWord(Bytes& bytes, int value) {
  bytes.push_back(std::uint8_t(value >> 8));
  bytes.push_back(std::uint8_t(value));
}

inline Bytes FirstReport(int hardware, int project, int build,
                         const std::string& imei = "861234567890123") {
  Bytes report{0x02};
  PushWord(report, hardware);
  PushWord(report, project);
  PushWord(report, build);
  Bytes text(15, 0);
  std::copy(imei.begin(), imei.begin() + long(std::min<std::size_t>(imei.size(), 15)), text.begin());
  report.insert(report.end(), text.begin(), text.end());
  return WithSum(report);
}

inline Bytes ChunkRequestFor(int hardware, int project, int build, int chunk, int count) {
  Bytes request{0x01};
  for (int value : {hardware, project, build, chunk, count}) PushWord(request, value);
  return WithSum(request);
}

inline Bytes FinalPacket() { return WithSum(Bytes{0x03, 1, 2, 3, 4, 5, 6, 7, 8}); }

// An image as the conversion writes it, saved at path.
inline Bytes SaveImage(const QString& path, const Bytes& data, ImageIdentity identity) {
  const std::string text = HexText(data);
  const HexConversion conversion =
      ConvertHex(ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                 identity);
  QFile file(path);
  file.open(QIODevice::WriteOnly);
  file.write(reinterpret_cast<const char*>(conversion.image.data()),
             qint64(conversion.image.size()));
  return conversion.image;
}

// Data bytes of record n of an image, as a chunk carries them.
inline Bytes RecordData(const Bytes& image, int n) {
  const auto at = long(10 + n * 262 + 4);
  return Bytes(image.begin() + at, image.begin() + at + 256);
}
