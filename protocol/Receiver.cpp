// The 50 ms receiver tick: the unit's bytes become debug lines; a line carries
// either trace or an embedded frame, which is the pending request's reply or
// unsolicited telemetry.
#include <algorithm>
#include <cstring>

#include "app/Log.h"
#include "firmware/DownLoad.h"
#include "link/Link.h"
#include "monitor/Monitor.h"
#include "protocol/Protocol.h"

std::int32_t pendingRequest = 0;
std::int32_t replyType = 0;
std::int32_t replyLength = 0;
std::uint8_t replyBuffer[1024] = {};
std::uint64_t receivedByteCount = 0;
std::uint32_t handOverSerial = 0;
std::uint8_t lineBuffer[2048] = {};
std::int32_t lineLength = 0;
std::uint8_t remoteReply[1024] = {};
std::int32_t remoteReplyCount = 0;

void TForm1::ConnectProtocol() {
  On(Timer1, &QTimer::timeout, &TForm1::Timer1Timer);
  On(Timer2, &QTimer::timeout, &TForm1::Timer2Timer);
}

void TForm1::HandOverReply(const std::uint8_t* bytes, std::int32_t count, bool completes) {
  replyLength = count;
  if (count > 0) std::memcpy(replyBuffer, bytes, std::size_t(count));
  handOverSerial = requestSerial;
  if (!completes) return;
  replyType = pendingRequest;
  pendingRequest = 0;
}

void TForm1::Timer1Timer() {
  if (!IsConnected()) {
    ShowDisconnected();
    return;
  }
  if (downloadSession.IsActive()) return;
  ReceiveFrom(portSource);
}

void TForm1::ReceiveFrom(ByteSource& source) {
  std::uint8_t take[kTakeLimit];
  const std::int32_t taken = source.Take(take);
  if (taken == 0) {
    CheckSilence();
    // A quiet tick ends a raw reply whose length we could not know.
    if (remoteReplyCount > 0) {
      HandOverReply(remoteReply, remoteReplyCount, true);
      remoteReplyCount = 0;
    }
    return;
  }
  lastRxSecond = secondsTick;
  receivedByteCount += std::uint64_t(taken);
  // Every value in this take was taken now.
  takeMs = TrendTime();
  struct TakeDone {
    std::optional<std::int64_t>& ms;
    ~TakeDone() { ms.reset(); }
  } takeDone{takeMs};

  batchingConsoles = true;
  std::int32_t at = 0;
  bool go = true;
  if (IsRemote() && pendingRequest != 0) {
    // The connected unit's own text may come first: the raw reply starts at
    // the slave address, and what comes before it is still trace.
    if (remoteReplyCount == 0) {
      const auto start = std::find(take, take + taken, kSlave) - take;
      go = FeedLines(take, std::int32_t(start));
      at = std::int32_t(start);
    }
    if (go && at < taken && pendingRequest != 0) at += CollectRemoteReply(take + at, taken - at);
  }
  if (go) FeedLines(take + at, taken - at);
  batchingConsoles = false;
  FlushConsoles();
}

// Assembles lines; false when the rest of the tick's bytes must be dropped.
bool TForm1::FeedLines(const std::uint8_t* bytes, std::int32_t count) {
  for (std::int32_t i = 0; i < count; ++i) {
    const std::uint8_t b = bytes[i];
    if (b != '\r' && b != '\n') {
      lineBuffer[lineLength++] = b;
      lineBuffer[lineLength] = 0;
      if (lineLength < kMaxLine) continue;  // a line that never ends is ended here
    } else if (lineLength == 0) {
      continue;
    }
    const std::string line(reinterpret_cast<const char*>(lineBuffer), std::size_t(lineLength));
    std::memset(lineBuffer, 0, std::size_t(lineLength));
    lineLength = 0;
    if (!ProcessLine(line)) return false;
  }
  return true;
}

// Remote replies come raw, not in lines: gather them until the pending
// request's length is there (or the buffer is full; a quiet tick ends the
// rest). Returns how many bytes it took.
std::int32_t TForm1::CollectRemoteReply(const std::uint8_t* bytes, std::int32_t count) {
  const std::int32_t room = std::int32_t(sizeof remoteReply) - remoteReplyCount;
  const auto expected = ExpectedReplyLength(pendingRequest);
  std::int32_t wanted = std::min(count, room);
  if (expected && *expected > remoteReplyCount)
    wanted = std::min(wanted, *expected - remoteReplyCount);
  std::memcpy(remoteReply + remoteReplyCount, bytes, std::size_t(wanted));
  remoteReplyCount += wanted;
  const bool complete = (expected && remoteReplyCount >= *expected) ||
                        remoteReplyCount == std::int32_t(sizeof remoteReply);
  if (!complete) return count;
  HandOverReply(remoteReply, remoteReplyCount, true);
  remoteReplyCount = 0;
  return wanted;
}

// Returns false when the rest of the tick's bytes must be dropped.
bool TForm1::ProcessLine(const std::string& line) {
  if (line.find("Download Init") != std::string::npos) {
    UnitStartedDownload();
    return false;
  }
  if (loggingOn) WriteLogLine(line);
  const LineContent content = ExtractFrame(line);
  switch (content.kind) {
    case LineContent::Kind::Text:
      InterpretTraceLine(line);
      break;
    case LineContent::Kind::Dropped:
      break;
    case LineContent::Kind::Frame: {
      const auto n = std::int32_t(content.frame.size());
      // Telemetry the unit was already sending when a request went out is
      // not that request's reply: taking it would lose the real one.
      const bool telemetry = IsTelemetryFrame(content.frame) &&
                             ExpectedReplyLength(pendingRequest) != int(kTelemetryLength);
      if (pendingRequest != 0 && !telemetry)
        // 266 bytes are kept but do not complete the request.
        HandOverReply(content.frame.data(), n, n != 266);
      else if (n > 0)
        DecodeTelemetry(content.frame.data(), n);
      break;
    }
  }
  return true;
}
