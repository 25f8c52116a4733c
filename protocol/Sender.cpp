// The send sequence every request follows: purge, remote prefix, write, and
// only a frame written in full becomes the pending request.
#include "app/Convert.h"
#include "app/Log.h"
#include "link/Port.h"
#include "protocol/Protocol.h"

std::uint32_t requestSerial = 0;

bool TForm1::IsRemote() const { return RadioGroup2->itemIndex() != 0; }

int TForm1::SendRequest(ByteVector frame, SendOptions options) {
  // Only unsent output is dropped: purging what the unit already sent would
  // cut its trace lines and could splice a telemetry frame into the reply.
  if (options.purge) PurgeOutput();
  if (options.remote && IsRemote())
    frame = WithRemotePrefix(frame, std::uint16_t(StrToInt(Edit3->text())));
  if (WritePort(frame.data(), std::uint32_t(frame.size())) != 0) return 0;
  if (capture.IsOpen()) capture.Bytes(CaptureKind::Sent, frame);
  return 1;
}

bool TForm1::SendFrame(ByteVector frame, int request, const char* status, SendOptions options) {
  if (!SendRequest(std::move(frame), options)) return false;
  SetPending(request);
  if (status) SetStatus(QString::fromUtf8(status));
  return true;
}

void TForm1::SetPending(int request) {
  pendingRequest = request;
  if (capture.IsOpen()) capture.Pending(request, IsRemote());
  ++requestSerial;
  remoteReplyCount = 0;  // whatever was collected answers an older request
}
