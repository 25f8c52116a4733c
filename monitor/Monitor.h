// Live monitoring: the unit's 8-bit text, trace-line parsing and telemetry.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The unit's text is Windows-1252; 0x80-0x9F included.
QString FromCp1252(std::string_view bytes);
std::string ToCp1252(const QString& text);

// Debug log file: on/off and the chosen path.
extern std::uint8_t loggingOn;
extern std::string logFileName;
// Appends one line to the log file, ending it with CR LF; silent on failure.
void WriteLogLine(std::string_view line);

// "SEÑAL" in the unit's bytes.
inline constexpr std::string_view kSignalMarker = "SE\xD1" "AL";
// The signal line rewritten to end in "db"; returns the label text's value
// ("-71db"). The line is cut at the first blank after the value.
std::optional<std::string> RewriteSignalLine(std::string& line);

// Up to `count` on/off fields, each the character after the next "-" from `from`.
// Returns how many fields were found; states[i] is true for "1".
int ReadFlagFields(std::string_view line, std::size_t from, int count, bool* states);

// An "ADC" line: up to five "[" groups of up to four "-" values.
struct AdcReading {
  std::array<std::optional<long>, 4> raw;     // group 0: mA or mV
  std::array<std::optional<long>, 4> value;   // group 1: engineering value
  std::array<int, 4> alarmSum{};              // groups 2-4 add their number when flagged
};
AdcReading ReadAdcLine(std::string_view line, std::size_t from);

// Alarm label for a sum, or nullopt where the display stays as it was.
// Inputs 5-8 ("ADC 2") leave a sum of 5 unchanged.
std::optional<const char*> AlarmCaption(int sum, bool secondGroup);

// The signal level in dB from the label's value ("-71db"); nothing without digits.
std::optional<long> SignalDb(std::string_view value);

// The alarm state an "alarma" label shows.
enum class TrendAlarm : std::uint8_t;
TrendAlarm TrendAlarmShown(const QString& caption);

// Which console a line goes to.
struct Route {
  bool memo1 = false;
  bool memo2 = false;
};
Route RouteTraceLine(std::string_view line, bool iec101, bool serie);

// Telemetry frame fields the window shows.
struct Telemetry {
  std::uint8_t gsm = 0;
  std::uint8_t dataTechnology = 0;
  std::uint16_t supplyMillivolts = 0;
  std::uint8_t internet = 0;  // low four bits
  std::uint8_t server = 0;    // low four bits
};
inline constexpr std::size_t kTelemetryLength = 81;
// nullopt for a frame of another length; `crcOk` false for a bad CRC.
std::optional<Telemetry> ParseTelemetry(std::span<const std::uint8_t> frame, bool& crcOk);
std::string SupplyText(std::uint16_t millivolts);  // "12,345V"
// A whole, undamaged telemetry frame (81 bytes, 01 03 4C, good CRC).
bool IsTelemetryFrame(std::span<const std::uint8_t> frame);
// Caption of the data technology code, or nullopt where the panel stays as it was.
std::optional<const char*> DataTechnologyCaption(std::uint8_t code);

// Firmware project names by project number; row 0 is empty, 35 has none.
inline constexpr int kProjectNameCount = 35;
extern const char* const projectNames[kProjectNameCount];
// The name of a project, or its number in decimal where the table has no row.
QString ProjectName(int project);

// The identification block, registers 1000-1044.
struct HardwareId {
  std::string date;       // UTF-8
  int hardware = 0;
  int project = 0;
  int build = 0;
  std::string modemType;  // single-byte text
  std::string imei;
  std::string imsi;
};
HardwareId UnpackHardwareId(std::span<const std::uint8_t> payload);

// The clock registers 30000-30003 for a moment in UTC.
std::array<std::uint8_t, 8> ClockBytes(std::int64_t secondsSince1970);
