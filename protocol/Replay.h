// Plays a session capture back into the receiver, at the captured pace, ten
// times faster, or as fast as possible. It is a source of received bytes like
// the port's inbox; what the technician did in between (a frame sent, a
// request left pending) comes out as signals at the moment it happened.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <optional>

#include "protocol/ByteSource.h"
#include "protocol/Capture.h"

class CaptureReplay : public QObject, public ByteSource {
  Q_OBJECT

 public:
  enum class Speed { Captured = 0, Ten = 1, Fastest = 2 };

  explicit CaptureReplay(QObject* parent = nullptr);
  void Start(Capture capture, Speed speed);
  void Cancel();
  bool IsRunning() const { return running_; }
  // The receiver's take while takeDue is being handled; 0 for a quiet tick.
  std::int32_t Take(std::uint8_t* out) override;
  // Wall-clock time of the record being replayed.
  QDateTime RecordTime() const;
  std::size_t Position() const { return next_; }

 signals:
  void takeDue();  // run one receiver tick with this source now
  void sent(const QByteArray& frame);
  void pending(int request, bool remote);
  void dispatched();  // run the dispatcher now: it took the reply at this point
  void finished(bool cancelled);

 private:
  void Run();
  bool Due(std::uint64_t ms) const;
  void Step();
  void Finish(bool cancelled);

  Capture capture_;
  Speed speed_ = Speed::Fastest;
  std::size_t next_ = 0;
  std::optional<std::uint64_t> quietAt_;  // a receiver tick with nothing to take
  const CaptureRecord* current_ = nullptr;
  std::uint64_t currentMs_ = 0;
  QElapsedTimer elapsed_;
  QTimer timer_;
  bool running_ = false;
};
