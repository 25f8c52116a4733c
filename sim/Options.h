// How a virtual unit is set up: identity, link, timing and faults.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/Registers.h"

namespace sim {

enum class Fault { ReplyCrc, TelemetryCrc, DropReply, TruncateReply };
constexpr std::size_t kFaultKinds = 4;

// A fault hits the next `next` cases, and every `every`-th case after that.
struct FaultRule {
  int next = 0;
  int every = 0;
};

// Faults of the unit's download loader. Chunks count from 0; unset: never.
struct DownloadFaults {
  std::optional<int> failAt;        // "DownLoad FAIL" instead of asking for this chunk
  std::optional<int> stallAt;       // stop asking at this chunk
  std::optional<int> badRequestAt;  // its first request with a wrong sum
  std::optional<int> strayByteAt;   // a 0x00 byte in front of its first request
  int badFirstReports = 0;          // this many First Reports with a wrong sum
};

// Faults of the configuration store and of the unit's replies, for checking
// that a write really took. A register "covered" by a write is one of the
// registers the write carries.
struct StoreFaults {
  std::optional<std::uint16_t> ignoreWritesAt;  // acknowledged, not stored
  std::optional<std::uint16_t> flipBitAt;       // stored with its lowest bit changed
  std::chrono::milliseconds replyDelay{0};      // every reply this late
  std::optional<unsigned> answerRequests;       // answer this many requests, then none
};

struct UnitOptions {
  int com = 1;                                 // links ~/.qirel/ports/COM<com>; 0: no link
  int bytesPerSecond = 1920;                   // a 19200-baud line; 0: send at once
  std::optional<std::uint16_t> remoteStation;  // reached through another unit
  Identity identity;
  std::chrono::milliseconds telemetryPeriod{5000};  // 0: no telemetry
  bool flood = false;
  bool slowAnalog = false;  // analog values wander over hours, with a rare one-second spike
  std::array<FaultRule, kFaultKinds> faults{};
  std::chrono::milliseconds garbageEvery{0};  // 0: no garbage
  std::optional<std::chrono::milliseconds> silenceAfter;
  std::chrono::milliseconds silenceFor{0};
  std::uint32_t seed = 1;
  DownloadFaults download;
  StoreFaults store;
  std::optional<std::chrono::milliseconds> selfDownloadAfter;  // announce a download by itself
  bool keepWritten = false;  // keep what went out on the line, for TakeWritten()
  bool paceInput = false;    // take the tool's bytes in at the pace of the line as well
};

struct CommandLine {
  UnitOptions options;
  bool help = false;
  std::string error;  // empty when the arguments were understood
};

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);
std::string UsageText();

}  // namespace sim
