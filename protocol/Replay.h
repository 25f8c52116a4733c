// Plays a session capture back into the receiver, at the captured pace, ten
// times faster, or as fast as possible. It is a source of received bytes like
// the port's inbox; what the technician did in between (a frame sent, a
// request left pending, a console filter changed) comes out as signals at the
// moment it happened. The file is read as the replay goes.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QTimer>
#include <deque>
#include <memory>
#include <optional>

#include "protocol/ByteSource.h"
#include "protocol/Capture.h"

class CaptureReplay : public QObject, public ByteSource {
  Q_OBJECT

 public:
  enum class Speed { Captured = 0, Ten = 1, Fastest = 2 };

  explicit CaptureReplay(QObject* parent = nullptr);
  // False when the file cannot be opened.
  bool Start(const QString& path, Speed speed);
  void Cancel();
  bool IsRunning() const { return running_; }
  // The receiver's take while takeDue is being handled; 0 for a quiet tick.
  std::int32_t Take(std::uint8_t* out) override;
  // Whole seconds the line had been quiet at a quiet tick, in the capture's time.
  std::uint32_t QuietSeconds() const;
  // Wall-clock time of the record being replayed.
  QDateTime RecordTime() const;
  // Damage met on the way (the file changed after it was checked).
  const CaptureReader* Reader() const { return reader_.get(); }

 signals:
  void takeDue();  // run one receiver tick with this source now
  void sent(const QByteArray& frame);
  void pending(int request, bool remote);
  void dispatched();  // run the dispatcher now: it took the reply at this point
  void filters(bool serial, bool iec101);
  void finished(bool cancelled);

 private:
  void Run();
  bool Due(std::uint64_t ms) const;
  const CaptureRecord* Ahead(std::size_t index);
  const CaptureRecord* NextTake();
  std::optional<std::uint64_t> NextQuietTick(std::uint64_t takeMs);
  void Step();
  void Finish(bool cancelled);

  QFile file_;
  std::unique_ptr<CaptureReader> reader_;
  std::deque<CaptureRecord> ahead_;  // read from the file, not yet replayed
  Speed speed_ = Speed::Fastest;
  std::optional<std::uint64_t> quietAt_;  // a receiver tick with nothing to take
  std::optional<CaptureRecord> take_;     // the record being taken
  std::int64_t startMs_ = 0;
  std::uint64_t currentMs_ = 0;
  std::uint64_t lastTakeMs_ = 0;
  QElapsedTimer elapsed_;
  QTimer timer_;
  bool running_ = false;
};
