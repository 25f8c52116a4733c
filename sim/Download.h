// Firmware download messages as the unit's loader builds and checks them.
// They travel raw on the debug port and end with a 16-bit byte sum, high
// byte first; every other 16-bit field is big-endian too.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "sim/Modbus.h"
#include "sim/Registers.h"

namespace sim {

namespace dl {
// The tool's start command: the text and a zero byte.
inline constexpr std::string_view kStartCommand{"Download Init\0", 14};
inline constexpr std::string_view kStartText{"Download Init"};
inline constexpr std::string_view kFailText{"DownLoad FAIL"};
inline constexpr std::string_view kDoneText{"Descarga Finalizada"};

constexpr std::uint8_t kFirstReport = 0x02;
constexpr std::uint8_t kAccept = 0x02;
constexpr std::uint8_t kReject = 0x04;
constexpr std::uint8_t kChunk = 0x01;
constexpr std::uint8_t kFinal = 0x03;

constexpr std::size_t kFirstReportLength = 24;
constexpr std::size_t kAcceptLength = 13;
constexpr std::size_t kRejectLength = 11;
constexpr std::size_t kRequestLength = 13;
constexpr std::size_t kChunkOverhead = 15;  // request head, length, sum
constexpr std::size_t kFinalLength = 11;
constexpr std::size_t kImeiLength = 15;
constexpr std::uint16_t kChunkBytes = 256;
}  // namespace dl

// What the accept message says about the image the tool serves.
struct ImageHeader {
  std::uint16_t hardware = 0;
  std::uint16_t project = 0;
  std::uint16_t build = 0;
  std::uint16_t chunkCount = 0;  // data chunks, the repeated one and the end one
  std::uint16_t chunkSize = 0;
};

// The sum of all bytes, kept to 16 bits.
std::uint16_t ByteSum(std::span<const std::uint8_t> bytes);
// Appends the sum of the whole message, high byte first.
void AppendSum(Bytes& message);
// True when the last two bytes are the sum of the bytes before them.
bool HasValidSum(std::span<const std::uint8_t> message);

// 0x02, hardware, project, build, the IMEI's first 15 characters (zero
// padded), sum.
Bytes FirstReport(const Identity& identity);
// 0x01, the image's hardware, project and build, chunk number, chunk count, sum.
Bytes ChunkRequest(const ImageHeader& image, std::uint16_t chunk);
// 0x03, eight bytes the tool does not read (the image's identity and chunk
// count), sum.
Bytes FinalPacket(const ImageHeader& image);

// The accept message, when `message` is one (13 bytes, right sum).
std::optional<ImageHeader> ParseAccept(std::span<const std::uint8_t> message);
// The reject message: 11 bytes, 0x04, right sum.
bool IsReject(std::span<const std::uint8_t> message);

// Looks for the start command `offset` bytes into `bytes`: Frame when it is
// whole there, NeedMore when the bytes so far begin it.
ScanResult ScanStartCommand(std::span<const std::uint8_t> bytes, std::size_t offset);

}  // namespace sim
