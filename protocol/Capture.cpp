#include "protocol/Capture.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <algorithm>
#include <charconv>
#include <limits>

namespace {
constexpr std::size_t kMaxTake = 511;    // what the inbox can hold
constexpr std::size_t kMaxSent = 65536;  // longer than any frame the tool sends
constexpr std::uint64_t kMaxMs = 1ull << 53;
// The longest record line: a sent frame of kMaxSent bytes and its time.
constexpr qint64 kMaxLine = qint64(kMaxSent) * 3 + 32;

template <class T>
bool ReadNumber(std::string_view text, T& value) {
  if (text.empty() || (text.size() > 1 && text[0] == '0')) return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "01 03 4E" -> bytes; nullopt for anything else, or too many.
std::optional<ByteVector> ReadHex(std::string_view text, std::size_t limit) {
  if (text.size() % 3 != 2 || (text.size() + 1) / 3 > limit) return std::nullopt;
  ByteVector bytes;
  bytes.reserve((text.size() + 1) / 3);
  for (std::size_t at = 0; at < text.size(); at += 3) {
    const int high = HexDigit(text[at]);
    const int low = HexDigit(text[at + 1]);
    if (high < 0 || low < 0 || (at + 2 < text.size() && text[at + 2] != ' ')) return std::nullopt;
    bytes.push_back(std::uint8_t(high << 4 | low));
  }
  return bytes;
}

// One record line; an error text when it does not read.
std::optional<std::string> ReadRecord(std::string_view line, CaptureRecord& record) {
  const std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos || !ReadNumber(line.substr(0, blank), record.ms) ||
      record.ms > kMaxMs)
    return "hora no válida";
  const std::string_view rest = line.substr(blank + 1);
  if (rest == "A") {
    record.kind = CaptureKind::Dispatched;
    return std::nullopt;
  }
  if (rest.size() < 3 || rest[1] != ' ') return "registro incompleto";
  const std::string_view payload = rest.substr(2);
  switch (rest[0]) {
    case 'R':
    case 'D':
    case 'T': {
      record.kind = CaptureKind(rest[0]);
      const auto bytes = ReadHex(payload, record.kind == CaptureKind::Sent ? kMaxSent : kMaxTake);
      if (!bytes) return "bytes no válidos";
      record.bytes = *bytes;
      return std::nullopt;
    }
    case 'P': {
      record.kind = CaptureKind::Pending;
      const std::size_t space = payload.find(' ');
      std::string_view number = payload.substr(0, space);
      const bool negative = !number.empty() && number[0] == '-';
      if (negative) number.remove_prefix(1);
      std::uint32_t magnitude = 0;
      if (space == std::string_view::npos || !ReadNumber(number, magnitude) ||
          magnitude > (negative ? 0x80000000u : 0x7FFFFFFFu))
        return "pedido no válido";
      record.request = negative ? std::int32_t(-std::int64_t(magnitude)) : std::int32_t(magnitude);
      const std::string_view mode = payload.substr(space + 1);
      if (mode != "L" && mode != "R") return "modo no válido";
      record.remote = mode == "R";
      return std::nullopt;
    }
    case 'F': {
      record.kind = CaptureKind::Filters;
      if (payload.size() != 3 || payload[1] != ' ' || (payload[0] != '0' && payload[0] != '1') ||
          (payload[2] != '0' && payload[2] != '1'))
        return "filtros no válidos";
      record.serial = payload[0] == '1';
      record.iec101 = payload[2] == '1';
      return std::nullopt;
    }
    default:
      return "tipo de registro desconocido";
  }
}

}  // namespace

std::string HexText(ByteSpan bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (std::uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}
std::string CaptureHeader(std::int64_t startMs) {
  return std::string(kCaptureMagic) + ' ' + std::to_string(startMs);
}

std::string FormatRecord(const CaptureRecord& record) {
  std::string line = std::to_string(record.ms) + ' ' + char(record.kind);
  if (record.kind == CaptureKind::Dispatched) return line;
  line += ' ';
  if (record.kind == CaptureKind::Pending)
    return line + std::to_string(record.request) + (record.remote ? " R" : " L");
  if (record.kind == CaptureKind::Filters)
    return line + (record.serial ? '1' : '0') + ' ' + (record.iec101 ? '1' : '0');
  return line + HexText(record.bytes);
}

CaptureReader::CaptureReader(QIODevice& device) : device_(device) {}

bool CaptureReader::Fail(std::string what) {
  errorLine_ = std::max(number_, 1);
  error_ = std::move(what);
  done_ = true;
  return false;
}

std::optional<CaptureRecord> CaptureReader::Next() {
  while (!done_) {
    const QByteArray read = device_.readLine(kMaxLine + 2);
    if (read.isEmpty()) {
      done_ = true;
      if (number_ == 0) Fail("archivo vacío");
      return std::nullopt;
    }
    ++number_;
    const bool whole = read.endsWith('\n');
    if (!whole && !device_.atEnd()) {
      Fail("línea demasiado larga");
      return std::nullopt;
    }
    std::string_view line(read.constData(), std::size_t(read.size()) - (whole ? 1 : 0));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (number_ == 1) {
      if (!line.starts_with(kCaptureMagic) || line.size() <= kCaptureMagic.size() ||
          line[kCaptureMagic.size()] != ' ' ||
          !ReadNumber(line.substr(kCaptureMagic.size() + 1), startMs_)) {
        Fail("no es un archivo de captura");
        return std::nullopt;
      }
      continue;
    }
    CaptureRecord record;
    if (const auto error = ReadRecord(line, record)) {
      done_ = true;
      if (whole) Fail(*error);  // else cut off by a crash while it was being written
      return std::nullopt;
    }
    if (record.ms < lastMs_) {
      Fail("hora anterior a la del registro previo");
      return std::nullopt;
    }
    lastMs_ = record.ms;
    return record;
  }
  return std::nullopt;
}

CaptureParse ParseCapture(std::string_view text) {
  QByteArray bytes = QByteArray::fromRawData(text.data(), qsizetype(text.size()));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  CaptureReader reader(buffer);
  Capture capture;
  while (auto record = reader.Next()) capture.records.push_back(std::move(*record));
  CaptureParse result;
  if (reader.Damaged()) {
    result.errorLine = reader.ErrorLine();
    result.error = reader.Error();
    return result;
  }
  capture.startMs = reader.StartMs();
  result.capture = std::move(capture);
  return result;
}

CaptureWriter::~CaptureWriter() { Close(); }

bool CaptureWriter::Open(const QString& path) {
  Close();
#if defined(_WIN32)
  // A narrow name is read in the ANSI code page there: "Añelo" or a user
  // folder in another script would not open.
  file_ = _wfopen(reinterpret_cast<const wchar_t*>(path.utf16()), L"wb");
#else
  file_ = std::fopen(QFile::encodeName(path).constData(), "wb");
#endif
  if (!file_) return false;
  intact_ = true;
  clock_.start();
  const std::string header = CaptureHeader(QDateTime::currentMSecsSinceEpoch()) + '\n';
  intact_ = std::fwrite(header.data(), 1, header.size(), file_) == header.size() &&
            std::fflush(file_) == 0;
  return true;
}

void CaptureWriter::Close() {
  if (!file_) return;
  if (std::fclose(file_) != 0) intact_ = false;
  file_ = nullptr;
}

void CaptureWriter::Bytes(CaptureKind kind, ByteSpan bytes) {
  CaptureRecord record;
  record.kind = kind;
  record.bytes.assign(bytes.begin(), bytes.end());
  Write(std::move(record));
}

void CaptureWriter::Pending(std::int32_t request, bool remote) {
  CaptureRecord record;
  record.kind = CaptureKind::Pending;
  record.request = request;
  record.remote = remote;
  Write(std::move(record));
}

void CaptureWriter::Dispatched() {
  CaptureRecord record;
  record.kind = CaptureKind::Dispatched;
  Write(std::move(record));
}

void CaptureWriter::Filters(bool serial, bool iec101) {
  CaptureRecord record;
  record.kind = CaptureKind::Filters;
  record.serial = serial;
  record.iec101 = iec101;
  Write(std::move(record));
}

void CaptureWriter::Write(CaptureRecord record) {
  if (!file_) return;
  if (record.bytes.size() > (record.kind == CaptureKind::Sent ? kMaxSent : kMaxTake)) {
    intact_ = false;  // a record no replay would read
    return;
  }
  record.ms = std::uint64_t(clock_.elapsed());
  const std::string line = FormatRecord(record) + '\n';
  // Flushed record by record: a crash keeps everything written before it.
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0)
    intact_ = false;
}
