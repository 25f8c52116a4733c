// The HEX-to-image conversion and the check of the file over any text. The
// first four bytes give the identity the file name would; an image that comes
// out must be one the download session accepts, record for record, and the
// check must describe that same image.
#include <cstdlib>
#include <string_view>

#include "firmware/Firmware.h"
#include "firmware/Preflight.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzReader in(data, size);
  ImageIdentity identity;
  identity.hardware = in.Byte();
  identity.project = in.Byte();
  identity.build = in.Word();
  const auto text = in.Rest();
  DecodeHexName(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));

  const HexConversion conversion = ConvertHex(text, identity);
  const HexPreflight report = AnalyseHex(text);
  std::uint64_t covered = 0;
  for (std::size_t i = 0; i < report.ranges.size(); ++i) {
    const AddressRange& range = report.ranges[i];
    if (range.end <= range.first) std::abort();
    if (i > 0 && range.first <= report.ranges[i - 1].end) std::abort();  // merged, ascending
    covered += range.end - range.first;
  }
  if (covered > report.dataBytes) std::abort();
  for (const std::string& warning : report.warnings)
    if (!warning.starts_with("ATENCION: ")) std::abort();
  PreflightLog(report);
  PreflightSummary(report);
  if (!conversion.error.empty()) {
    if (!conversion.image.empty()) std::abort();  // a refused file leaves no image
    return 0;
  }
  const ImageHeader header = ReadImageHeader(ByteSpan(conversion.image).first(kImageHeaderSize));
  if (header.hardware != identity.hardware || header.project != identity.project ||
      header.build != identity.build || header.chunkCount != conversion.recordCount)
    std::abort();
  if (!ImageHeaderUsable(header, conversion.image.size())) std::abort();
  if (conversion.image.size() !=
      RecordOffset(header.chunkCount - 1, header.chunkSize) + kEndRecordSize)
    std::abort();
  if (report.imageRecords != conversion.recordCount || report.imageBytes != conversion.image.size())
    std::abort();
  return 0;
}
