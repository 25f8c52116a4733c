// Modbus RTU frames as the unit expects them, and the embedded-frame text the
// unit prints them in.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

using ByteSpan = std::span<const std::uint8_t>;
using ByteVector = std::vector<std::uint8_t>;

constexpr std::uint8_t kSlave = 0x01;
constexpr std::uint8_t kReadHolding = 0x03;
constexpr std::uint8_t kWriteCoil = 0x05;
constexpr std::uint8_t kWriteMultiple = 0x10;

// CRC-16 of the Modbus serial line; [0] is the byte sent first (the CRC's low byte).
std::array<std::uint8_t, 2> ModbusCrc(ByteSpan bytes);
// Appends the CRC to a frame.
void AppendCrc(ByteVector& frame);
// Whether a frame's last two bytes are the CRC of the bytes before them.
bool CrcHolds(ByteSpan frame);
// Big-endian 16-bit value at bytes[at], bytes[at + 1].
inline std::uint16_t Word(ByteSpan bytes, std::size_t at) {
  return std::uint16_t(bytes[at] << 8 | bytes[at + 1]);
}
inline void PutWord(std::uint8_t* out, std::uint16_t value) {
  out[0] = std::uint8_t(value >> 8);
  out[1] = std::uint8_t(value);
}

// Function 3: slave, function, first address, count (one byte), CRC: 8 bytes.
ByteVector BuildReadRequest(std::uint8_t slave, std::uint8_t function, std::uint16_t address,
                            std::uint8_t count);
// Function 16 over the 2N payload bytes; the byte-count field is the low eight
// bits of 2N, as the unit expects even for blocks over 127 registers.
// A unit block may expect another byte-count field; byteCountField sets it.
ByteVector BuildWriteRequest(std::uint8_t slave, std::uint8_t function, std::uint16_t address,
                             ByteSpan payload,
                             std::optional<std::uint8_t> byteCountField = std::nullopt);
// Function 5: coil on (0xFF00) or off.
ByteVector BuildCoilRequest(std::uint16_t coil, bool on);
// Puts the remote station number in front; the CRC stays that of the local frame.
ByteVector WithRemotePrefix(ByteSpan frame, std::uint16_t station);

// "0"-"9" and "A"-"F" give their value; anything else its own character code.
int HexDigitValue(char c);
std::uint8_t HexPairValue(char high, char low);

// What a completed debug line carries.
struct LineContent {
  enum class Kind { Text, Frame, Dropped } kind = Kind::Text;
  ByteVector frame;
};
// "Data-->" "XX " per byte "<--Data": a line without "<--Data" is text; markers
// in the wrong order drop the line.
LineContent ExtractFrame(std::string_view line);

// Expected reply length of a request, or nullopt where any length is taken.
std::optional<int> ExpectedReplyLength(int request);
