// The reader thread and the receiver tick together under a unit that never
// stops talking: trace at twice the line rate of 19200 baud, telemetry, and
// the replies to the window's requests, all through a real pty. Also built
// with ThreadSanitizer, where it is the check that the two threads share
// the port and the inbox cleanly.
#include <unistd.h>

#include <QtTest>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

#include "app/Log.h"
#include "link/Link.h"
#include "protocol/Protocol.h"
#include "tests/Harness.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr int kCom = 11;
constexpr double kBytesPerSecond = 2 * 1920.0;
constexpr int kTelemetryEvery = 25;  // trace lines
constexpr double kMostAtOnce = 64;
// Below the reader's inbox (511 bytes), which drops a read that overflows it.
constexpr std::int64_t kMostAhead = 384;
constexpr int kRequests = 15;
constexpr int kLines = 300;
// Only a window that stopped working takes this long.
constexpr auto kCeiling = 120s;

std::string TraceLine(int n) {
  char line[64];
  std::snprintf(line, sizeof line, "flood %06d MODEM OK SERVIDOR CONECTADO\r\n", n);
  return line;
}

// The unit: writes trace and telemetry at a steady byte rate and answers
// every read request it sees, between two lines. Given the count of bytes the
// window has taken, it never gets more than a reader's inbox ahead of it, so a
// window slowed down by a loaded machine loses nothing, only pace.
class FloodingUnit {
 public:
  explicit FloodingUnit(PtyPair& pty, const std::atomic<std::uint64_t>* taken = nullptr)
      : pty_(pty), taken_(taken), thread_([this] { Run(); }) {}
  ~FloodingUnit() { Stop(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int lines() const { return lines_; }
  int answered() const { return answered_; }

 private:
  void Run() {
    Bytes telemetry{0x01, 0x03, 0x4C};
    telemetry.resize(3 + 0x4C, 0x00);
    const std::string telemetryLine = EmbeddedLine(FrameWithCrc(telemetry)) + "\r\n";
    std::string queued;
    Bytes request;
    double budget = 0;
    auto last = Clock::now();
    while (!stop_) {
      // Waiting for a request paces the loop.
      const Bytes more = pty_.Read(8 - request.size(), 3ms);
      request.insert(request.end(), more.begin(), more.end());
      const auto now = Clock::now();
      // A unit that was held up does not make up for it in one burst.
      budget =
          std::min(kMostAtOnce,
                   budget + kBytesPerSecond * std::chrono::duration<double>(now - last).count());
      last = now;
      if (request.size() == 8) {
        // A whole read request: its reply goes out after the current line.
        Bytes reply{0x01, 0x03, std::uint8_t(2 * request[5])};
        reply.resize(3 + 2 * request[5], 0x00);
        queued += EmbeddedLine(FrameWithCrc(reply)) + "\r\n";
        request.clear();
        ++answered_;
      }
      if (queued.empty()) {
        queued = TraceLine(lines_++);
        if (lines_ % kTelemetryEvery == 0) queued += telemetryLine;
      }
      std::size_t n = std::min(queued.size(), std::size_t(budget));
      if (taken_)
        n = std::min(n, std::size_t(std::max<std::int64_t>(
                            0, kMostAhead - (std::int64_t(sent_) - std::int64_t(taken_->load())))));
      if (n == 0) continue;
      // Never blocks (the master is non-blocking): a window that stops reading
      // must fail the test, not hang it.
      const ssize_t written = ::write(pty_.master(), queued.data(), n);
      if (written <= 0) continue;
      queued.erase(0, std::size_t(written));
      budget -= double(written);
      sent_ += std::uint64_t(written);
    }
  }

  PtyPair& pty_;
  const std::atomic<std::uint64_t>* taken_;
  std::uint64_t sent_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> lines_{0};
  std::atomic<int> answered_{0};
  std::thread thread_;
};

// The trace numbers the console shows, in order.
QList<int> FloodNumbers(const QPlainTextEdit* memo) {
  QList<int> numbers;
  for (const QString& line : Lines(memo))
    if (line.startsWith("flood ")) numbers << line.mid(6, 6).toInt();
  return numbers;
}
}  // namespace

class FloodTest : public QObject {
  Q_OBJECT

 private slots:
  void everyLineAndEveryReplyArrivesUnderFlood() {
    WiredForm form(kCom);
    int asked = 0, decoded = 0;
    const std::uint64_t before = receivedByteCount;
    std::atomic<std::uint64_t> taken{0};
    {
      FloodingUnit unit(form.unit(), &taken);
      // A request every 250 ms while none is pending, until enough were
      // answered and enough trace came through.
      const auto ceiling = Clock::now() + kCeiling;
      auto nextRequest = Clock::now() + 200ms;
      QString status;
      while (Clock::now() < ceiling) {
        form->Timer1Timer();
        taken = receivedByteCount - before;
        form->Timer2Timer();
        if (form->StatusText() != status) {
          status = form->StatusText();
          if (status == "Estado: Lectura Configuracion DOut Recibido!") ++decoded;
        }
        if (asked >= kRequests && decoded == asked && form->Memo1->blockCount() > kLines + 20)
          break;
        if (Clock::now() >= nextRequest && asked < kRequests && pendingRequest == 0) {
          form->BitBtn4Click();
          ++asked;
          nextRequest = Clock::now() + 250ms;
        }
        std::this_thread::sleep_for(5ms);
      }
      unit.Stop();
      QCOMPARE(unit.answered(), asked);
    }
    QCOMPARE(asked, kRequests);
    QCOMPARE(decoded, asked);
    const QList<int> numbers = FloodNumbers(form->Memo1);
    QVERIFY2(numbers.size() > kLines, qPrintable(QString::number(numbers.size())));
    for (int i = 0; i < numbers.size(); ++i) QCOMPARE(numbers[i], i);
  }

  void reconnectingWhileTheUnitTalks() {
    WiredForm form(kCom);
    FloodingUnit unit(form.unit());
    for (int round = 0; round < 8; ++round) {
      form->BitBtn2Click();
      QVERIFY(!form->IsConnected());
      form->BitBtn1Click();
      QVERIFY(form->IsConnected());
      // The new reader takes over the stream.
      const auto before = FloodNumbers(form->Memo1).size();
      const auto ceiling = Clock::now() + kCeiling;
      while (FloodNumbers(form->Memo1).size() <= before + 1 && Clock::now() < ceiling) {
        form->Timer1Timer();
        std::this_thread::sleep_for(5ms);
      }
      QVERIFY2(FloodNumbers(form->Memo1).size() > before + 1, qPrintable(QString::number(round)));
    }
  }
};

QTEST_MAIN(FloodTest)
#include "flood_test.moc"
