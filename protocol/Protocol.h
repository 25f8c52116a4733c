// Requests out, debug lines and frames in, replies handed over by request number.
#pragma once

#include <cstdint>

// The reply hand-over between the senders, the receiver and the dispatcher.
extern std::int32_t pendingRequest;  // request awaiting a reply, 0 = none
extern std::int32_t replyType;       // request the reply in replyBuffer answers
extern std::int32_t replyLength;     // bytes in replyBuffer, 0 = none
extern std::uint8_t replyBuffer[1024];

// Bytes the receiver has taken from the inbox since start.
extern std::uint64_t receivedByteCount;

// Counts the requests sent, so a late default entry can tell whether a newer
// request went out after a reply was handed over.
extern std::uint32_t requestSerial;
extern std::uint32_t handOverSerial;

// Line being assembled from the unit's bytes.
extern std::uint8_t lineBuffer[2048];
extern std::int32_t lineLength;
constexpr std::int32_t kMaxLine = 2047;

// Raw reply being collected in remote mode.
extern std::uint8_t remoteReply[1024];
extern std::int32_t remoteReplyCount;
