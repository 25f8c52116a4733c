// The unit's Modbus RTU checksum.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace sim {

// CRC-16 with the reflected polynomial 0xA001 and start value 0xFFFF; on the
// wire the low byte goes first.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes);

// Appends the CRC of the whole frame, low byte first.
void AppendCrc(std::vector<std::uint8_t>& frame);

// True when the last two bytes are the CRC of the bytes before them.
bool HasValidCrc(std::span<const std::uint8_t> frame);

}  // namespace sim
