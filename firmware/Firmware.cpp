#include "firmware/Firmware.h"

#include <algorithm>
#include <functional>

#include "monitor/Monitor.h"

namespace {

constexpr std::size_t kHexNameLength = 14;
constexpr std::size_t kMinRecordDigits = 10;  // count, address, type, checksum
constexpr std::uint8_t kDataRecord = 0x00;
constexpr int kMaxRecords = 0xFFFF;  // the header counts them in 16 bits
constexpr int kUnitNamedProjects = 32;

std::uint16_t BigEndian(ByteSpan bytes, std::size_t at) {
  return std::uint16_t(bytes[at] << 8 | bytes[at + 1]);
}

void PutBigEndian(std::uint8_t* out, int value) {
  out[0] = std::uint8_t(value >> 8);
  out[1] = std::uint8_t(value);
}

void PutLittleEndian(ByteVector& out, int value) {
  out.push_back(std::uint8_t(value));
  out.push_back(std::uint8_t(value >> 8));
}

// A field of the HEX name: decimal digits, not validated.
int DigitField(std::string_view name, std::size_t from, std::size_t digits) {
  int value = 0;
  for (std::size_t i = from; i < from + digits; ++i)
    value = value * 10 + (int(std::uint8_t(name[i])) - 48);
  return value;
}

void AppendRecord(ByteVector& image, int index, ByteSpan data) {
  PutLittleEndian(image, index);
  PutLittleEndian(image, int(data.size()));
  image.insert(image.end(), data.begin(), data.end());
  PutLittleEndian(image, kEndMarker);
}

std::string LineFault(HexLine::Fault fault, int line) {
  const std::string number = std::to_string(line);
  switch (fault) {
    case HexLine::Fault::TooLong:
      return "Linea " + number + " del archivo HEX demasiado larga (mas de 64 bytes)";
    case HexLine::Fault::Checksum:
      return "Checksum incorrecto en la linea " + number + " del archivo HEX";
    default:
      return "Linea " + number + " del archivo HEX no valida";
  }
}

}  // namespace

// ---- download image ------------------------------------------------------------------------

ImageHeader ReadImageHeader(ByteSpan header) {
  return {BigEndian(header, 0), BigEndian(header, 2), BigEndian(header, 4), BigEndian(header, 6),
          BigEndian(header, 8)};
}

std::uint64_t RecordOffset(int n, int chunkSize) {
  return kImageHeaderSize + std::uint64_t(n) * std::uint64_t(chunkSize + 6);
}

std::size_t ImageSize(int recordCount) {
  return kImageHeaderSize + std::size_t(std::max(recordCount - 1, 0)) * kRecordSize +
         kEndRecordSize;
}

bool ImageHeaderUsable(const ImageHeader& header, std::uint64_t fileSize) {
  // Fewer than two records would leave no chunk to serve before the end record.
  if (header.chunkCount < 2 || header.chunkSize != kChunkSize) return false;
  return fileSize >= RecordOffset(header.chunkCount - 1, header.chunkSize) + kEndRecordSize;
}

// ---- HEX file --------------------------------------------------------------------------------

std::optional<ImageIdentity> DecodeHexName(std::string_view path) {
  const std::size_t extension = path.find(".hex");
  if (extension == std::string_view::npos) return std::nullopt;
  const std::size_t separator = path.substr(0, extension).find_last_of("/\\");
  const std::size_t start = separator == std::string_view::npos ? 0 : separator + 1;
  const std::string_view name = path.substr(start, extension - start);
  if (name.size() < kHexNameLength) return std::nullopt;
  return ImageIdentity{std::uint8_t(DigitField(name, 3, 2)), std::uint8_t(DigitField(name, 6, 3)),
                       std::uint16_t(DigitField(name, 10, 4))};
}

int HexNibble(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

HexLine DecodeHexLine(std::string_view text) {
  HexLine line;
  std::size_t digits = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = std::uint8_t(text[i]);
    if (c == ':') {
      ++line.colons;
      // A record starts the line; a second one on the same line is not ours to guess at.
      if (i != 0) line.fault = HexLine::Fault::Invalid;
      continue;
    }
    const int value = HexNibble(c);
    if (value < 0) {
      line.fault = HexLine::Fault::Invalid;
      continue;
    }
    if (line.fault != HexLine::Fault::None) continue;
    if (digits == 2 * kHexLineBytes) {
      line.fault = HexLine::Fault::TooLong;
      continue;
    }
    if (digits % 2 == 0)
      line.bytes.push_back(std::uint8_t(value << 4));
    else
      line.bytes.back() = std::uint8_t(line.bytes.back() + value);
    ++digits;
  }
  if (line.fault != HexLine::Fault::None) return line;
  if (digits == 0) return line;  // an empty line, or a colon alone
  if (line.colons != 1 || digits % 2 != 0 || digits < kMinRecordDigits) {
    line.fault = HexLine::Fault::Invalid;
    return line;
  }
  if (ByteSum(line.bytes) % 256 != 0) line.fault = HexLine::Fault::Checksum;
  return line;
}

std::optional<HexLineFault> ForEachHexLine(ByteSpan text,
                                           const std::function<void(const HexLine&)>& take) {
  int lineNumber = 1;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::uint8_t c = text[i];
    if (c != '\r' && c != '\n') continue;
    const std::string_view segment(reinterpret_cast<const char*>(text.data()) + start, i - start);
    start = i + 1;
    const HexLine line = DecodeHexLine(segment);
    if (line.fault != HexLine::Fault::None) return HexLineFault{line.fault, lineNumber};
    // CR LF ends one line.
    if (c == '\n' || i + 1 == text.size() || text[i + 1] != '\n') ++lineNumber;
    take(line);
  }
  // A last line without its line end is not taken.
  return std::nullopt;
}

HexConversion ConvertHex(ByteSpan text, const ImageIdentity& identity) {
  HexConversion out;
  ByteVector data;
  int colonCount = 0;
  const auto fault = ForEachHexLine(text, [&](const HexLine& line) {
    colonCount += line.colons;
    const std::size_t n = line.bytes.size();
    if (n == 0) return;
    const std::uint8_t type = line.bytes[3];
    if (n == kMinRecordDigits / 2) {
      out.log.push_back("salto :" + std::to_string(colonCount) + "," + std::to_string(type));
    } else if (type != kDataRecord) {
      out.log.push_back("SAlto o algo asi");
    } else {
      data.insert(data.end(), line.bytes.begin() + 4, line.bytes.end() - 1);
    }
  });
  if (fault) {
    out.error = LineFault(fault->fault, fault->line);
    return out;
  }

  if (data.empty()) {
    out.error = "El archivo HEX no tiene registros de datos";
    return out;
  }
  const int dataRecords = int((data.size() + kChunkSize - 1) / kChunkSize);
  out.recordCount = dataRecords + 2;  // the repeat and the end record
  if (out.recordCount > kMaxRecords) {
    out.recordCount = 0;
    out.error = "Archivo HEX demasiado grande";
    return out;
  }
  data.resize(std::size_t(dataRecords) * kChunkSize, 0xFF);

  ByteVector& image = out.image;
  image.reserve(ImageSize(out.recordCount));
  image.resize(kImageHeaderSize);
  image[0] = 0;
  image[1] = identity.hardware;
  image[2] = 0;
  image[3] = identity.project;
  PutBigEndian(&image[4], identity.build);
  PutBigEndian(&image[6], out.recordCount);
  PutBigEndian(&image[8], kChunkSize);
  const ByteSpan all(data);
  for (int n = 0; n < dataRecords; ++n)
    AppendRecord(image, n, all.subspan(std::size_t(n) * kChunkSize, kChunkSize));
  // The unit is sent the last data record once more before the end record.
  AppendRecord(image, dataRecords, all.last(kChunkSize));
  AppendRecord(image, dataRecords + 1, {});
  return out;
}

// ---- download messages -------------------------------------------------------------------

std::uint32_t ByteSum(ByteSpan bytes) {
  std::uint32_t sum = 0;
  for (std::uint8_t b : bytes) sum += b;
  return sum;
}

std::uint16_t DownloadChecksum(ByteSpan bytes) { return std::uint16_t(ByteSum(bytes)); }

bool ChecksumMatches(ByteSpan message) {
  if (message.size() < 2) return false;
  return DownloadChecksum(message.first(message.size() - 2)) ==
         BigEndian(message, message.size() - 2);
}

void PutChecksum(std::span<std::uint8_t> message) {
  const std::size_t at = message.size() - 2;
  PutBigEndian(&message[at], DownloadChecksum(message.first(at)));
}

std::array<std::uint8_t, kStartCommandSize> StartCommand() {
  std::array<std::uint8_t, kStartCommandSize> command{};
  std::copy(kStartText.begin(), kStartText.end(), command.begin());
  return command;
}

std::array<std::uint8_t, kAcceptSize> AcceptMessage(const ImageHeader& image) {
  std::array<std::uint8_t, kAcceptSize> message{kReportMessage};
  PutBigEndian(&message[1], image.hardware);
  PutBigEndian(&message[3], image.project);
  PutBigEndian(&message[5], image.build);
  PutBigEndian(&message[7], image.chunkCount);
  PutBigEndian(&message[9], image.chunkSize);
  PutChecksum(message);
  return message;
}

std::array<std::uint8_t, kRejectSize> RejectMessage(const ImageHeader& image) {
  std::array<std::uint8_t, kRejectSize> message{kRejectMessage};
  PutBigEndian(&message[1], image.hardware);
  PutBigEndian(&message[3], image.project);
  PutBigEndian(&message[5], image.build);
  PutBigEndian(&message[7], image.chunkCount);
  PutChecksum(message);
  return message;
}

UnitReport ReadFirstReport(ByteSpan report) {
  UnitReport unit{BigEndian(report, 1), BigEndian(report, 3), BigEndian(report, 5), {}};
  const ByteSpan imei = report.subspan(7, 15);
  const auto end = std::find(imei.begin(), imei.end(), std::uint8_t(0));
  unit.imei.assign(imei.begin(), end);
  return unit;
}

ChunkRequest ReadChunkRequest(ByteSpan request) {
  return {BigEndian(request, 1), BigEndian(request, 3), BigEndian(request, 5),
          BigEndian(request, 7), BigEndian(request, 9)};
}

bool ChunkRequestValid(ByteSpan request, const ImageHeader& image) {
  if (request.size() < kChunkRequestSize) return false;
  request = request.first(kChunkRequestSize);
  if (!ChecksumMatches(request) || request[0] != kChunkMessage) return false;
  const ChunkRequest fields = ReadChunkRequest(request);
  return fields.hardware == image.hardware && fields.project == image.project &&
         fields.build == image.build && fields.chunkCount == image.chunkCount;
}

std::optional<std::size_t> FindChunkRequest(ByteSpan bytes) {
  if (bytes.size() == kChunkRequestSize) return 0;
  for (std::size_t k = 0; k + kChunkRequestSize <= bytes.size(); ++k)
    if (ChecksumMatches(bytes.subspan(k, kChunkRequestSize))) return k;
  return std::nullopt;
}

bool IsFinalPacket(ByteSpan packet) {
  return packet.size() >= kFinalPacketSize && packet[0] == kFinalMessage &&
         ChecksumMatches(packet.first(kFinalPacketSize));
}

bool ContainsText(ByteSpan bytes, std::string_view text) {
  const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t(0));
  const std::string_view received(reinterpret_cast<const char*>(bytes.data()),
                                  std::size_t(end - bytes.begin()));
  return received.find(text) != std::string_view::npos;
}

std::string ImageProjectText(int project) {
  if (project >= 0 && project < kProjectNameCount) return projectNames[project];
  return std::to_string(project);
}

std::string UnitProjectText(int project) {
  if (project >= 0 && project < kUnitNamedProjects) return projectNames[project];
  if (project >= kUnitNamedProjects && project < kProjectNameCount) return {};
  return std::to_string(project);
}
