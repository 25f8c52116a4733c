#include "sim/Modbus.h"

#include <cstdio>

#include "sim/Crc.h"

namespace sim {

std::uint16_t BigEndian(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

ScanResult ScanRequest(std::span<const std::uint8_t> bytes, std::size_t offset) {
  if (bytes.size() < offset + 2) return {Scan::NeedMore, 0};
  std::size_t length = 0;
  switch (bytes[offset + 1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
      length = offset + 8;
      break;
    case 15:
    case 16: {
      if (bytes.size() < offset + 7) return {Scan::NeedMore, 0};
      const std::uint16_t count = BigEndian(bytes, offset + 4);
      if (count == 0 || count > 255) return {Scan::Invalid, 0};
      length = offset + 9 + (bytes[offset + 1] == 16 ? 2u * count : (count + 7u) / 8u);
      break;
    }
    default:
      return {Scan::Invalid, 0};
  }
  if (bytes.size() < length) return {Scan::NeedMore, 0};
  if (!HasValidCrc(bytes.subspan(offset, length - offset))) return {Scan::Invalid, 0};
  return {Scan::Frame, length};
}

Bytes ReadReply(std::span<const std::uint16_t> values) {
  Bytes frame{kSlave, fn::kReadHolding, static_cast<std::uint8_t>(2 * values.size())};
  for (std::uint16_t value : values) {
    frame.push_back(static_cast<std::uint8_t>(value >> 8));
    frame.push_back(static_cast<std::uint8_t>(value & 0xFF));
  }
  AppendCrc(frame);
  return frame;
}

Bytes WriteAck(std::uint16_t first, std::uint16_t count) {
  Bytes frame{kSlave,
              fn::kWriteMultiple,
              static_cast<std::uint8_t>(first >> 8),
              static_cast<std::uint8_t>(first & 0xFF),
              static_cast<std::uint8_t>(count >> 8),
              static_cast<std::uint8_t>(count & 0xFF)};
  AppendCrc(frame);
  return frame;
}

Bytes ExceptionReply(std::uint8_t function, std::uint8_t code) {
  Bytes frame{kSlave, static_cast<std::uint8_t>(function | 0x80), code};
  AppendCrc(frame);
  return frame;
}

std::string EmbedFrame(std::span<const std::uint8_t> frame, std::string_view prefix) {
  std::string line(prefix);
  line += "Data-->";
  char hex[4];
  for (std::uint8_t byte : frame) {
    std::snprintf(hex, sizeof hex, "%02X ", byte);
    line += hex;
  }
  line += "<--Data\r\n";
  return line;
}

}  // namespace sim
