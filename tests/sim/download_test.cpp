// The unit's side of the firmware download, driven the way the tool drives
// it. The tool's messages and the image it serves are built here, with a
// byte sum and a record layout of the test's own.
#include "sim/Download.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QtTest>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "sim/Pacer.h"
#include "sim/UnitCore.h"
#include "sim/VirtualUnit.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
using Output = std::vector<sim::Outgoing>;

namespace QTest {
template <>
char* toString(const Bytes& bytes) {
  const QByteArray raw(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
  return qstrdup(raw.toHex(' ').toUpper().constData());
}
}  // namespace QTest

namespace {

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Sealed(Bytes message) {
  unsigned sum = 0;
  for (std::uint8_t byte : message) sum += byte;
  message.push_back(std::uint8_t(sum >> 8));
  message.push_back(std::uint8_t(sum));
  return message;
}

bool SumOk(const Bytes& message) {
  return message.size() >= 3 && Sealed(Bytes(message.begin(), message.end() - 2)) == message;
}

bool IsFinalPacket(const Bytes& message) {
  return message.size() == 11 && message[0] == 3 && SumOk(message);
}

const Bytes kStart = Of(std::string("Download Init", 14));
const Bytes kAnnounce = Of("Download Init\r\n");

Bytes Pattern(std::size_t size) {
  Bytes data(size);
  for (std::size_t i = 0; i < size; ++i) data[i] = std::uint8_t(i * 7 + i / 256);
  return data;
}

Bytes Padded(Bytes data) {
  data.resize((data.size() + 255) / 256 * 256, 0xFF);
  return data;
}

// The image as the tool serves it: 256-byte records, the last one padded
// with 0xFF and then sent once more; an end record follows.
struct Image {
  Image(const Bytes& data, unsigned hw = 3, unsigned project = 17, unsigned build = 412)
      : head{1,
             std::uint8_t(hw >> 8),
             std::uint8_t(hw),
             std::uint8_t(project >> 8),
             std::uint8_t(project),
             std::uint8_t(build >> 8),
             std::uint8_t(build)} {
    const Bytes padded = Padded(data);
    for (std::size_t at = 0; at < padded.size(); at += 256)
      records.emplace_back(padded.begin() + long(at), padded.begin() + long(at) + 256);
    records.push_back(records.back());
  }
  std::uint8_t Count() const { return std::uint8_t(records.size() + 1); }

  Bytes Message(std::uint8_t kind, Bytes tail) const {
    Bytes message = head;
    message[0] = kind;
    return Sealed(Join(message, tail));
  }
  Bytes Accept() const { return Message(2, {0, Count(), 1, 0}); }
  Bytes Reject() const { return Message(4, {0, Count()}); }
  Bytes Request(unsigned chunk) const {
    return Message(1, {std::uint8_t(chunk >> 8), std::uint8_t(chunk), 0, Count()});
  }
  // Chunk data, or the last chunk, built over the request.
  Bytes Answer(const Bytes& request) const {
    const unsigned chunk = request[7] * 256u + request[8];
    Bytes message(request.begin(), request.begin() + 11);
    message =
        chunk + 1 < Count() ? Join(Join(message, {1, 0}), records[chunk]) : Join(message, {0, 0});
    return Sealed(message);
  }

  Bytes head;
  std::vector<Bytes> records;
};

// What the tool's download receiver finds of a text: leading bytes above 3
// are dropped, and the search ends at the first zero byte.
bool ToolSeesText(const std::string& received, const char* text) {
  std::size_t at = 0;
  while (at < received.size() && static_cast<signed char>(received[at]) > 3) ++at;
  return std::string(received.c_str() + at).find(text) != std::string::npos;
}

std::string Text(const Output& output) { return sim::Concatenate(output); }

// The single download message of an output, or nothing.
Bytes Message(const Output& output) {
  if (output.size() != 1 || output[0].channel != sim::Channel::Download) return {};
  return Of(output[0].bytes);
}

struct Bench {
  explicit Bench(sim::UnitOptions options = Quiet()) : core(options, now) { core.TakeOutput(); }
  static sim::UnitOptions Quiet() {
    sim::UnitOptions options;
    options.com = 0;
    options.telemetryPeriod = 0ms;
    return options;
  }
  Output Send(const Bytes& bytes) {
    core.Receive(bytes, now);
    return core.TakeOutput();
  }
  Output Run(std::chrono::milliseconds span) {
    Output out;
    for (const auto end = now + span; now < end;) {
      core.Tick(now += 10ms);
      for (sim::Outgoing& item : core.TakeOutput()) out.push_back(std::move(item));
    }
    return out;
  }
  Clock::time_point now = Clock::time_point() + 1000h;
  sim::UnitCore core;
};

// Start command to accept; returns the unit's request for chunk 0.
Bytes Open(Bench& bench, const Image& image, const Bytes& prefix = {}) {
  if (Message(bench.Send(Join(prefix, kStart))) != kAnnounce || !bench.Run(150ms).empty())
    return {};
  const Bytes report = Message(bench.Run(100ms));
  if (report.size() != 24 || !SumOk(report)) return {};
  return Message(bench.Send(Join(prefix, image.Accept())));
}

// Answers requests from chunk `from` on, until the final packet comes, which
// it returns; replies to odd chunks arrive in two pieces. Between messages
// the unit must say nothing.
Bytes Serve(Bench& bench, const Image& image, unsigned from = 0, const Bytes& prefix = {}) {
  Bytes request = image.Request(from);
  for (unsigned n = from; n < image.Count(); ++n) {
    if (request != image.Request(n)) return request;
    const Bytes reply = Join(prefix, image.Answer(request));
    if (n % 2 && !bench.Send(Bytes(reply.begin(), reply.begin() + 9)).empty()) return {};
    request = Message(bench.Send(Bytes(reply.begin() + (n % 2 ? 9 : 0), reply.end())));
    if (!bench.Run(50ms).empty()) return {};
  }
  return request;
}

}  // namespace

class DownloadTest : public QObject {
  Q_OBJECT

 private slots:
  void messagesKnownAnswers();
  void wholeSession_data();
  void wholeSession();
  void remoteSessionTakesPrefixedMessages();
  void faultOptions();
  void repeatsThenGivesUp();
  void selfDownloadAndRestart();
  void pacerGivesTheLoaderTheLine();
  void commandLine();
  void toolBytesTakeTheirWireTime();
  void project35KeepsSerialPort2At20000();
  void sessionOverThePty();
};

void DownloadTest::messagesKnownAnswers() {
  const Bytes digits = Of("123456789");
  QCOMPARE(int(sim::ByteSum(digits)), 0x01DD);
  QCOMPARE(int(sim::ByteSum(Bytes(300, 0xFF))), 76500 & 0xFFFF);

  sim::Identity identity;  // hardware 3, project 17, build 412
  QCOMPARE(sim::FirstReport(identity),
           Sealed(Join({2, 0, 3, 0, 17, 0x01, 0x9C}, Of("861234050123458"))));
  identity.imei = "1234567890123456789";  // 15 characters fit; fewer are zero padded
  QCOMPARE(sim::FirstReport(identity),
           Sealed(Join({2, 0, 3, 0, 17, 1, 0x9C}, Of("123456789012345"))));
  identity.imei = "12";
  QCOMPARE(sim::FirstReport(identity),
           Sealed(Join({2, 0, 3, 0, 17, 1, 0x9C, '1', '2'}, Bytes(13))));
}

void DownloadTest::wholeSession_data() {
  QTest::addColumn<int>("size");
  QTest::addColumn<int>("hardware");
  QTest::addColumn<int>("project");
  QTest::addColumn<int>("build");
  QTest::newRow("300 bytes: one padded record") << 300 << 3 << 17 << 412;
  QTest::newRow("512 bytes: no padding") << 512 << 3 << 17 << 412;
  QTest::newRow("1 byte") << 1 << 3 << 17 << 412;
  QTest::newRow("another image's identity, accepted anyway") << 2000 << 4 << 300 << 65535;
}

void DownloadTest::wholeSession() {
  QFETCH(int, size);
  QFETCH(int, hardware);
  QFETCH(int, project);
  QFETCH(int, build);
  const Bytes data = Pattern(std::size_t(size));
  const Image image(data, unsigned(hardware), unsigned(project), unsigned(build));
  Bench bench;
  QCOMPARE(Open(bench, image), image.Request(0));
  QVERIFY(IsFinalPacket(Serve(bench, image)));

  const sim::Loader& loader = bench.core.loader();
  QVERIFY(loader.Complete());
  QCOMPARE(loader.Chunks(), image.records);
  QCOMPARE(loader.ImageData(), Padded(data));

  // Half a second later the closing note as a debug line; then the trace
  // is back.
  QVERIFY(bench.Run(440ms).empty());
  const Output note = bench.Run(20ms);
  QCOMPARE(note.at(0).bytes, std::string("Descarga Finalizada\r\n"));
  QCOMPARE(int(note[0].channel), int(sim::Channel::Trace));
  QVERIFY(Text(bench.Run(1100ms)).find(">> DI Status 1") != std::string::npos);
}

void DownloadTest::remoteSessionTakesPrefixedMessages() {
  sim::UnitOptions options = Bench::Quiet();
  options.remoteStation = 258;
  Bench bench(options);
  const Image image(Pattern(700));
  const Bytes prefix{1, 2};

  // Another station's download is not this unit's.
  QVERIFY(bench.Send(Join({0, 1}, kStart)).empty());
  QVERIFY(!bench.core.Downloading());

  // Its own: the tool's messages come behind the prefix, the unit's go raw.
  QCOMPARE(Message(bench.Send(Join(prefix, kStart))), kAnnounce);
  bench.Run(250ms);
  QVERIFY(bench.Send(image.Accept()).empty());  // no prefix: not for this unit
  QCOMPARE(Message(bench.Send(Join(prefix, image.Accept()))), image.Request(0));
  QVERIFY(bench.Send(image.Answer(image.Request(0))).empty());
  QVERIFY(IsFinalPacket(Serve(bench, image, 0, prefix)));
  QCOMPARE(bench.core.loader().ImageData(), Padded(Pattern(700)));

  // Without a prefix the start command is for the unit in between, played
  // here too; its session takes the tool's messages bare.
  bench.Run(600ms);
  QCOMPARE(Open(bench, image), image.Request(0));
  QVERIFY(IsFinalPacket(Serve(bench, image)));
}

void DownloadTest::faultOptions() {
  const Image image(Pattern(600));  // chunks 0-4
  sim::UnitOptions options = Bench::Quiet();
  options.download.failAt = 2;
  Bench failing(options);
  QCOMPARE(Open(failing, image), image.Request(0));
  failing.Send(image.Answer(image.Request(0)));
  // One piece in which the tool's receiver finds the text, trimming and all.
  const Output out = failing.Send(image.Answer(image.Request(1)));
  QCOMPARE(out.size(), std::size_t(1));
  QCOMPARE(int(out[0].channel), int(sim::Channel::Download));
  QVERIFY(ToolSeesText(out[0].bytes, "DownLoad FAIL"));
  QVERIFY(!failing.core.Downloading());
  QVERIFY(Text(failing.Run(1100ms)).find(">> DO ") != std::string::npos);

  options.download = {};
  options.download.stallAt = 1;
  Bench stalling(options);
  Open(stalling, image);
  QVERIFY(stalling.Send(image.Answer(image.Request(0))).empty());
  QVERIFY(stalling.Run(29s).empty());
  QVERIFY(Text(stalling.Run(2s)).find(">> DO ") != std::string::npos);
  QVERIFY(!stalling.core.Downloading() && !stalling.core.loader().Complete());

  // A damaged report is rejected and sent again at once; a damaged request
  // gets no reply and goes again a second later; a stray zero byte comes in
  // the same piece as the request behind it.
  options.download = {};
  options.download.badFirstReports = 1;
  options.download.badRequestAt = 1;
  options.download.strayByteAt = 2;
  Bench damaging(options);
  damaging.Send(kStart);
  const Bytes first = Message(damaging.Run(250ms));
  QVERIFY(first.size() == 24 && !SumOk(first));
  const Bytes second = Message(damaging.Send(image.Reject()));
  QVERIFY(SumOk(second) && std::equal(first.begin(), first.end() - 2, second.begin()));
  damaging.Send(image.Accept());
  const Bytes bad = Message(damaging.Send(image.Answer(image.Request(0))));
  const Bytes right = image.Request(1);
  QVERIFY(bad.size() == 13 && !SumOk(bad) &&
          std::equal(right.begin(), right.end() - 2, bad.begin()));
  QVERIFY(damaging.Run(900ms).empty());
  QCOMPARE(Message(damaging.Run(200ms)), right);
  QCOMPARE(Message(damaging.Send(image.Answer(right))), Join({0}, image.Request(2)));
  QVERIFY(IsFinalPacket(Serve(damaging, image, 2)));
  QCOMPARE(damaging.core.loader().ImageData(), Padded(Pattern(600)));
}

void DownloadTest::repeatsThenGivesUp() {
  const Image image(Pattern(600));
  Bench bench;
  const Bytes request = Open(bench, image);
  const Bytes good = image.Answer(request);

  // Damaged or foreign replies are thrown away: a wrong sum, another
  // chunk's data, a last chunk where data was due.
  Bytes badSum = good;
  badSum[100] ^= 0x40;
  Bytes lastChunk = image.Answer(image.Request(4));
  lastChunk[8] = 0;
  lastChunk = Sealed(Bytes(lastChunk.begin(), lastChunk.end() - 2));
  for (const Bytes& reply : {badSum, image.Answer(image.Request(1)), lastChunk})
    QVERIFY(bench.Send(reply).empty());
  QCOMPARE(int(bench.core.loader().counters().badReplies), 3);
  QVERIFY(bench.Run(900ms).empty());
  QCOMPARE(Message(bench.Run(110ms)), request);
  // Junk in front of a good reply is skipped.
  QCOMPARE(Message(bench.Send(Join({1, 0, 'x'}, good))), image.Request(1));

  // Three requests a second apart, then the unit gives up.
  QCOMPARE(Message(bench.Run(1s)), image.Request(1));
  QCOMPARE(Message(bench.Run(1s)), image.Request(1));
  QVERIFY(ToolSeesText(Text(bench.Run(1s)), "DownLoad FAIL"));
  QVERIFY(!bench.core.Downloading());

  // Rejected three times: the same end.
  bench.Send(kStart);
  bench.Run(250ms);
  QCOMPARE(Message(bench.Send(image.Reject())).size(), std::size_t(24));
  QCOMPARE(Message(bench.Send(image.Reject())).size(), std::size_t(24));
  QVERIFY(ToolSeesText(Text(bench.Send(image.Reject())), "DownLoad FAIL"));
  QCOMPARE(int(bench.core.loader().counters().failed), 2);
}

void DownloadTest::selfDownloadAndRestart() {
  sim::UnitOptions options = Bench::Quiet();
  options.selfDownloadAfter = 3s;
  Bench bench(options);
  QVERIFY(Text(bench.Run(2900ms)).find("Download") == std::string::npos);
  // The line the tool's receiver starts its session on, then the report.
  QCOMPARE(Message(bench.Run(100ms)), kAnnounce);
  QVERIFY(bench.Run(150ms).empty());
  QCOMPARE(Message(bench.Run(100ms)).size(), std::size_t(24));

  // The tool starts over in the middle of a session: so does the unit.
  const Image image(Pattern(300));
  QCOMPARE(Message(bench.Send(image.Accept())), image.Request(0));
  QCOMPARE(Message(bench.Send(Join({1, 0}, kStart))), kAnnounce);
  QCOMPARE(Message(bench.Run(250ms)).size(), std::size_t(24));
}

void DownloadTest::pacerGivesTheLoaderTheLine() {
  auto now = Clock::time_point() + 1h;
  sim::Pacer pacer(1920, 16, now);
  const std::string line =
      "GSM SE\xD1"
      "AL: -71 dBm\r\n";
  pacer.Push({line, sim::Channel::Trace});
  pacer.Push({line, sim::Channel::Trace});
  pacer.Push({"Tx Data-->01 <--Data\r\n", sim::Channel::Reply});
  while (pacer.Take(now += 1ms).empty()) {
  }
  // What the firmware had queued is gone, the line in progress too; the
  // report goes whole although it is longer than a paced piece.
  const std::string report(24, '\x02');
  pacer.Push({"Download Init\r\n", sim::Channel::Download});
  pacer.Push({report, sim::Channel::Download});
  std::vector<std::string> pieces;
  for (int i = 0; i < 1000; ++i)
    if (std::string piece = pacer.Take(now += 1ms); !piece.empty()) pieces.push_back(piece);
  QCOMPARE(pieces, (std::vector<std::string>{"Download Init\r\n", report}));
}

void DownloadTest::commandLine() {
  sim::CommandLine line =
      sim::ParseCommandLine({"--download-fail", "3", "--download-stall", "0", "--bad-first-report",
                             "2", "--bad-chunk-request", "5", "--stray-byte", "1",
                             "--self-download", "--com", "2", "--pace-input"});
  QVERIFY2(line.error.empty(), line.error.c_str());
  QVERIFY(line.options.paceInput);
  const sim::DownloadFaults& faults = line.options.download;
  QVERIFY(faults.failAt == 3 && faults.stallAt == 0 && faults.badRequestAt == 5 &&
          faults.strayByteAt == 1 && faults.badFirstReports == 2);
  QCOMPARE(line.options.selfDownloadAfter->count(), 5000);  // no value: the default
  QCOMPARE(sim::ParseCommandLine({"--self-download", "0.5"}).options.selfDownloadAfter->count(),
           500);
  for (auto bad : std::vector<std::vector<std::string>>{
           {"--download-fail", "-1"}, {"--stray-byte"}, {"--self-download", "soon"}})
    QVERIFY(!sim::ParseCommandLine(bad).error.empty());
}

// 1920 bytes a second: a byte is in 521 us after the one before it, and a
// second write queues behind the first.
void DownloadTest::toolBytesTakeTheirWireTime() {
  using namespace std::chrono_literals;
  const auto start = std::chrono::steady_clock::now();
  sim::ToolLine line(1920);
  const std::uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  line.Push(bytes, 6, start);
  line.Push(bytes + 6, 4, start + 1ms);
  QVERIFY(line.Take(start).empty());
  QCOMPARE(line.Wait(start).count(), 521);
  QCOMPARE(line.Take(start + 1600us), (std::vector<std::uint8_t>{1, 2, 3}));
  QCOMPARE(line.Take(start + 5200us), (std::vector<std::uint8_t>{4, 5, 6, 7, 8, 9}));
  QCOMPARE(line.Take(start + 5300us), (std::vector<std::uint8_t>{10}));
  QCOMPARE(line.Wait(start + 6ms), std::chrono::microseconds::max());
  sim::ToolLine unpaced(0);
  unpaced.Push(bytes, 10, start);
  QCOMPARE(unpaced.Take(start).size(), std::size_t(10));
}

void DownloadTest::project35KeepsSerialPort2At20000() {
  const std::vector<std::uint16_t> port{0x8001, 8, 0, 0, 0x4B00, 0, 100};
  sim::Identity identity;
  identity.project = 35;
  sim::RegisterMap compact(identity);
  // The tool's serial-port read, and its analog-input read of 20 registers.
  QCOMPARE(compact.Read(20000, 7), port);
  QCOMPARE(compact.Read(20007, 13), std::vector<std::uint16_t>(13, 0));
  QCOMPARE(compact.Read(20046, 7), std::vector<std::uint16_t>(7, 0));

  const std::vector<std::uint16_t> written{2, 7, 2, 1, 0x2580, 0, 250};
  compact.Write(20000, written);
  compact.Write(20007, std::vector<std::uint16_t>(13, 0x5555));
  compact.Write(20046, port);
  QCOMPARE(compact.Read(20000, 7), written);
  QCOMPARE(compact.Read(20007, 13), std::vector<std::uint16_t>(13, 0));
  compact.Write(20119, std::vector<std::uint16_t>(20, 9));  // analog inputs 1-4 stay here
  QCOMPARE(compact.Read(20119, 20), std::vector<std::uint16_t>(20, 9));
  compact.RestoreDefaults();
  QCOMPARE(compact.Read(20000, 7), port);

  sim::RegisterMap usual{sim::Identity{}};
  QCOMPARE(usual.Read(20046, 7), port);
  QCOMPARE(usual.Read(20000, 3), (std::vector<std::uint16_t>{1, 1, 60}));
}

void DownloadTest::sessionOverThePty() {
  sim::UnitOptions options = Bench::Quiet();
  sim::VirtualUnit unit(options);
  unit.Start();
  const int port = open(unit.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  QVERIFY(port >= 0);
  termios settings{};
  tcgetattr(port, &settings);
  cfmakeraw(&settings);
  tcsetattr(port, TCSANOW, &settings);
  std::this_thread::sleep_for(300ms);  // some trace on the line

  // One read takes what came in one burst, as the tool's reads do.
  const auto readOnce = [&](std::chrono::milliseconds wait) {
    pollfd poller{port, POLLIN, 0};
    char buffer[4096];
    const ssize_t n = poll(&poller, 1, int(wait.count())) > 0 ? read(port, buffer, 4096) : 0;
    return Bytes(buffer, buffer + std::max<ssize_t>(n, 0));
  };
  const auto send = [&](const Bytes& bytes) { return write(port, bytes.data(), bytes.size()); };

  QCOMPARE(send(kStart), ssize_t(14));
  Bytes received;
  for (int i = 0; i < 50 && !std::ranges::search(received, kAnnounce); ++i)
    received = Join(received, readOnce(20ms));
  QVERIFY(received.size() >= 15 && Bytes(received.end() - 15, received.end()) == kAnnounce);

  // From here on each of the unit's messages comes alone and whole.
  const Image image(Pattern(1000));
  const Bytes report = readOnce(1000ms);
  QVERIFY(report.size() == 24 && SumOk(report));
  send(image.Accept());
  for (unsigned n = 0; n < image.Count(); ++n) {
    const Bytes request = readOnce(1000ms);
    QCOMPARE(request, image.Request(n));
    send(image.Answer(request));
  }
  QVERIFY(IsFinalPacket(readOnce(1000ms)));
  QCOMPARE(unit.ReceivedImage(), Padded(Pattern(1000)));
  QVERIFY(readOnce(400ms).empty());  // until the closing note
  close(port);
  unit.Stop();
}

QTEST_GUILESS_MAIN(DownloadTest)
#include "download_test.moc"
