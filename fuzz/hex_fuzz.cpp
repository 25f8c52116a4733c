// The HEX-to-image conversion over any text. The first four bytes give the
// identity the file name would; an image that comes out must be one the
// download session accepts, record for record.
#include <cstdlib>
#include <string_view>

#include "firmware/Firmware.h"
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
  return 0;
}
