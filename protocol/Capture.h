// A session capture: every byte received from the port and every frame sent,
// each with its time, one record a line, so that a support engineer can
// replay what the technician saw. The format is described in docs/capture-format.md.
#pragma once

#include <QElapsedTimer>
#include <QString>

class QIODevice;
#include <memory>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Frames.h"

inline constexpr std::string_view kCaptureMagic = "QIREL-CAPTURE 1";

enum class CaptureKind : char {
  Received = 'R',    // bytes the receiver took from the port
  Download = 'D',    // bytes the download session took from the port
  Sent = 'T',        // bytes written to the port
  Pending = 'P',     // the request that now awaits its reply, and the mode
  Dispatched = 'A',  // the dispatcher took the reply handed over
  Filters = 'F',     // the debug page's console filters, at the start and on every change
};

struct CaptureRecord {
  std::uint64_t ms = 0;  // since the capture started
  CaptureKind kind = CaptureKind::Received;
  ByteVector bytes;          // R, D, T; none for A
  std::int32_t request = 0;  // P
  bool remote = false;       // P
  bool serial = true;        // F: "Trafico Serie"
  bool iec101 = false;       // F: "Debug IEC 101"
};

struct Capture {
  std::int64_t startMs = 0;  // wall clock at the start, ms since 1970 UTC
  std::vector<CaptureRecord> records;
};

struct CaptureParse {
  std::optional<Capture> capture;
  int errorLine = 0;  // 1-based line of the first damage
  std::string error;
};

// "01 03 4E": two uppercase digits a byte, one blank between.
std::string HexText(ByteSpan bytes);

// Header line and record lines, without their line end.
std::string CaptureHeader(std::int64_t startMs);
std::string FormatRecord(const CaptureRecord& record);
// Reads a capture a record at a time, so that a day's capture is never
// held whole; refuses it at the first damaged line. A last line without its
// line end that does not read is what a crash cut off, and is left out.
class CaptureReader {
 public:
  explicit CaptureReader(QIODevice& device);
  // The next record; nothing at the end or at damage.
  std::optional<CaptureRecord> Next();
  bool Damaged() const { return errorLine_ > 0; }
  int ErrorLine() const { return errorLine_; }  // 1-based
  const std::string& Error() const { return error_; }
  std::int64_t StartMs() const { return startMs_; }

 private:
  bool Fail(std::string what);
  QIODevice& device_;
  std::string line_;
  int number_ = 0;
  std::uint64_t lastMs_ = 0;
  std::int64_t startMs_ = 0;
  int errorLine_ = 0;
  std::string error_;
  bool done_ = false;
};

// The whole text at once, through the same reader.
CaptureParse ParseCapture(std::string_view text);

// Records as they happen; each record reaches the file before the next starts.
class CaptureWriter {
 public:
  ~CaptureWriter();
  bool Open(const QString& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  // False once a record could not be written whole.
  bool Intact() const { return intact_; }

  void Bytes(CaptureKind kind, ByteSpan bytes);
  void Pending(std::int32_t request, bool remote);
  void Dispatched();
  void Filters(bool serial, bool iec101);

 private:
  void Write(CaptureRecord record);
  std::FILE* file_ = nullptr;
  QElapsedTimer clock_;
  bool intact_ = true;
};
