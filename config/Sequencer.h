// Block requests one after the other: the next goes out when the dispatcher
// has handled the reply to the one before, or after a time-out and one retry.
// Knows nothing of the window; it talks to it through SequencerView.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <vector>

#include "config/Blocks.h"

struct BlockStep {
  const BlockSpec* block = nullptr;
  bool write = false;
  std::int32_t RequestNumber() const { return Number(write ? block->write : block->read); }
};

enum class SequenceEnd { Done, Cancelled, TimedOut, LinkLost };

class SequencerView {
 public:
  virtual ~SequencerView() = default;
  // The port is open and no download runs.
  virtual bool CanSend() = 0;
  // Sends the step's request; false when it did not go out.
  virtual bool SendStep(const BlockStep& step) = 0;
  // The step's reply was taken (ok) or refused twice.
  virtual void StepDone(const BlockStep& step, bool ok) = 0;
  // A reply may be waiting for the dispatcher; lets the window hand it over now.
  virtual void ReplyMayWait() = 0;
  // The run ended; steps not reached were not sent.
  virtual void SequenceEnded(SequenceEnd end, const BlockStep* at) = 0;
};

class RequestSequencer : public QObject {
  Q_OBJECT

 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kTimeout{2000};
  static constexpr int kRetries = 1;

  explicit RequestSequencer(SequencerView& view, QObject* parent = nullptr);

  // Starts a run; false (nothing sent) when one runs or the view cannot send.
  bool Start(std::vector<BlockStep> steps);
  void Cancel();
  // The dispatcher handled a reply to `request`; accepted when it was decoded.
  void ReplyDispatched(std::int32_t request, bool accepted);
  // Time-outs and the link; the owned timer calls it, tests may too.
  void Poll(Clock::time_point now);

  bool Running() const { return running_; }
  int Done() const { return int(next_); }
  int Total() const { return int(steps_.size()); }

 private:
  void SendCurrent(Clock::time_point now);
  void Advance(bool ok, Clock::time_point now);
  void Finish(SequenceEnd end);

  SequencerView& view_;
  QTimer poll_;
  std::vector<BlockStep> steps_;
  std::size_t next_ = 0;  // the step awaiting its reply
  int attempts_ = 0;
  Clock::time_point deadline_{};
  bool running_ = false;
};
