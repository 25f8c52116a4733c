#include "sim/Telemetry.h"

#include <span>

#include "sim/Crc.h"

namespace sim {
namespace {

void Put16(std::array<std::uint8_t, kTelemetrySize>& frame, std::size_t at, std::uint16_t value) {
  frame[at] = static_cast<std::uint8_t>(value >> 8);
  frame[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace

std::array<std::uint8_t, kTelemetrySize> TelemetryFrame(const TelemetryData& data) {
  std::array<std::uint8_t, kTelemetrySize> frame{};
  frame[0] = 0x01;
  frame[1] = 0x03;
  frame[2] = 0x4C;
  Put16(frame, 3, data.inputs);
  frame[5] = data.relays;
  frame[6] = data.signalDbm;
  for (std::size_t i = 0; i < data.analog.size(); ++i) Put16(frame, 7 + 2 * i, data.analog[i]);
  frame[35] = data.gsmRegistered ? 1 : 0;
  frame[36] = data.technology;
  for (std::size_t i = 0; i < data.counters.size(); ++i) Put16(frame, 37 + 2 * i, data.counters[i]);
  const int clock[] = {data.clock.tm_sec,  data.clock.tm_min,     data.clock.tm_hour,
                       data.clock.tm_mday, data.clock.tm_mon + 1, data.clock.tm_year};
  for (std::size_t i = 0; i < 6; ++i) frame[69 + i] = static_cast<std::uint8_t>(clock[i]);
  Put16(frame, 75, data.supplyMillivolts);
  frame[77] = data.internet ? 1 : 0;
  frame[78] = data.server ? 1 : 0;
  const std::uint16_t crc = Crc16(std::span(frame).first(79));
  frame[79] = static_cast<std::uint8_t>(crc & 0xFF);
  frame[80] = static_cast<std::uint8_t>(crc >> 8);
  return frame;
}

}  // namespace sim
