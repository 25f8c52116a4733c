// The firmware download session: one global object, created before the window.
// It answers the unit's messages from the image file; the replies are built in
// the received bytes, and the handlers of the session control send them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "firmware/Firmware.h"

class QFile;
class QString;

// Outcome of one step, as the download log shows it ("remove: ").
enum class ProcessResult : std::uint8_t {
  Nothing = 0,        // nothing usable yet; the bytes may still grow into a message
  Message11 = 11,     // an 11-byte message was examined
  ChunkRequest = 13,  // a chunk request was examined
  FirstReport = 24,   // a First Report was examined
  Finished = 255,     // final packet: the session has stopped
};

enum class ChunkAnswer {
  Refused = 0,     // damaged or foreign request: no reply
  Chunk = 1,       // chunk data
  LastChunk = 2,   // the last chunk; the unit sends its final packet next
  Unreadable = 3,  // the image record could not be read: no reply
};

class DownLoad {
 public:
  static constexpr std::uint8_t kWaitFirstReport = 0;
  static constexpr std::uint8_t kServing = 1;
  static constexpr std::uint8_t kWaitFinal = 2;

  DownLoad();
  ~DownLoad();
  DownLoad(const DownLoad&) = delete;
  DownLoad& operator=(const DownLoad&) = delete;

  // A session starts: the port belongs to the download receiver.
  void Start();
  // Every end of a session comes here; it closes the image.
  void Stop();
  bool IsActive() const { return active; }
  void SetFileName(const std::string& path) { fileName = path; }
  void ClearCount() { chunkCount = 0; }
  void IncCount() { ++chunkCount; }
  int GetCount() const { return chunkCount; }

  // Opens the image and reads its header; refuses files not of the image layout.
  bool Open(std::string& startCommand);
  void Close();
  bool HasImage() const;

  // One step over the `count` received bytes at the start of `buffer`. A reply
  // is built inside the buffer: replyLength bytes from replyAt.
  ProcessResult Process(std::span<std::uint8_t> buffer, std::size_t count, std::size_t& replyLength,
                        std::size_t& replyAt);
  // Shows the unit's identity and compares it with the image, asking where they differ.
  bool CheckFirstReport(ByteSpan report);
  void BuildAccept(std::uint8_t* buffer, std::size_t& length) const;
  void BuildReject(std::uint8_t* buffer, std::size_t& length) const;
  // Answers the request at `at` in place.
  ChunkAnswer AnswerChunkRequest(std::span<std::uint8_t> buffer, std::size_t at,
                                 std::size_t& replyLength);
  bool CheckFinalPacket(ByteSpan bytes);

  std::uint8_t state = kWaitFirstReport;
  bool active = false;
  bool finished = false;  // the last session ended with the unit's final packet
  std::string fileName;
  std::unique_ptr<QFile> imageFile;
  int hardware = 0;
  int project = 0;
  int build = 0;
  int chunkCount = 0;
  int chunkSize = 0;

 private:
  ImageHeader Header() const { return {hardware, project, build, chunkCount, chunkSize}; }
};

extern DownLoad downloadSession;

// The download receiver's state while a session runs.
extern std::uint8_t downloadRxBuffer[1024];  // received, not yet consumed; replies built here
extern std::uint32_t downloadRxCount;
extern std::uint32_t noDataTicks;  // ticks whose bytes were all trimmed away
extern std::uint32_t dataTicks;    // ticks whose bytes were kept

// Appends a line to the download log.
void DownloadLog(const QString& line);
