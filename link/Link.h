// The serial link: port, reader thread and the supervision state shared by
// the connection handlers, the receiver tick and the trace interpreter.
#pragma once

#include <cstdint>

#include "link/Port.h"
#include "link/Unit1.h"

extern std::uint32_t secondsTick;   // advanced once a second by Timer4
extern std::uint32_t lastRxSecond;  // secondsTick when bytes were last taken
extern std::uint8_t rxLampFlag;     // set by the trace interpreter, cleared by Timer3
extern std::uint8_t txLampFlag;
extern std::uint8_t rxLampCount;    // ticks the lamp has been lit
extern std::uint8_t txLampCount;

constexpr std::uint32_t kSilenceSeconds = 10;
constexpr std::uint8_t kLampTicks = 5;  // a lamp goes out after count exceeds this
