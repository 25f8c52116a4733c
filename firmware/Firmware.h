// Byte-level pieces of the firmware download: the HEX-to-image conversion, the
// download image layout and the download messages with their checksum.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

using ByteSpan = std::span<const std::uint8_t>;
using ByteVector = std::vector<std::uint8_t>;

// ---- download image ------------------------------------------------------------------------
// Header: hardware, project, build, record count, chunk size; 16 bits each, big-endian.
// Records: index, data length (little-endian), data, end marker 0xABCD (little-endian).
constexpr std::size_t kImageHeaderSize = 10;
constexpr int kChunkSize = 256;
constexpr std::size_t kRecordHeadSize = 4;  // index and data length
constexpr std::size_t kRecordTailSize = 2;  // end marker
constexpr std::size_t kRecordSize = kRecordHeadSize + kChunkSize + kRecordTailSize;  // 262
constexpr std::size_t kEndRecordSize = kRecordHeadSize + kRecordTailSize;            // 6
constexpr std::uint16_t kEndMarker = 0xABCD;

// Where the image is meant to go, as the HEX file's name tells.
struct ImageIdentity {
  std::uint8_t hardware = 0;
  std::uint8_t project = 0;
  std::uint16_t build = 0;
};

// The header fields as the download session reads them back.
struct ImageHeader {
  int hardware = 0;
  int project = 0;
  int build = 0;
  int chunkCount = 0;
  int chunkSize = 0;
};
ImageHeader ReadImageHeader(ByteSpan header);  // the first 10 bytes
// The session serves only images of the layout above: at least the end
// record, 256-byte chunks, and a file long enough for every record.
bool ImageHeaderUsable(const ImageHeader& header, std::uint64_t fileSize);
// Length of an image of `recordCount` records (the end record included).
std::size_t ImageSize(int recordCount);
// Offset of record n in the image.
std::uint64_t RecordOffset(int n, int chunkSize);

// ---- HEX file --------------------------------------------------------------------------------
// The name before the first ".hex" of the path, after its last separator ('/'
// or '\'): positions 3-4 hardware, 6-8 project, 10-13 build, in decimal.
// nullopt without ".hex" or with fewer than 14 characters before it.
std::optional<ImageIdentity> DecodeHexName(std::string_view path);

// Value of a hex digit in either case, or -1.
int HexNibble(std::uint8_t c);

// One record line (the text between line ends) decoded into its bytes.
struct HexLine {
  enum class Fault { None, Invalid, TooLong, Checksum };
  Fault fault = Fault::None;
  int colons = 0;    // ':' characters on the line
  ByteVector bytes;  // byte count, address high, address low, type, data, checksum
};
constexpr std::size_t kHexLineBytes = 64;  // a line holds at most this many decoded bytes
HexLine DecodeHexLine(std::string_view line);

// Hands every line that ends with CR or LF to `take`, in order, until one does
// not decode: that one is returned with its number (CR LF ends one line).
struct HexLineFault {
  HexLine::Fault fault = HexLine::Fault::None;
  int line = 0;
};
std::optional<HexLineFault> ForEachHexLine(ByteSpan text,
                                           const std::function<void(const HexLine&)>& take);

// The conversion of a whole HEX text: the data bytes of all data records in
// file order, cut into 256-byte records, then a repeat of the last one and an
// end record. Record addresses are not used.
struct HexConversion {
  ByteVector image;              // empty when refused
  int recordCount = 0;           // records in the image, end record included
  std::vector<std::string> log;  // lines for the download log, in order
  std::string error;             // why the file was refused; empty when converted
};
HexConversion ConvertHex(ByteSpan text, const ImageIdentity& identity);

// ---- download messages -------------------------------------------------------------------
constexpr std::string_view kStartText = "Download Init";
constexpr std::size_t kStartCommandSize = 14;  // the text and a zero byte
constexpr std::size_t kFirstReportSize = 24;
constexpr std::size_t kAcceptSize = 13;
constexpr std::size_t kRejectSize = 11;
constexpr std::size_t kChunkRequestSize = 13;
constexpr std::size_t kChunkDataSize = 15 + kChunkSize;  // 271
constexpr std::size_t kLastChunkSize = 15;
constexpr std::size_t kFinalPacketSize = 11;

constexpr std::uint8_t kChunkMessage = 0x01;
constexpr std::uint8_t kReportMessage = 0x02;  // First Report and accept
constexpr std::uint8_t kFinalMessage = 0x03;
constexpr std::uint8_t kRejectMessage = 0x04;

// Sum of the bytes, not reduced.
std::uint32_t ByteSum(ByteSpan bytes);
// The messages' checksum: the byte sum kept to 16 bits.
std::uint16_t DownloadChecksum(ByteSpan bytes);
// The last two bytes hold the checksum of the ones before them (big-endian).
bool ChecksumMatches(ByteSpan message);
// Writes the checksum of all bytes but the last two into the last two.
void PutChecksum(std::span<std::uint8_t> message);

std::array<std::uint8_t, kStartCommandSize> StartCommand();
std::array<std::uint8_t, kAcceptSize> AcceptMessage(const ImageHeader& image);
std::array<std::uint8_t, kRejectSize> RejectMessage(const ImageHeader& image);

// What a First Report says about the unit.
struct UnitReport {
  int hardware = 0;
  int project = 0;
  int build = 0;
  std::string imei;  // the unit's 8-bit text, up to the first zero byte
};
UnitReport ReadFirstReport(ByteSpan report);  // 24 bytes

// Fields of a chunk request.
struct ChunkRequest {
  int hardware = 0;
  int project = 0;
  int build = 0;
  int chunk = 0;
  int chunkCount = 0;
};
ChunkRequest ReadChunkRequest(ByteSpan request);  // 13 bytes
// Checksum, message type and every identity field match the image.
bool ChunkRequestValid(ByteSpan request, const ImageHeader& image);

// Position of a chunk request in the received bytes: exactly 13 bytes are taken
// as one; otherwise the first 13-byte window whose checksum holds.
std::optional<std::size_t> FindChunkRequest(ByteSpan bytes);

// 0x03, eight bytes the tool does not read, checksum (11 bytes).
bool IsFinalPacket(ByteSpan packet);

// The text occurs in the bytes before their first zero byte.
bool ContainsText(ByteSpan bytes, std::string_view text);

// Project shown for an image: the table's name, or the number where it has no row.
std::string ImageProjectText(int project);
// Project shown for a unit: names for 0-31, nothing for 32-34, else the number.
std::string UnitProjectText(int project);
