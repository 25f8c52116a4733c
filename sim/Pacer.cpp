#include "sim/Pacer.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {

// After a raw reply the trace waits a little, so that the tool can take
// the reply as one piece.
constexpr auto kQuietAfterRaw = std::chrono::milliseconds(250);

}  // namespace

Pacer::Pacer(int bytesPerSecond, std::size_t piece, TimePoint start)
    : rate_(bytesPerSecond),
      piece_(std::max<std::size_t>(piece, 1)),
      last_(start),
      traceHeldUntil_(start) {}

void Pacer::Push(Outgoing item) {
  if (item.bytes.empty()) return;
  if (item.channel == Channel::Download) {
    // The loader has the port: what the firmware had not sent yet is lost,
    // a line in progress included, without its end.
    trace_.clear();
    std::erase_if(urgent_,
                  [](const Outgoing& queued) { return queued.channel != Channel::Download; });
    if (currentChannel_ != Channel::Download) current_.clear();
    urgent_.push_back(std::move(item));
    return;
  }
  if (item.channel == Channel::Raw && !current_.empty() && currentChannel_ == Channel::Trace) {
    // The tool takes whatever comes after a remote request as the reply, so
    // the line being printed stops here and gets its end after the quiet.
    current_.clear();
    trace_.push_front({"\r\n", Channel::Trace});
  }
  (item.channel == Channel::Trace ? trace_ : urgent_).push_back(std::move(item));
}

bool Pacer::NextItem(TimePoint now) {
  if (!current_.empty()) return true;
  std::deque<Outgoing>* queue = nullptr;
  if (!urgent_.empty())
    queue = &urgent_;
  else if (!trace_.empty() && now >= traceHeldUntil_)
    queue = &trace_;
  if (!queue) return false;
  current_ = std::move(queue->front().bytes);
  currentChannel_ = queue->front().channel;
  queue->pop_front();
  return true;
}

std::string Pacer::Take(TimePoint now) {
  std::size_t allowed = SIZE_MAX;
  if (rate_ > 0) {
    const double elapsed = std::chrono::duration<double>(now - last_).count();
    credit_ = std::min(credit_ + elapsed * rate_, static_cast<double>(piece_));
    allowed = credit_ > 0 ? static_cast<std::size_t>(credit_) : 0;
  }
  last_ = now;

  std::string out;
  while (out.size() < allowed && NextItem(now)) {
    // A raw reply or a download message goes in one burst, as the UART
    // sends it: the tool's port reads run on only while bytes keep coming.
    const bool whole = currentChannel_ == Channel::Raw || currentChannel_ == Channel::Download;
    const std::size_t n = whole ? current_.size() : std::min(allowed - out.size(), current_.size());
    out.append(current_, 0, n);
    current_.erase(0, n);
    if (current_.empty() && whole) traceHeldUntil_ = now + kQuietAfterRaw;
  }
  if (rate_ > 0) credit_ -= static_cast<double>(out.size());
  return out;
}

void Pacer::PutBack(const std::string& bytes) { current_.insert(0, bytes); }

std::size_t Pacer::Pending() const {
  std::size_t count = current_.size();
  for (const Outgoing& item : urgent_) count += item.bytes.size();
  for (const Outgoing& item : trace_) count += item.bytes.size();
  return count;
}

std::chrono::microseconds Pacer::Wait(TimePoint now) const {
  using std::chrono::microseconds;
  const bool traceReady = !trace_.empty() && now >= traceHeldUntil_;
  if (current_.empty() && urgent_.empty() && !traceReady) {
    if (!trace_.empty()) return std::chrono::duration_cast<microseconds>(traceHeldUntil_ - now);
    return microseconds::max();
  }
  if (rate_ <= 0) return microseconds(0);
  const double elapsed = std::chrono::duration<double>(now - last_).count();
  // Wake for whole pieces, not for every byte.
  const double wanted = static_cast<double>(std::min(piece_, std::max<std::size_t>(Pending(), 1)));
  const double missing = wanted - std::min(credit_ + elapsed * rate_, static_cast<double>(piece_));
  if (missing <= 0) return microseconds(0);
  return microseconds(static_cast<long long>(std::ceil(missing * 1e6 / rate_)));
}

void ToolLine::Push(const std::uint8_t* bytes, std::size_t count, TimePoint now) {
  if (count == 0) return;
  bytes_.insert(bytes_.end(), bytes, bytes + count);
  if (rate_ <= 0) return;
  const TimePoint start = std::max(now, lineFree_);
  lineFree_ = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                          std::chrono::duration<double>(static_cast<double>(count) / rate_));
}

std::size_t ToolLine::Underway(TimePoint now) const {
  if (rate_ <= 0 || now >= lineFree_) return 0;
  const double left = std::chrono::duration<double>(lineFree_ - now).count() * rate_;
  return std::min(bytes_.size(), static_cast<std::size_t>(std::ceil(left - 1e-9)));
}

std::vector<std::uint8_t> ToolLine::Take(TimePoint now) {
  const std::size_t arrived = bytes_.size() - Underway(now);
  std::vector<std::uint8_t> out(bytes_.begin(),
                                bytes_.begin() + static_cast<std::ptrdiff_t>(arrived));
  bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(arrived));
  return out;
}

std::chrono::microseconds ToolLine::Wait(TimePoint now) const {
  using std::chrono::microseconds;
  const std::size_t underway = Underway(now);
  if (underway == 0) return bytes_.empty() ? microseconds::max() : microseconds(0);
  // The first of them is in once the rest are still on the line.
  const double seconds = std::chrono::duration<double>(lineFree_ - now).count() -
                         static_cast<double>(underway - 1) / rate_;
  return microseconds(static_cast<long long>(std::ceil(std::max(seconds, 0.0) * 1e6)));
}

}  // namespace sim
