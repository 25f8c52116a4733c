// Helpers of the firmware tests: HEX text, images and the unit's messages,
// built here independently of the tool's own encoders.
#pragma once

#include <QFile>
#include <cstdio>
#include <string>

#include "firmware/Firmware.h"
#include "tests/Harness.h"

inline Bytes Sequence(std::size_t count, std::size_t from = 0) {
  Bytes bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = std::uint8_t((from + i) * 7 + 3);
  return bytes;
}

inline Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t count) {
  return Bytes(bytes.begin() + long(from), bytes.begin() + long(from + count));
}

inline Bytes Join(Bytes front, const Bytes& back) {
  front.insert(front.end(), back.begin(), back.end());
  return front;
}

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// ":LLAAAATT...CC", upper case.
inline std::string HexRecord(int type, int address, const Bytes& data) {
  Bytes bytes = Join({std::uint8_t(data.size()), std::uint8_t(address >> 8), std::uint8_t(address),
                      std::uint8_t(type)},
                     data);
  unsigned sum = 0;
  for (std::uint8_t b : bytes) sum += b;
  bytes.push_back(std::uint8_t(0x100 - (sum & 0xFF)));
  std::string line = ":";
  for (std::uint8_t b : bytes) {
    char digits[3];
    std::snprintf(digits, sizeof digits, "%02X", b);
    line += digits;
  }
  return line;
}

inline const char* const kEndOfFile = ":00000001FF";

// Data records of `perLine` bytes from address 0, then the end-of-file record.
inline std::string HexText(const Bytes& data, std::size_t perLine = 16, const char* end = "\r\n") {
  std::string text;
  for (std::size_t at = 0; at < data.size(); at += perLine)
    text += HexRecord(0, int(at), Slice(data, at, std::min(perLine, data.size() - at))) + end;
  return text + kEndOfFile + end;
}

// Byte sum kept to 16 bits, high byte first.
inline Bytes WithSum(Bytes message) {
  unsigned sum = 0;
  for (std::uint8_t b : message) sum += b;
  return Join(message, {std::uint8_t(sum >> 8), std::uint8_t(sum)});
}

inline Bytes Words(std::uint8_t type, std::initializer_list<int> values) {
  Bytes bytes{type};
  // push_back: GCC 12 at -O3 (the Windows release) sees an overflow in a
  // two-byte insert that is not there.
  for (int value : values) {
    bytes.push_back(std::uint8_t(value >> 8));
    bytes.push_back(std::uint8_t(value));
  }
  return bytes;
}

inline Bytes FirstReport(int hardware, int project, int build) {
  return WithSum(Join(Words(0x02, {hardware, project, build}), Text("861234567890123")));
}

inline Bytes ChunkRequestFor(int hardware, int project, int build, int chunk, int count) {
  return WithSum(Words(0x01, {hardware, project, build, chunk, count}));
}

inline Bytes FinalPacket() { return WithSum(Bytes{0x03, 1, 2, 3, 4, 5, 6, 7, 8}); }

inline void SaveBytes(const QString& path, const Bytes& bytes) {
  QFile file(path);
  file.open(QIODevice::WriteOnly);
  file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
}

// An image as the conversion writes it.
inline Bytes SaveImage(const QString& path, const Bytes& data, ImageIdentity identity) {
  const Bytes image = ConvertHex(Text(HexText(data)), identity).image;
  SaveBytes(path, image);
  return image;
}

// The 256 data bytes of image record n.
inline Bytes RecordData(const Bytes& image, int n) { return Slice(image, 10 + n * 262 + 4, 256); }
