// Session capture files of any content. A file that reads must hold only
// records a replay can feed (takes the inbox could hold, times in order) and
// write back to the same records; a refused one names a line it has.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "protocol/Capture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const CaptureParse parsed = ParseCapture(text);
  if (!parsed.capture) {
    const auto lines = std::count(text.begin(), text.end(), '\n') + 1;
    if (parsed.errorLine < 1 || parsed.errorLine > lines || parsed.error.empty()) std::abort();
    return 0;
  }
  std::string again = CaptureHeader(parsed.capture->startMs) + '\n';
  std::uint64_t last = 0;
  for (const CaptureRecord& record : parsed.capture->records) {
    if (record.ms < last) std::abort();
    last = record.ms;
    if (record.kind == CaptureKind::Pending || record.kind == CaptureKind::Dispatched ||
        record.kind == CaptureKind::Filters) {
      if (!record.bytes.empty()) std::abort();
    } else if (record.bytes.empty() ||
               (record.kind != CaptureKind::Sent && record.bytes.size() > 511)) {
      std::abort();
    }
    again += FormatRecord(record) + '\n';
  }
  const CaptureParse reread = ParseCapture(again);
  if (!reread.capture || reread.capture->records.size() != parsed.capture->records.size())
    std::abort();
  for (std::size_t i = 0; i < reread.capture->records.size(); ++i) {
    const CaptureRecord& a = parsed.capture->records[i];
    const CaptureRecord& b = reread.capture->records[i];
    if (a.ms != b.ms || a.kind != b.kind || a.bytes != b.bytes || a.request != b.request ||
        a.remote != b.remote || a.serial != b.serial || a.iec101 != b.iec101)
      std::abort();
  }
  return 0;
}
