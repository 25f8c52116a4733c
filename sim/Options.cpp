#include "sim/Options.h"

#include <charconv>
#include <random>

namespace sim {
namespace {

template <typename Number>
bool ParseNumber(const std::string& text, Number& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

bool ParseSeconds(const std::string& text, std::chrono::milliseconds& value) {
  double seconds = 0;
  if (!ParseNumber(text, seconds) || seconds < 0 || seconds > 86400) return false;
  value = std::chrono::milliseconds(static_cast<long long>(seconds * 1000 + 0.5));
  return true;
}

// Time to connect the tool before the unit announces its download.
constexpr std::chrono::milliseconds kSelfDownloadAfter{5000};

}  // namespace

std::string UsageText() {
  return R"(Usage: qirel-sim [options]

Plays a Qirel field unit on a pseudo-terminal, linked as ~/.qirel/ports/COM<n>
so the configuration tool can connect to it as COM<n>. It prints its trace,
answers Modbus requests and takes firmware downloads, keeping the image it
received. Ends on Ctrl-C or SIGTERM.

Link:
  --com N                 COM port number to link (default 1; 0: no link)
  --no-pace               send at once instead of at the pace of a 19200-baud line
  --baud N                pace of the line (default 19200)
  --pace-input            take the tool's bytes in at the pace of the line too
                          (a byte is there only after its time on the wire)
  --remote STATION        play a remote unit: requests carry the station number
                          in front and replies go out raw
Identity:
  --project P             firmware project number, 0-255 (default 17; 35 keeps
                          serial port 2 at register 20000)
  --hardware H            hardware number, 0-255 (default 3)
  --build B               build number, 0-65535 (default 412)
  --imei TEXT             modem IMEI (at most 20 characters)
  --imsi TEXT             SIM IMSI (at most 20 characters)
  --modem TEXT            modem type (at most 20 characters)
  --date TEXT             firmware date (at most 20 characters)
Behaviour:
  --telemetry-period S    seconds between telemetry frames (default 5; 0: none)
  --flood                 flood the link with trace lines
  --slow-analog           analog values wander over hours, now and then one
                          jumps for a second (a day on the trend page)
  --seed N                seed of the drifting values
Faults (K: every K-th one; 1: all of them):
  --bad-crc K             replies with a wrong CRC
  --bad-telemetry-crc K   telemetry frames with a wrong CRC
  --drop K                replies not sent
  --truncate K            replies cut in half
  --garbage S             a burst of random bytes every S seconds
  --silence A:N           A seconds after start, say nothing for N seconds
  --ignore-writes REG     acknowledge writes that carry register REG, store nothing
  --flip-bit REG          store writes that carry register REG with its lowest
                          bit changed
  --reply-delay S         send every reply S seconds late
  --answer N              answer the first N requests, then none
Firmware download (chunks count from 0):
  --self-download [S]     announce a download by itself S seconds after start
                          (default 5): a "Download Init" line, then the First
                          Report
  --download-fail N       print "DownLoad FAIL" instead of asking for chunk N
  --download-stall N      stop asking at chunk N (silent for 30 s, then back
                          to the normal trace)
  --bad-first-report K    the first K First Reports with a wrong checksum
  --bad-chunk-request N   the first request for chunk N with a wrong checksum
  --stray-byte N          a 0x00 byte in front of the first request for chunk N
  --help                  show this text
)";
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  UnitOptions& o = line.options;
  o.seed = std::random_device{}();
  const auto fail = [&](const std::string& message) {
    line.error = message;
    return line;
  };

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--help" || name == "-h") {
      line.help = true;
      continue;
    }
    if (name == "--no-pace") {
      o.bytesPerSecond = 0;
      continue;
    }
    if (name == "--pace-input") {
      o.paceInput = true;
      continue;
    }
    if (name == "--flood") {
      o.flood = true;
      continue;
    }
    if (name == "--slow-analog") {
      o.slowAnalog = true;
      continue;
    }
    if (name == "--self-download") {
      std::chrono::milliseconds after = kSelfDownloadAfter;
      if (i + 1 < arguments.size() && !arguments[i + 1].starts_with("-") &&
          !ParseSeconds(arguments[++i], after))
        return fail("bad value for " + name + ": " + arguments[i]);
      o.selfDownloadAfter = after;
      continue;
    }
    if (i + 1 >= arguments.size()) return fail("unknown option or missing value: " + name);
    const std::string& value = arguments[++i];
    const auto bad = [&] { return fail("bad value for " + name + ": " + value); };
    const auto integer = [&](int low, int high, int& target) {
      int number = 0;
      if (!ParseNumber(value, number) || number < low || number > high) return false;
      target = number;
      return true;
    };
    const auto text = [&](std::string& target) {
      if (value.size() > 20) return false;
      target = value;
      return true;
    };
    const auto chunk = [&](std::optional<int>& target) {
      int number = 0;
      if (!integer(0, 65535, number)) return false;
      target = number;
      return true;
    };
    const auto every = [&](Fault fault) {
      return integer(1, 1000000, o.faults[static_cast<std::size_t>(fault)].every);
    };

    bool ok = true;
    if (name == "--com") {
      ok = integer(0, 255, o.com);
    } else if (name == "--baud") {
      int baud = 0;
      ok = integer(300, 4000000, baud);
      o.bytesPerSecond = baud / 10;
    } else if (name == "--remote") {
      int station = 0;
      ok = integer(0, 65535, station);
      o.remoteStation = static_cast<std::uint16_t>(station);
    } else if (name == "--project") {
      ok = integer(0, 255, o.identity.project);
    } else if (name == "--hardware") {
      ok = integer(0, 255, o.identity.hardware);
    } else if (name == "--build") {
      ok = integer(0, 65535, o.identity.build);
    } else if (name == "--imei") {
      ok = text(o.identity.imei);
    } else if (name == "--imsi") {
      ok = text(o.identity.imsi);
    } else if (name == "--modem") {
      ok = text(o.identity.modem);
    } else if (name == "--date") {
      ok = text(o.identity.date);
    } else if (name == "--telemetry-period") {
      ok = ParseSeconds(value, o.telemetryPeriod);
    } else if (name == "--seed") {
      ok = ParseNumber(value, o.seed);
    } else if (name == "--bad-crc") {
      ok = every(Fault::ReplyCrc);
    } else if (name == "--bad-telemetry-crc") {
      ok = every(Fault::TelemetryCrc);
    } else if (name == "--drop") {
      ok = every(Fault::DropReply);
    } else if (name == "--truncate") {
      ok = every(Fault::TruncateReply);
    } else if (name == "--garbage") {
      ok = ParseSeconds(value, o.garbageEvery) && o.garbageEvery.count() > 0;
    } else if (name == "--silence") {
      const std::size_t colon = value.find(':');
      std::chrono::milliseconds after{};
      ok = colon != std::string::npos && ParseSeconds(value.substr(0, colon), after) &&
           ParseSeconds(value.substr(colon + 1), o.silenceFor);
      o.silenceAfter = after;
    } else if (name == "--ignore-writes" || name == "--flip-bit") {
      int address = 0;
      ok = integer(0, 65535, address);
      (name == "--flip-bit" ? o.store.flipBitAt : o.store.ignoreWritesAt) =
          static_cast<std::uint16_t>(address);
    } else if (name == "--reply-delay") {
      ok = ParseSeconds(value, o.store.replyDelay);
    } else if (name == "--answer") {
      int count = 0;
      ok = integer(0, 1000000, count);
      o.store.answerRequests = static_cast<unsigned>(count);
    } else if (name == "--download-fail") {
      ok = chunk(o.download.failAt);
    } else if (name == "--download-stall") {
      ok = chunk(o.download.stallAt);
    } else if (name == "--bad-first-report") {
      ok = integer(1, 1000000, o.download.badFirstReports);
    } else if (name == "--bad-chunk-request") {
      ok = chunk(o.download.badRequestAt);
    } else if (name == "--stray-byte") {
      ok = chunk(o.download.strayByteAt);
    } else {
      return fail("unknown option: " + name);
    }
    if (!ok) return bad();
  }
  return line;
}

}  // namespace sim
