// The unsolicited 81-byte telemetry frame: a function-3 reply of 38 registers.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>

namespace sim {

constexpr std::size_t kTelemetrySize = 81;

// Mobile data technology codes of byte 36.
namespace tech {
constexpr std::uint8_t kNone = 0;
constexpr std::uint8_t k2G = 1;
constexpr std::uint8_t k3G = 2;
constexpr std::uint8_t k4G = 8;
}  // namespace tech

struct TelemetryData {
  bool gsmRegistered = false;
  std::uint8_t technology = tech::kNone;
  std::uint16_t supplyMillivolts = 0;
  bool internet = false;
  bool server = false;
  // Not shown by the tool, but part of the frame.
  std::uint16_t inputs = 0;
  std::uint8_t relays = 0;
  std::uint8_t signalDbm = 0;  // magnitude
  std::array<std::uint16_t, 8> analog{};
  std::array<std::uint16_t, 16> counters{};
  std::tm clock{};
};

std::array<std::uint8_t, kTelemetrySize> TelemetryFrame(const TelemetryData& data);

}  // namespace sim
