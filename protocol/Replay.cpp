#include "protocol/Replay.h"

#include <cstring>

namespace {
// Live, the receiver takes at most once a tick; a gap of a tick and a half
// between two takes means a tick in between found nothing (which ends a raw
// remote reply).
constexpr std::uint64_t kTickMs = 50;
constexpr std::uint64_t kQuietGapMs = 75;
// As fast as possible, but the window still answers between slices.
constexpr qint64 kSliceMs = 30;
}  // namespace

CaptureReplay::CaptureReplay(QObject* parent) : QObject(parent) {
  connect(&timer_, &QTimer::timeout, this, &CaptureReplay::Run);
}

void CaptureReplay::Start(Capture capture, Speed speed) {
  capture_ = std::move(capture);
  speed_ = speed;
  next_ = 0;
  quietAt_.reset();
  currentMs_ = 0;
  running_ = true;
  elapsed_.start();
  timer_.start(speed == Speed::Fastest ? 0 : 10);
}

void CaptureReplay::Cancel() {
  if (running_) Finish(true);
}

void CaptureReplay::Finish(bool cancelled) {
  timer_.stop();
  running_ = false;
  capture_.records.clear();
  capture_.records.shrink_to_fit();
  emit finished(cancelled);
}

bool CaptureReplay::Due(std::uint64_t ms) const {
  if (speed_ == Speed::Fastest) return true;
  const std::uint64_t factor = speed_ == Speed::Ten ? 10 : 1;
  return ms <= std::uint64_t(elapsed_.elapsed()) * factor;
}

void CaptureReplay::Run() {
  QElapsedTimer slice;
  slice.start();
  while (running_) {
    const bool more = next_ < capture_.records.size();
    if (!more && !quietAt_) {
      Finish(false);
      return;
    }
    const std::uint64_t at = quietAt_ && (!more || *quietAt_ <= capture_.records[next_].ms)
                                 ? *quietAt_
                                 : capture_.records[next_].ms;
    if (!Due(at) || slice.elapsed() > kSliceMs) return;
    Step();
  }
}

void CaptureReplay::Step() {
  if (quietAt_ && (next_ == capture_.records.size() || *quietAt_ <= capture_.records[next_].ms)) {
    currentMs_ = *quietAt_;
    quietAt_.reset();
    emit takeDue();
    return;
  }
  const CaptureRecord& record = capture_.records[next_++];
  currentMs_ = record.ms;
  switch (record.kind) {
    case CaptureKind::Received: {
      std::optional<std::uint64_t> nextTake;
      for (std::size_t i = next_; i < capture_.records.size(); ++i)
        if (capture_.records[i].kind == CaptureKind::Received) {
          nextTake = capture_.records[i].ms;
          break;
        }
      if (!nextTake || *nextTake >= record.ms + kQuietGapMs) quietAt_ = record.ms + kTickMs;
      current_ = &record;
      emit takeDue();
      current_ = nullptr;
      break;
    }
    case CaptureKind::Sent:
      emit sent(QByteArray(reinterpret_cast<const char*>(record.bytes.data()),
                           qsizetype(record.bytes.size())));
      break;
    case CaptureKind::Pending:
      emit pending(record.request, record.remote);
      break;
    case CaptureKind::Dispatched:
      emit dispatched();
      break;
    case CaptureKind::Download:
      break;  // the download session's own bytes: nothing to show without a session
  }
}

std::int32_t CaptureReplay::Take(std::uint8_t* out) {
  if (!current_) return 0;
  const std::size_t count = std::min(current_->bytes.size(), std::size_t(kTakeLimit));
  std::memcpy(out, current_->bytes.data(), count);
  current_ = nullptr;
  return std::int32_t(count);
}

QDateTime CaptureReplay::RecordTime() const {
  return QDateTime::fromMSecsSinceEpoch(capture_.startMs + qint64(currentMs_));
}
