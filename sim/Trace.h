// Texts of the unit's debug trace, in its 8-bit Windows-1252 character set.
// The lines come without their CR LF; the unit adds it when it prints them.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "sim/Registers.h"

namespace sim {

// "SEÑAL" with the capital N with tilde as its single Windows-1252 byte.
inline constexpr char kSignalMarker[] =
    "SE\xD1"
    "AL";

struct AnalogReading {
  int measured = 0;  // mA for a current input, mV for a voltage input
  int value = 0;     // engineering value after zero and span
  bool absent = false;
  bool low = false;
  bool high = false;
};

// What the traffic lines talk about.
struct Traffic {
  int slave = 17;  // a slave polled on serial port 2
  int address = 300;
  int value = 0;
  std::string server;  // current server address
  int port = 36377;
};

std::string SignalLine(int dbm);
std::string CoilLine(bool relay1, bool relay2);
// group 1: inputs 1-8, group 2: inputs 9-16; bit k of states = input k+1.
std::string InputLine(int group, std::uint8_t states);
// group 1: inputs 1-4, group 2: inputs 5-8.
std::string AnalogLine(int group, const std::array<AnalogReading, 4>& inputs);
std::string ClockLine(const std::tm& utc, int supplyMillivolts, long uptimeSeconds);
std::string CounterLine(const std::array<std::uint32_t, 16>& counters);
// Serial, Modbus TCP, IEC and DNP traffic; `step` picks one of the kinds.
std::string TrafficLine(unsigned step, const Traffic& traffic);
std::vector<std::string> BootBanner(const Identity& identity);

}  // namespace sim
