#include "sim/Loader.h"

#include <algorithm>
#include <string>

namespace sim {
namespace {

using namespace std::chrono_literals;

// The tool needs a moment to hand its port to the download session after
// the start text.
constexpr auto kReportAfter = 200ms;
// The tool may ask the technician before it accepts.
constexpr auto kAnswerWait = 10s;
constexpr auto kReplyWait = 1s;
constexpr int kTries = 3;
constexpr auto kNoteAfter = 500ms;
constexpr auto kStallFor = 30s;

// The tool drops leading bytes above 3 before it looks for a text in what
// it received, so a text alone would vanish: it goes behind an STX.
constexpr char kTextLead = '\x02';

std::string Text(std::string_view text) { return std::string(text) + "\r\n"; }

}  // namespace

Loader::Loader(Identity identity, DownloadFaults faults)
    : identity_(std::move(identity)), faults_(faults) {}

Bytes Loader::ImageData() const {
  Bytes data;
  const std::size_t records = image_.chunkCount > 2 ? image_.chunkCount - 2u : 0u;
  for (std::size_t i = 0; i < std::min(records, chunks_.size()); ++i)
    data.insert(data.end(), chunks_[i].begin(), chunks_[i].end());
  return data;
}

void Loader::Begin(std::optional<std::uint16_t> station, TimePoint now,
                   std::vector<Outgoing>& out) {
  ++counters_.sessions;
  station_ = station;
  image_ = {};
  chunks_.clear();
  complete_ = false;
  tries_ = 0;
  input_.clear();
  // The start text also makes the tool forget whatever reached it before
  // the session, which would otherwise sit in front of the First Report.
  out.push_back({Text(dl::kStartText), Channel::Download});
  state_ = LoaderState::Announced;
  deadline_ = now + kReportAfter;
}

void Loader::Tick(TimePoint now, std::vector<Outgoing>& out) {
  if (!Busy() || now < deadline_) return;
  switch (state_) {
    case LoaderState::Announced:
      SendFirstReport(now, out);
      break;
    case LoaderState::WaitAnswer:
      AnswerMissing(now, out);
      break;
    case LoaderState::WaitChunk:
      if (tries_ < kTries)
        SendRequest(now, out);
      else
        Fail(out);
      break;
    case LoaderState::Finishing:
      out.push_back({Text(dl::kDoneText), Channel::Trace});
      state_ = LoaderState::Idle;
      break;
    case LoaderState::Stalled:
      state_ = LoaderState::Idle;
      break;
    case LoaderState::Idle:
      break;
  }
}

void Loader::Receive(std::span<const std::uint8_t> bytes, TimePoint now,
                     std::vector<Outgoing>& out) {
  if (!Busy()) return;
  input_.insert(input_.end(), bytes.begin(), bytes.end());
  Parse(now, out);
}

void Loader::Parse(TimePoint now, std::vector<Outgoing>& out) {
  const std::size_t skip = station_ ? 2 : 0;
  while (!input_.empty() && Busy()) {
    if (station_) {
      // Every message of a remote session comes behind the station number.
      const std::uint8_t prefix[] = {static_cast<std::uint8_t>(*station_ >> 8),
                                     static_cast<std::uint8_t>(*station_ & 0xFF)};
      const std::size_t present = std::min<std::size_t>(input_.size(), 2);
      if (!std::equal(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(present),
                      prefix)) {
        Drop(1);
        continue;
      }
      if (input_.size() <= skip) return;
    }
    const ScanResult start = ScanStartCommand(input_, skip);
    if (start.scan == Scan::Frame) {
      Begin(station_, now, out);  // the tool started over
      return;
    }
    if (start.scan == Scan::NeedMore) return;

    bool more = true;
    if (state_ == LoaderState::WaitAnswer)
      more = TakeAnswer(skip, now, out);
    else if (state_ == LoaderState::WaitChunk)
      more = TakeChunk(skip, now, out);
    else
      Drop(1);
    if (!more) return;
  }
}

// Each Take returns false when the message in front is still incomplete.
bool Loader::TakeAnswer(std::size_t skip, TimePoint now, std::vector<Outgoing>& out) {
  const std::uint8_t kind = input_[skip];
  if (kind != dl::kAccept && kind != dl::kReject) {
    Drop(1);
    return true;
  }
  const std::size_t length = kind == dl::kAccept ? dl::kAcceptLength : dl::kRejectLength;
  if (input_.size() < skip + length) return false;
  const Bytes message(input_.begin() + static_cast<std::ptrdiff_t>(skip),
                      input_.begin() + static_cast<std::ptrdiff_t>(skip + length));
  Drop(skip + length);

  if (IsReject(message)) {
    ++counters_.rejects;
    AnswerMissing(now, out);
    return true;
  }
  const std::optional<ImageHeader> image = ParseAccept(message);
  if (!image) {
    ++counters_.badReplies;
    return true;
  }
  image_ = *image;
  // Chunks of another size, or no end chunk to finish on: not an image
  // this loader can take.
  if (image_.chunkSize != dl::kChunkBytes || image_.chunkCount < 2) {
    Fail(out);
    return true;
  }
  next_ = 0;
  RequestChunk(now, out);
  return true;
}

bool Loader::TakeChunk(std::size_t skip, TimePoint now, std::vector<Outgoing>& out) {
  // Chunk data and the last chunk begin with the request they answer; the
  // image's identity in it is fixed for the session, so it finds the start.
  const std::size_t identity = 7;
  const std::size_t present = std::min(input_.size() - skip, identity);
  if (!std::equal(input_.begin() + static_cast<std::ptrdiff_t>(skip),
                  input_.begin() + static_cast<std::ptrdiff_t>(skip + present), request_.begin())) {
    Drop(1);
    return true;
  }
  if (input_.size() < skip + dl::kRequestLength) return false;
  const std::uint16_t length = BigEndian(input_, skip + 11);
  if (length != 0 && length != dl::kChunkBytes) {
    ++counters_.badReplies;
    Drop(1);
    return true;
  }
  const std::size_t total = dl::kChunkOverhead + length;
  if (input_.size() < skip + total) return false;
  const Bytes message(input_.begin() + static_cast<std::ptrdiff_t>(skip),
                      input_.begin() + static_cast<std::ptrdiff_t>(skip + total));
  Drop(skip + total);

  const bool last = next_ + 1u >= image_.chunkCount;
  const bool answersRequest = std::equal(request_.begin(), request_.begin() + 11, message.begin());
  if (!HasValidSum(message) || !answersRequest || length != (last ? 0 : dl::kChunkBytes)) {
    // Wait for the time-out and ask again.
    ++counters_.badReplies;
    return true;
  }
  if (!last) {
    chunks_.emplace_back(message.begin() + 13, message.end() - 2);
    ++next_;
    RequestChunk(now, out);
    return true;
  }
  Send(FinalPacket(image_), out);
  complete_ = true;
  ++counters_.completed;
  state_ = LoaderState::Finishing;
  deadline_ = now + kNoteAfter;
  return true;
}

void Loader::Drop(std::size_t count) {
  input_.erase(input_.begin(),
               input_.begin() + static_cast<std::ptrdiff_t>(std::min(count, input_.size())));
}

void Loader::SendFirstReport(TimePoint now, std::vector<Outgoing>& out) {
  Bytes report = FirstReport(identity_);
  if (faults_.badFirstReports > 0) {
    --faults_.badFirstReports;
    report.back() ^= 0xFF;
  }
  ++tries_;
  ++counters_.firstReports;
  Send(report, out);
  state_ = LoaderState::WaitAnswer;
  deadline_ = now + kAnswerWait;
}

// A reject is taken like silence: the report may have been damaged on the way.
void Loader::AnswerMissing(TimePoint now, std::vector<Outgoing>& out) {
  if (tries_ < kTries)
    SendFirstReport(now, out);
  else
    Fail(out);
}

void Loader::RequestChunk(TimePoint now, std::vector<Outgoing>& out) {
  if (faults_.failAt == next_) return Fail(out);
  if (faults_.stallAt == next_) {
    input_.clear();
    state_ = LoaderState::Stalled;
    deadline_ = now + kStallFor;
    return;
  }
  tries_ = 0;
  SendRequest(now, out);
}

void Loader::SendRequest(TimePoint now, std::vector<Outgoing>& out) {
  request_ = ChunkRequest(image_, next_);
  Bytes wire = request_;
  const bool first = tries_ == 0;
  if (first && faults_.badRequestAt == next_) wire.back() ^= 0xFF;
  if (first && faults_.strayByteAt == next_) wire.insert(wire.begin(), 0x00);
  ++tries_;
  ++counters_.requests;
  if (!first) ++counters_.repeats;
  Send(wire, out);
  state_ = LoaderState::WaitChunk;
  deadline_ = now + kReplyWait;
}

void Loader::Fail(std::vector<Outgoing>& out) {
  ++counters_.failed;
  out.push_back({kTextLead + Text(dl::kFailText), Channel::Download});
  state_ = LoaderState::Idle;
  input_.clear();
}

void Loader::Send(std::span<const std::uint8_t> message, std::vector<Outgoing>& out) {
  // Whatever is left of an earlier exchange is stale now.
  input_.clear();
  out.push_back({std::string(message.begin(), message.end()), Channel::Download});
}

}  // namespace sim
