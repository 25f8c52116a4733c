// Modbus RTU frames as the unit sees them: requests in, replies out.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kSlave = 1;

namespace fn {
constexpr std::uint8_t kReadHolding = 3;
constexpr std::uint8_t kWriteCoil = 5;
constexpr std::uint8_t kWriteMultiple = 16;
}  // namespace fn

// Modbus exception codes.
namespace ex {
constexpr std::uint8_t kIllegalFunction = 1;
constexpr std::uint8_t kIllegalAddress = 2;
constexpr std::uint8_t kIllegalValue = 3;
}  // namespace ex

enum class Scan { NeedMore, Invalid, Frame };

struct ScanResult {
  Scan scan;
  std::size_t length;  // whole frame from the start of `bytes`, when scan is Frame
};

// Looks for a request frame that starts `offset` bytes into `bytes` (2 with
// a remote station prefix). The length comes from the function code and,
// for function 16, from the register count: the tool's byte-count field is
// only the low 8 bits of 2N, and 12 for the 7-register serial port block.
ScanResult ScanRequest(std::span<const std::uint8_t> bytes, std::size_t offset);

std::uint16_t BigEndian(std::span<const std::uint8_t> bytes, std::size_t at);

// Replies, CRC included. The byte-count field of a read reply is the low
// 8 bits of 2N, as the unit's firmware writes it for the long tables.
Bytes ReadReply(std::span<const std::uint16_t> values);
Bytes WriteAck(std::uint16_t first, std::uint16_t count);
Bytes ExceptionReply(std::uint8_t function, std::uint8_t code);

// One debug line carrying a frame: prefix, "Data-->", "XX " per byte,
// "<--Data", CR LF.
std::string EmbedFrame(std::span<const std::uint8_t> frame, std::string_view prefix = "Tx ");

}  // namespace sim
