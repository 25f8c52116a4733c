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

std::string TraceLine(int n) {
  char line[64];
  std::snprintf(line, sizeof line, "flood %06d MODEM OK SERVIDOR CONECTADO\r\n", n);
  return line;
}

// The unit: writes trace and telemetry at a steady byte rate and answers
// every read request it sees, between two lines.
class FloodingUnit {
 public:
  explicit FloodingUnit(PtyPair& pty) : pty_(pty), thread_([this] { Run(); }) {}
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
      budget += kBytesPerSecond * std::chrono::duration<double>(now - last).count();
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
      const auto n = std::min(queued.size(), std::size_t(budget));
      if (n == 0) continue;
      // Never blocks (the master is non-blocking): a window that stops reading
      // must fail the test, not hang it.
      const ssize_t written = ::write(pty_.master(), queued.data(), n);
      if (written <= 0) continue;
      queued.erase(0, std::size_t(written));
      budget -= double(written);
    }
  }

  PtyPair& pty_;
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
    {
      FloodingUnit unit(form.unit());
      // Requests for five seconds, then one more for the last reply.
      const auto lastRequest = Clock::now() + 5s, end = lastRequest + 1s;
      auto nextRequest = Clock::now() + 200ms;
      QString status;
      while (Clock::now() < end) {
        form->Timer1Timer();
        form->Timer2Timer();
        if (form->StatusText() != status) {
          status = form->StatusText();
          if (status == "Estado: Lectura Configuracion DOut Recibido!") ++decoded;
        }
        if (Clock::now() >= nextRequest && Clock::now() < lastRequest && pendingRequest == 0) {
          form->BitBtn4Click();
          ++asked;
          nextRequest = Clock::now() + 250ms;
        }
        std::this_thread::sleep_for(5ms);
      }
      unit.Stop();
      QCOMPARE(unit.answered(), asked);
    }
    QVERIFY(asked >= 15);
    QCOMPARE(decoded, asked);
    const QList<int> numbers = FloodNumbers(form->Memo1);
    QVERIFY2(numbers.size() > 300, qPrintable(QString::number(numbers.size())));
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
      const auto end = Clock::now() + 400ms;
      while (Clock::now() < end) {
        form->Timer1Timer();
        std::this_thread::sleep_for(5ms);
      }
      QVERIFY2(FloodNumbers(form->Memo1).size() > before, qPrintable(QString::number(round)));
    }
  }
};

QTEST_MAIN(FloodTest)
#include "flood_test.moc"
