#include "sim/Download.h"

#include <algorithm>

namespace sim {
namespace {

void PutWord(Bytes& message, unsigned value) {
  message.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
  message.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

Bytes ImageHead(std::uint8_t kind, const ImageHeader& image) {
  Bytes message{kind};
  PutWord(message, image.hardware);
  PutWord(message, image.project);
  PutWord(message, image.build);
  return message;
}

}  // namespace

std::uint16_t ByteSum(std::span<const std::uint8_t> bytes) {
  unsigned sum = 0;
  for (std::uint8_t byte : bytes) sum += byte;
  return static_cast<std::uint16_t>(sum & 0xFFFF);
}

void AppendSum(Bytes& message) { PutWord(message, ByteSum(message)); }

bool HasValidSum(std::span<const std::uint8_t> message) {
  if (message.size() < 3) return false;
  return ByteSum(message.first(message.size() - 2)) == BigEndian(message, message.size() - 2);
}

Bytes FirstReport(const Identity& identity) {
  Bytes message{dl::kFirstReport};
  PutWord(message, static_cast<unsigned>(identity.hardware));
  PutWord(message, static_cast<unsigned>(identity.project));
  PutWord(message, static_cast<unsigned>(identity.build));
  for (std::size_t i = 0; i < dl::kImeiLength; ++i)
    message.push_back(i < identity.imei.size() ? static_cast<std::uint8_t>(identity.imei[i]) : 0);
  AppendSum(message);
  return message;
}

Bytes ChunkRequest(const ImageHeader& image, std::uint16_t chunk) {
  Bytes message = ImageHead(dl::kChunk, image);
  PutWord(message, chunk);
  PutWord(message, image.chunkCount);
  AppendSum(message);
  return message;
}

Bytes FinalPacket(const ImageHeader& image) {
  Bytes message = ImageHead(dl::kFinal, image);
  PutWord(message, image.chunkCount);
  AppendSum(message);
  return message;
}

std::optional<ImageHeader> ParseAccept(std::span<const std::uint8_t> message) {
  if (message.size() != dl::kAcceptLength || message[0] != dl::kAccept || !HasValidSum(message))
    return std::nullopt;
  return ImageHeader{BigEndian(message, 1), BigEndian(message, 3), BigEndian(message, 5),
                     BigEndian(message, 7), BigEndian(message, 9)};
}

bool IsReject(std::span<const std::uint8_t> message) {
  return message.size() == dl::kRejectLength && message[0] == dl::kReject && HasValidSum(message);
}

ScanResult ScanStartCommand(std::span<const std::uint8_t> bytes, std::size_t offset) {
  if (bytes.size() <= offset) return {Scan::NeedMore, 0};
  const std::size_t present = std::min(bytes.size() - offset, dl::kStartCommand.size());
  if (!std::equal(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                  bytes.begin() + static_cast<std::ptrdiff_t>(offset + present),
                  dl::kStartCommand.begin()))
    return {Scan::Invalid, 0};
  if (present < dl::kStartCommand.size()) return {Scan::NeedMore, 0};
  return {Scan::Frame, offset + dl::kStartCommand.size()};
}

}  // namespace sim
