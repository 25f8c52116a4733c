#include "config/Sequencer.h"

namespace {
// Often enough to hand a reply to the dispatcher without waiting for its tick.
constexpr std::chrono::milliseconds kPollEvery{40};
}  // namespace

RequestSequencer::RequestSequencer(SequencerView& view, QObject* parent)
    : QObject(parent), view_(view) {
  poll_.setInterval(kPollEvery);
  connect(&poll_, &QTimer::timeout, this, [this] { Poll(Clock::now()); });
}

bool RequestSequencer::Start(std::vector<BlockStep> steps) {
  if (running_ || !view_.CanSend()) return false;
  steps_ = std::move(steps);
  next_ = 0;
  running_ = true;
  if (steps_.empty()) {
    Finish(SequenceEnd::Done);
    return true;
  }
  poll_.start();
  SendCurrent(Clock::now());
  return true;
}

void RequestSequencer::Cancel() {
  if (running_) Finish(SequenceEnd::Cancelled);
}

void RequestSequencer::SendCurrent(Clock::time_point now) {
  attempts_ = 0;
  deadline_ = now + kTimeout;
  // A write that did not go out counts as an attempt; the time-out retries it.
  view_.SendStep(steps_[next_]);
}

void RequestSequencer::ReplyDispatched(std::int32_t request, bool accepted) {
  if (!running_ || request != steps_[next_].RequestNumber()) return;
  const auto now = Clock::now();
  if (!accepted && attempts_ < kRetries) {
    ++attempts_;
    deadline_ = now + kTimeout;
    view_.SendStep(steps_[next_]);
    return;
  }
  Advance(accepted, now);
}

void RequestSequencer::Advance(bool ok, Clock::time_point now) {
  const BlockStep step = steps_[next_];
  ++next_;
  view_.StepDone(step, ok);
  if (!running_) return;  // the view ended the run
  if (next_ == steps_.size()) return Finish(SequenceEnd::Done);
  SendCurrent(now);
}

void RequestSequencer::Poll(Clock::time_point now) {
  if (!running_) return;
  if (!view_.CanSend()) return Finish(SequenceEnd::LinkLost);
  view_.ReplyMayWait();
  if (!running_ || now < deadline_) return;
  if (attempts_ < kRetries) {
    ++attempts_;
    deadline_ = now + kTimeout;
    view_.SendStep(steps_[next_]);
    return;
  }
  Finish(SequenceEnd::TimedOut);
}

void RequestSequencer::Finish(SequenceEnd end) {
  poll_.stop();
  running_ = false;
  const BlockStep* at = next_ < steps_.size() ? &steps_[next_] : nullptr;
  const BlockStep last = at ? *at : BlockStep{};
  // The view may start the next run from here.
  view_.SequenceEnded(end, at ? &last : nullptr);
}
