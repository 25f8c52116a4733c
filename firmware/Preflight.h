// What a HEX file holds before it goes to a unit: the addresses its data
// records cover, the places where the conversion (which ignores addresses)
// joined data that do not follow each other, the sizes, and how long the
// download will take on the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/Firmware.h"

// [first, end): end is one past the last address.
struct AddressRange {
  std::uint64_t first = 0;
  std::uint64_t end = 0;
};

struct HexPreflight {
  std::vector<AddressRange> ranges;   // covered addresses, ascending, merged
  std::vector<std::string> warnings;  // "ATENCION: ..." lines, in file order
  std::size_t dataBytes = 0;
  int dataRecords = 0;   // data records of the HEX file
  int imageRecords = 0;  // records of the image, the repeat and the end record included
  std::size_t imageBytes = 0;
  double downloadSeconds = 0;  // expected at 19200 baud
  bool Warned() const { return !warnings.empty(); }
};

// The analysis of a HEX text as the conversion reads it (the same lines,
// extended address records 02 and 04 applied to the data records after them).
HexPreflight AnalyseHex(ByteSpan text);

// Every byte a local download session puts on the line, each way, for an
// image of `imageRecords` records; and the messages of the unit the tool answers.
struct DownloadTraffic {
  std::size_t toolBytes = 0;
  std::size_t unitBytes = 0;
  int answers = 0;
};
DownloadTraffic SessionTraffic(int imageRecords);
constexpr double kLineBytesPerSecond = 1920;  // 19200 baud, 10 bits a byte
// Wire time of both directions plus the tool's reaction to each unit message.
double ExpectedDownloadSeconds(int imageRecords);

// "1:05", "1:02:03"; whole seconds, rounded up.
std::string Duration(double seconds);
// Text lines for the download log and for the summary panel.
std::vector<std::string> PreflightLog(const HexPreflight& report);
std::string PreflightSummary(const HexPreflight& report);

// The check of the image converted last, kept for the start of its download.
class PreflightCheck {
 public:
  void Checked(HexPreflight report, std::string imagePath) {
    report_ = std::move(report);
    imagePath_ = std::move(imagePath);
  }
  void Clear() { *this = {}; }
  // The image at `imagePath` is the one checked, and it had warnings.
  bool Warns(const std::string& imagePath) const {
    return report_.Warned() && !imagePath_.empty() && imagePath == imagePath_;
  }

 private:
  HexPreflight report_;
  std::string imagePath_;
};
