#include "protocol/Replay.h"

#include <cstring>

namespace {
// Live, the receiver takes at most once a tick; a gap of a tick and a half
// between two takes means a tick in between found nothing (which ends a raw
// remote reply).
constexpr std::uint64_t kTickMs = 50;
constexpr std::uint64_t kQuietGapMs = 75;
// Live, a line quiet for more than 10 whole seconds shows the unit as
// disconnected; a tick at 11 s into a longer quiet stretch shows it here.
constexpr std::uint64_t kSilenceMs = 11000;
// As fast as possible, but the window still answers between slices.
constexpr qint64 kSliceMs = 30;
}  // namespace

CaptureReplay::CaptureReplay(QObject* parent) : QObject(parent) {
  connect(&timer_, &QTimer::timeout, this, &CaptureReplay::Run);
}

bool CaptureReplay::Start(const QString& path, Speed speed) {
  if (running_) Finish(true);
  file_.setFileName(path);
  if (!file_.open(QIODevice::ReadOnly)) return false;
  reader_ = std::make_unique<CaptureReader>(file_);
  ahead_.clear();
  Ahead(0);  // reads the header
  startMs_ = reader_->StartMs();
  speed_ = speed;
  quietAt_.reset();
  currentMs_ = lastTakeMs_ = 0;
  running_ = true;
  elapsed_.start();
  timer_.start(speed == Speed::Fastest ? 0 : 10);
  return true;
}

void CaptureReplay::Cancel() {
  if (running_) Finish(true);
}

void CaptureReplay::Finish(bool cancelled) {
  timer_.stop();
  running_ = false;
  ahead_.clear();
  file_.close();
  emit finished(cancelled);
}

const CaptureRecord* CaptureReplay::Ahead(std::size_t index) {
  while (ahead_.size() <= index) {
    std::optional<CaptureRecord> record = reader_->Next();
    if (!record) return nullptr;
    // The download session's own bytes: nothing to show without a session.
    if (record->kind != CaptureKind::Download) ahead_.push_back(std::move(*record));
  }
  return &ahead_[index];
}

// After a take at takeMs: the tick that finds nothing, if the capture has one.
std::optional<std::uint64_t> CaptureReplay::NextQuietTick(std::uint64_t takeMs) {
  const CaptureRecord* next = NextTake();
  if (next && next->ms < takeMs + kQuietGapMs) return std::nullopt;
  return takeMs + kTickMs;
}

// The next received record, reading on as far as it takes.
const CaptureRecord* CaptureReplay::NextTake() {
  for (std::size_t i = 0; const CaptureRecord* record = Ahead(i); ++i)
    if (record->kind == CaptureKind::Received) return record;
  return nullptr;
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
    const CaptureRecord* next = Ahead(0);
    if (!next && !quietAt_) {
      Finish(false);
      return;
    }
    const std::uint64_t at = quietAt_ && (!next || *quietAt_ <= next->ms) ? *quietAt_ : next->ms;
    if (!Due(at) || slice.elapsed() > kSliceMs) return;
    Step();
  }
}

void CaptureReplay::Step() {
  const CaptureRecord* next = Ahead(0);
  if (quietAt_ && (!next || *quietAt_ <= next->ms)) {
    currentMs_ = *quietAt_;
    quietAt_.reset();
    // A long quiet stretch gets a second quiet tick where live the unit
    // would have been shown as disconnected.
    if (currentMs_ < lastTakeMs_ + kSilenceMs) {
      const CaptureRecord* later = NextTake();
      // Without another take, the capture lasted as long as its last record.
      const std::uint64_t until = later ? later->ms : (ahead_.empty() ? 0 : ahead_.back().ms);
      if (until >= lastTakeMs_ + kSilenceMs) quietAt_ = lastTakeMs_ + kSilenceMs;
    }
    emit takeDue();
    return;
  }
  CaptureRecord record = std::move(ahead_.front());
  ahead_.pop_front();
  currentMs_ = record.ms;
  switch (record.kind) {
    case CaptureKind::Received:
      lastTakeMs_ = record.ms;
      quietAt_ = NextQuietTick(record.ms);
      take_ = std::move(record);
      emit takeDue();
      take_.reset();
      break;
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
    case CaptureKind::Filters:
      emit filters(record.serial, record.iec101);
      break;
    case CaptureKind::Download:
      break;
  }
}

std::int32_t CaptureReplay::Take(std::uint8_t* out) {
  if (!take_) return 0;
  const std::size_t count = std::min(take_->bytes.size(), std::size_t(kTakeLimit));
  std::memcpy(out, take_->bytes.data(), count);
  take_.reset();
  return std::int32_t(count);
}

std::uint32_t CaptureReplay::QuietSeconds() const {
  if (take_) return 0;
  return std::uint32_t((currentMs_ - std::min(currentMs_, lastTakeMs_)) / 1000);
}

QDateTime CaptureReplay::RecordTime() const {
  return QDateTime::fromMSecsSinceEpoch(startMs_ + qint64(currentMs_));
}
