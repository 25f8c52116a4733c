#include "firmware/Preflight.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <map>

namespace {

constexpr std::uint8_t kDataRecord = 0x00;
constexpr std::uint8_t kSegmentRecord = 0x02;  // address bits 4-19
constexpr std::uint8_t kLinearRecord = 0x04;   // address bits 16-31
constexpr std::size_t kRecordFrame = 5;        // count, address, type, checksum
constexpr std::size_t kMaxWarnings = 20;       // a scattered file must not flood the log
constexpr std::size_t kSummaryRanges = 3;

// The tool answers a unit message once its reader has passed it on: half a
// reader pass on average, and the work of the answer.
constexpr double kToolReactionSeconds = 0.014;

std::string Format(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

std::string RangeText(const AddressRange& range) {
  return Format("0x%08" PRIX64 "-0x%08" PRIX64, range.first, range.end - 1);
}

// Addresses taken so far, merged where they touch.
class Covered {
 public:
  // Adds the range; returns the part of it that was already covered, as its
  // lowest and highest overlapping address and the overlapping byte count.
  struct Overlap {
    std::uint64_t bytes = 0;
    AddressRange span;
  };
  Overlap Add(AddressRange range) {
    Overlap overlap;
    auto it = ranges_.upper_bound(range.first);
    if (it != ranges_.begin() && std::prev(it)->second >= range.first) --it;
    AddressRange merged = range;
    while (it != ranges_.end() && it->first <= range.end) {
      const std::uint64_t from = std::max(range.first, it->first);
      const std::uint64_t to = std::min(range.end, it->second);
      if (to > from) {
        if (overlap.bytes == 0) overlap.span.first = from;
        overlap.span.end = to;
        overlap.bytes += to - from;
      }
      merged.first = std::min(merged.first, it->first);
      merged.end = std::max(merged.end, it->second);
      it = ranges_.erase(it);
    }
    ranges_.emplace(merged.first, merged.end);
    return overlap;
  }
  std::vector<AddressRange> All() const {
    std::vector<AddressRange> all;
    for (const auto& [first, end] : ranges_) all.push_back({first, end});
    return all;
  }

 private:
  std::map<std::uint64_t, std::uint64_t> ranges_;
};

// What joining `next` behind `previous` does to the image, in file order.
std::string Discontinuity(const AddressRange& previous, const AddressRange& next,
                          const Covered::Overlap& overlap) {
  if (overlap.bytes > 0)
    return Format("ATENCION: %s repite %" PRIu64
                  " bytes ya cargados en %s: la imagen los lleva dos veces",
                  RangeText(next).c_str(), overlap.bytes, RangeText(overlap.span).c_str());
  if (next.first > previous.end)
    return Format("ATENCION: hueco de %" PRIu64 " bytes entre %s y %s: la imagen los junta",
                  next.first - previous.end, RangeText(previous).c_str(), RangeText(next).c_str());
  return Format(
      "ATENCION: %s va antes que %s en memoria y despues en el archivo: la imagen los junta "
      "en el orden del archivo",
      RangeText(next).c_str(), RangeText(previous).c_str());
}

}  // namespace

HexPreflight AnalyseHex(ByteSpan text) {
  HexPreflight report;
  std::vector<AddressRange> runs;  // contiguous data, in file order
  std::uint64_t base = 0;
  ForEachHexLine(text, [&](const HexLine& line) {
    const std::size_t n = line.bytes.size();
    if (n < kRecordFrame) return;
    const std::uint8_t type = line.bytes[3];
    if ((type == kSegmentRecord || type == kLinearRecord) && n == kRecordFrame + 2) {
      const std::uint64_t value = std::uint64_t(line.bytes[4] << 8 | line.bytes[5]);
      base = type == kSegmentRecord ? value << 4 : value << 16;
    }
    if (type != kDataRecord || n == kRecordFrame) return;
    const std::size_t size = n - kRecordFrame;
    const std::uint64_t first = base + std::uint64_t(line.bytes[1] << 8 | line.bytes[2]);
    ++report.dataRecords;
    report.dataBytes += size;
    if (!runs.empty() && runs.back().end == first)
      runs.back().end += size;
    else
      runs.push_back({first, first + size});
  });

  Covered covered;
  std::size_t unreported = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const Covered::Overlap overlap = covered.Add(runs[i]);
    if (i == 0) continue;
    if (report.warnings.size() < kMaxWarnings)
      report.warnings.push_back(Discontinuity(runs[i - 1], runs[i], overlap));
    else
      ++unreported;
  }
  if (unreported > 0)
    report.warnings.push_back(Format("ATENCION: y %zu saltos de direccion mas", unreported));
  report.ranges = covered.All();

  if (report.dataBytes > 0) {
    report.imageRecords = int((report.dataBytes + kChunkSize - 1) / kChunkSize) + 2;
    report.imageBytes = ImageSize(report.imageRecords);
    report.downloadSeconds = ExpectedDownloadSeconds(report.imageRecords);
  }
  return report;
}

DownloadTraffic SessionTraffic(int imageRecords) {
  // Start command, accept, a chunk for every record but the end record and
  // the last-chunk answer to it; the unit: First Report, one request per
  // record, final packet.
  DownloadTraffic traffic;
  const auto records = std::size_t(std::max(imageRecords, 1));
  traffic.toolBytes =
      kStartCommandSize + kAcceptSize + (records - 1) * kChunkDataSize + kLastChunkSize;
  traffic.unitBytes = kFirstReportSize + records * kChunkRequestSize + kFinalPacketSize;
  traffic.answers = int(records) + 1;
  return traffic;
}

double ExpectedDownloadSeconds(int imageRecords) {
  const DownloadTraffic traffic = SessionTraffic(imageRecords);
  return double(traffic.toolBytes + traffic.unitBytes) / kLineBytesPerSecond +
         traffic.answers * kToolReactionSeconds;
}

std::string Duration(double seconds) {
  const auto whole = static_cast<long long>(std::ceil(std::max(seconds, 0.0) - 1e-9));
  if (whole >= 3600) return Format("%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  return Format("%lld:%02lld", whole / 60, whole % 60);
}

std::vector<std::string> PreflightLog(const HexPreflight& report) {
  std::vector<std::string> lines;
  for (const AddressRange& range : report.ranges)
    lines.push_back(
        Format("Rango %s (%" PRIu64 " bytes)", RangeText(range).c_str(), range.end - range.first));
  lines.insert(lines.end(), report.warnings.begin(), report.warnings.end());
  lines.push_back(
      Format("Datos: %zu bytes en %d registros HEX", report.dataBytes, report.dataRecords));
  lines.push_back(
      Format("Imagen: %d registros, %zu bytes", report.imageRecords, report.imageBytes));
  lines.push_back("Tiempo estimado de descarga a 19200 baudios: " +
                  Duration(report.downloadSeconds));
  return lines;
}

std::string PreflightSummary(const HexPreflight& report) {
  std::string text;
  for (std::size_t i = 0; i < std::min(report.ranges.size(), kSummaryRanges); ++i)
    text += RangeText(report.ranges[i]) + "\n";
  if (report.ranges.size() > kSummaryRanges)
    text += Format("y %zu rangos mas\n", report.ranges.size() - kSummaryRanges);
  if (report.Warned())
    text += Format("ATENCION: %zu saltos de direccion\n", report.warnings.size());
  text += Format("Datos: %zu bytes, %d registros\n", report.dataBytes, report.dataRecords);
  text += Format("Imagen: %d registros, %zu bytes\n", report.imageRecords, report.imageBytes);
  text += "Descarga: " + Duration(report.downloadSeconds) + " a 19200 baudios";
  return text;
}
