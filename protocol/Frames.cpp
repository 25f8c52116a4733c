#include "protocol/Frames.h"

namespace {
// The pair of 256-entry tables of the Modbus serial-line CRC, built once.
struct CrcTables {
  std::array<std::uint8_t, 256> hi{};
  std::array<std::uint8_t, 256> lo{};
  constexpr CrcTables() {
    for (unsigned i = 0; i < 256; ++i) {
      unsigned crc = i;
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
      hi[i] = std::uint8_t(crc & 0xFF);
      lo[i] = std::uint8_t(crc >> 8);
    }
  }
};
constexpr CrcTables kCrc;
}  // namespace

std::array<std::uint8_t, 2> ModbusCrc(ByteSpan bytes) {
  std::uint8_t hi = 0xFF;
  std::uint8_t lo = 0xFF;
  for (std::uint8_t b : bytes) {
    const std::uint8_t i = b ^ hi;
    hi = kCrc.hi[i] ^ lo;
    lo = kCrc.lo[i];
  }
  return {hi, lo};
}

void AppendCrc(ByteVector& frame) {
  const auto crc = ModbusCrc(frame);
  frame.insert(frame.end(), crc.begin(), crc.end());
}

bool CrcHolds(ByteSpan frame) {
  if (frame.size() < 3) return false;
  const auto crc = ModbusCrc(frame.first(frame.size() - 2));
  return crc[0] == frame[frame.size() - 2] && crc[1] == frame[frame.size() - 1];
}

ByteVector BuildReadRequest(std::uint8_t slave, std::uint8_t function, std::uint16_t address,
                            std::uint8_t count) {
  ByteVector frame{slave, function, std::uint8_t(address >> 8), std::uint8_t(address), 0, count};
  AppendCrc(frame);
  return frame;
}

ByteVector BuildWriteRequest(std::uint8_t slave, std::uint8_t function, std::uint16_t address,
                             ByteSpan payload, std::optional<std::uint8_t> byteCountField) {
  const std::size_t registers = payload.size() / 2;
  ByteVector frame(7 + payload.size() + 2);
  frame[0] = slave;
  frame[1] = function;
  PutWord(&frame[2], address);
  PutWord(&frame[4], std::uint16_t(registers));
  frame[6] = byteCountField.value_or(std::uint8_t(2 * registers));
  std::copy(payload.begin(), payload.end(), frame.begin() + 7);
  const auto crc = ModbusCrc(ByteSpan(frame).first(frame.size() - 2));
  frame[frame.size() - 2] = crc[0];
  frame[frame.size() - 1] = crc[1];
  return frame;
}

ByteVector BuildCoilRequest(std::uint16_t coil, bool on) {
  ByteVector frame{kSlave, kWriteCoil, std::uint8_t(coil >> 8), std::uint8_t(coil),
                   std::uint8_t(on ? 0xFF : 0x00), 0x00};
  AppendCrc(frame);
  return frame;
}

ByteVector WithRemotePrefix(ByteSpan frame, std::uint16_t station) {
  ByteVector out(2 + frame.size());
  PutWord(out.data(), station);
  std::copy(frame.begin(), frame.end(), out.begin() + 2);
  return out;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return static_cast<unsigned char>(c);
}

std::uint8_t HexPairValue(char high, char low) {
  return std::uint8_t(HexDigitValue(high) * 16 + HexDigitValue(low));
}

LineContent ExtractFrame(std::string_view line) {
  static constexpr std::string_view kStart = "Data-->";
  static constexpr std::string_view kEnd = "<--Data";
  const std::size_t end = line.find(kEnd);
  if (end == std::string_view::npos) return {};
  // The start marker nearest the end one: a line whose first part was purged
  // away can carry the start of an earlier frame in front of the real one.
  const std::size_t start = end >= kStart.size() ? line.rfind(kStart, end - kStart.size())
                                                 : std::string_view::npos;
  if (start == std::string_view::npos) return {LineContent::Kind::Dropped, {}};
  const std::size_t first = start + kStart.size();
  // Markers that overlap leave no room for a byte.
  const std::size_t span = end > first ? end - first : 0;
  LineContent content{LineContent::Kind::Frame, ByteVector(span / 3)};
  for (std::size_t i = 0; i < content.frame.size(); ++i)
    content.frame[i] = HexPairValue(line[first + 3 * i], line[first + 3 * i + 1]);
  return content;
}
