// The virtual unit, checked against the wire formats the tool expects. The
// helpers here decode what the unit sends the way the tool reads it, without
// the tool's code.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QtTest>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sim/Crc.h"
#include "sim/Options.h"
#include "sim/Pacer.h"
#include "sim/Plant.h"
#include "sim/Registers.h"
#include "sim/UnitCore.h"
#include "sim/VirtualUnit.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes HexBytes(const char* hex) {
  const QByteArray bytes = QByteArray::fromHex(hex);
  return Bytes(bytes.begin(), bytes.end());
}

std::string Hex(const Bytes& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))
      .toHex(' ')
      .toUpper()
      .toStdString();
}

// Table-free CRC of the tool's definition, to check the unit's frames.
std::uint16_t ReferenceCrc(const Bytes& bytes, std::size_t count) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < count; ++i) {
    crc ^= bytes[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1) ? 0xA001 : 0);
  }
  return crc;
}

bool CrcOk(const Bytes& frame) {
  if (frame.size() < 3) return false;
  const std::uint16_t crc = ReferenceCrc(frame, frame.size() - 2);
  return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

Bytes WithCrc(Bytes frame) {
  const std::uint16_t crc = ReferenceCrc(frame, frame.size());
  frame.push_back(std::uint8_t(crc & 0xFF));
  frame.push_back(std::uint8_t(crc >> 8));
  return frame;
}

Bytes ReadRequest(std::uint16_t first, std::uint16_t count) {
  return WithCrc({1, 3, std::uint8_t(first >> 8), std::uint8_t(first), std::uint8_t(count >> 8),
                  std::uint8_t(count)});
}

// The tool's write frame: byte count is the low 8 bits of 2N unless given.
Bytes WriteRequest(std::uint16_t first, const Bytes& payload, int byteCount = -1) {
  const std::size_t count = payload.size() / 2;
  Bytes frame{1,
              16,
              std::uint8_t(first >> 8),
              std::uint8_t(first),
              0,
              std::uint8_t(count),
              std::uint8_t(byteCount < 0 ? 2 * count : std::size_t(byteCount))};
  frame.insert(frame.end(), payload.begin(), payload.end());
  return WithCrc(frame);
}

Bytes CoilRequest(std::uint16_t coil, bool on) {
  return WithCrc({1, 5, 0, std::uint8_t(coil), std::uint8_t(on ? 0xFF : 0), 0});
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

// Embedded frames as the tool's receiver cuts them out of a line: 3
// characters per byte between the markers, the third one skipped.
std::vector<Bytes> Frames(const std::string& text) {
  std::vector<Bytes> frames;
  for (const std::string& line : Lines(text)) {
    const std::size_t close = line.find("<--Data");
    if (close == std::string::npos) continue;
    const std::size_t open = line.find("Data-->");
    if (open == std::string::npos || open >= close) continue;
    const std::size_t first = open + 7;
    Bytes frame;
    // Digits beyond 0-9 and A-F count as their character code, as in the tool.
    const auto digit = [&](std::size_t at) {
      const char c = line[at];
      return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : int(c);
    };
    for (std::size_t i = 0; i < (close - first) / 3; ++i)
      frame.push_back(std::uint8_t(digit(first + 3 * i) * 16 + digit(first + 3 * i + 1)));
    frames.push_back(frame);
  }
  return frames;
}

// Payload text slot, first character in each register's low byte.
std::string SlotText(const Bytes& payload, std::size_t at, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size; i += 2) {
    for (std::uint8_t c : {payload[at + i + 1], payload[at + i]}) {
      if (c == 0) return text;
      text.push_back(char(c));
    }
  }
  return text;
}

// The trace interpreter's way of finding fields: after a marker, each field
// starts right after the next "-".
std::vector<char> FlagFields(const std::string& line, const std::string& marker, int count) {
  std::vector<char> fields;
  std::size_t at = line.find(marker);
  for (int i = 0; i < count && at != std::string::npos; ++i) {
    at = line.find('-', at + (i == 0 ? 0 : 1));
    if (at == std::string::npos || at + 1 >= line.size()) break;
    fields.push_back(line[at + 1]);
  }
  return fields;
}

// An ADC line: 5 groups from each "[", 4 values from each "-", numbers read
// as strtol reads them.
struct AdcFields {
  std::vector<std::vector<long>> numbers;  // groups 0 and 1
  std::vector<std::vector<char>> flags;    // groups 2-4
};

AdcFields ParseAdc(const std::string& line) {
  AdcFields fields;
  std::size_t at = 0;
  for (int g = 0; g < 5; ++g) {
    at = line.find('[', at);
    if (at == std::string::npos) break;
    std::vector<long> numbers;
    std::vector<char> flags;
    for (int j = 0; j < 4; ++j) {
      at = line.find('-', at);
      if (at == std::string::npos) break;
      ++at;
      if (g < 2) {
        char* end = nullptr;
        numbers.push_back(std::strtol(line.c_str() + at, &end, 10));
        if (end == line.c_str() + at) numbers.back() = -999999;  // no number there
      } else {
        flags.push_back(line[at]);
      }
    }
    if (g < 2)
      fields.numbers.push_back(numbers);
    else
      fields.flags.push_back(flags);
  }
  return fields;
}

// The synchronous core with a clock of its own.
struct Bench {
  explicit Bench(sim::UnitOptions options = Quiet()) : core(options, now) { core.TakeOutput(); }

  static sim::UnitOptions Quiet() {
    sim::UnitOptions options;
    options.com = 0;
    options.telemetryPeriod = 0ms;
    return options;
  }

  std::string Send(const Bytes& bytes) {
    core.Receive(bytes, now);
    return sim::Concatenate(core.TakeOutput());
  }
  Bytes Ask(const Bytes& request) {
    const std::vector<Bytes> frames = Frames(Send(request));
    return frames.size() == 1 ? frames[0] : Bytes{};
  }
  std::string Run(std::chrono::milliseconds span) {
    std::string out;
    for (const auto end = now + span; now < end;) {
      now += 10ms;
      core.Tick(now);
      out += sim::Concatenate(core.TakeOutput());
    }
    return out;
  }

  Clock::time_point now = Clock::time_point() + 1000h;
  sim::UnitCore core;
};

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

}  // namespace

class UnitTest : public QObject {
  Q_OBJECT

 private slots:
  void crcKnownAnswers_data();
  void crcKnownAnswers();
  void identificationReadIsEmbedded();
  void writesReadBack_data();
  void writesReadBack();
  void unwantedFramesGetNoAnswer();
  void remoteStationAnswersRaw();
  void coilsActOnTheUnit();
  void clockIsSetByItsRegisters();
  void telemetryFrameFollowsState();
  void traceLinesParseAsTheToolReadsThem();
  void faultsOnRequest();
  void storeFaults();
  void commandLine();
  void slowAnalogWandersWithRareSpikes();
  void pacerSendsLinesInPiecesAndRawRepliesWhole();
  void ptyDeliversPacedLinesAndAnswers();
};

void UnitTest::crcKnownAnswers_data() {
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<int>("crc");
  QTest::newRow("check string") << QByteArray("123456789") << 0x4B37;
  QTest::newRow("identification read") << QByteArray::fromHex("010303E8002D") << 0xA705;
  QTest::newRow("coil 1 on") << QByteArray::fromHex("01050000FF00") << 0x3A8C;
  QTest::newRow("digital output write")
      << QByteArray::fromHex("01104E400003060BB800010BB8") << 0x9F72;
}

void UnitTest::crcKnownAnswers() {
  QFETCH(QByteArray, bytes);
  QFETCH(int, crc);
  const Bytes data(bytes.begin(), bytes.end());
  QCOMPARE(int(sim::Crc16(data)), crc);
  Bytes framed = data;
  sim::AppendCrc(framed);
  QCOMPARE(int(framed[framed.size() - 2]), crc & 0xFF);  // low byte first
  QVERIFY(sim::HasValidCrc(framed));
  framed.back() ^= 1;
  QVERIFY(!sim::HasValidCrc(framed));
}

void UnitTest::identificationReadIsEmbedded() {
  sim::UnitOptions options = Bench::Quiet();
  options.identity.project = 35;
  options.identity.build = 0xFFFE;
  options.identity.imei = "12345678901234567890";  // fills the slot, no terminator
  Bench bench(options);
  const std::string text = bench.Send(HexBytes("01 03 03 E8 00 2D 05 A7"));

  // One line: "Data-->", "XX " per byte, "<--Data", CR LF.
  QCOMPARE(Lines(text).size(), std::size_t(1));
  QVERIFY(Has(text, "Data-->01 03 5A "));
  QVERIFY(text.ends_with(" <--Data\r\n"));
  const Bytes reply = Frames(text).at(0);
  QCOMPARE(reply.size(), std::size_t(95));
  QVERIFY(CrcOk(reply));

  const Bytes payload(reply.begin() + 3, reply.end() - 2);
  QCOMPARE(SlotText(payload, 4, 20), std::string("2022-05-03 10:15"));
  QCOMPARE(int(payload[27]), 35);
  QCOMPARE(payload[28] * 256 + payload[29], 0xFFFE);
  QCOMPARE(SlotText(payload, 30, 20), std::string("SIM7600SA-H"));
  QCOMPARE(SlotText(payload, 50, 20), std::string("12345678901234567890"));
  QCOMPARE(SlotText(payload, 70, 20), std::string("722310123456789"));
  // First two characters of the date register: low byte '2', high byte '0'.
  QCOMPARE(Hex({payload[4], payload[5]}), std::string("30 32"));
}

void UnitTest::writesReadBack_data() {
  QTest::addColumn<int>("first");
  QTest::addColumn<QByteArray>("payloadBytes");
  QTest::addColumn<int>("byteCount");
  QByteArray digitalTable(256, 0), analogTable(288, 0), tags(128, 0);
  for (int i = 0; i < digitalTable.size(); ++i) digitalTable[i] = char(i * 7);
  for (int i = 0; i < analogTable.size(); ++i) analogTable[i] = char(255 - i);
  tags.replace(16, 7,
               "\xC3\xB1"
               "and\xC3\xBA");  // UTF-8 text travels as it is

  QTest::newRow("inputs 1-8") << 20105 << QByteArray::fromHex("0005001E0002000000800001") << -1;
  QTest::newRow("serial port 2, byte count 12 for 14 bytes")
      << 20046 << QByteArray::fromHex("8001000800010002E10000000064") << 12;
  QTest::newRow("digital table, byte count 0x00") << 40000 << digitalTable << 0x00;
  QTest::newRow("analog table, byte count 0x20") << 40128 << analogTable << 0x20;
  QTest::newRow("digital tags") << 50000 << tags << -1;
  QTest::newRow("analog inputs 5-8") << 20153 << QByteArray(40, 0x5A) << -1;
}

void UnitTest::writesReadBack() {
  QFETCH(int, first);
  QFETCH(QByteArray, payloadBytes);
  const Bytes payload(payloadBytes.begin(), payloadBytes.end());
  QFETCH(int, byteCount);
  Bench bench;
  const std::uint16_t address = std::uint16_t(first);
  const std::uint16_t count = std::uint16_t(payload.size() / 2);

  const Bytes ack = bench.Ask(WriteRequest(address, payload, byteCount));
  QCOMPARE(Hex(ack), Hex(WithCrc({1, 0x10, std::uint8_t(address >> 8), std::uint8_t(address), 0,
                                  std::uint8_t(count)})));

  const Bytes reply = bench.Ask(ReadRequest(address, count));
  QCOMPARE(reply.size(), 5 + payload.size());
  QVERIFY(CrcOk(reply));
  QCOMPARE(Hex(Bytes(reply.begin() + 3, reply.end() - 2)), Hex(payload));
  QCOMPARE(int(bench.core.counters().replies), 2);
}

void UnitTest::unwantedFramesGetNoAnswer() {
  Bench bench;
  Bytes bad = ReadRequest(20032, 3);
  bad.back() ^= 0x01;
  QCOMPARE(bench.Send(bad), std::string());
  Bytes otherSlave = ReadRequest(20032, 3);
  otherSlave[0] = 2;
  QCOMPARE(bench.Send(WithCrc(Bytes(otherSlave.begin(), otherSlave.end() - 2))), std::string());
  QCOMPARE(bench.Send(HexBytes("00 01 01 03 4E 40 00 03 13 37")), std::string());  // a prefix
  QCOMPARE(int(bench.core.counters().requests), 0);
  QVERIFY(bench.core.counters().ignored >= 3);

  // A frame in pieces is answered once it is whole.
  const Bytes read = HexBytes("01 03 4E 40 00 03 13 37");
  QCOMPARE(bench.Send(Bytes(read.begin(), read.begin() + 3)), std::string());
  QCOMPARE(bench.Ask(Bytes(read.begin() + 3, read.end())).size(), std::size_t(11));

  // A piece left alone is dropped after a silence; the next frame is fine.
  QCOMPARE(bench.Send(Bytes(read.begin(), read.begin() + 5)), std::string());
  bench.Run(200ms);
  QCOMPARE(bench.Ask(read).size(), std::size_t(11));

  // Unknown registers and functions get Modbus exceptions.
  QCOMPARE(Hex(bench.Ask(ReadRequest(9000, 2))), Hex(WithCrc({1, 0x83, 2})));
  QCOMPARE(Hex(bench.Ask(WriteRequest(1000, Bytes(2, 0)))), Hex(WithCrc({1, 0x90, 2})));
  QCOMPARE(Hex(bench.Ask(WithCrc({1, 4, 0, 0, 0, 1}))), Hex(WithCrc({1, 0x84, 1})));
}

void UnitTest::remoteStationAnswersRaw() {
  sim::UnitOptions options = Bench::Quiet();
  options.remoteStation = 258;
  Bench bench(options);
  const Bytes local = HexBytes("01 03 03 E8 00 2D 05 A7");
  Bytes prefixed = HexBytes("01 02");
  prefixed.insert(prefixed.end(), local.begin(), local.end());

  bench.core.Receive(prefixed, bench.now);
  const std::vector<sim::Outgoing> out = bench.core.TakeOutput();
  QCOMPARE(out.size(), std::size_t(1));
  QCOMPARE(int(out[0].channel), int(sim::Channel::Raw));
  const Bytes reply(out[0].bytes.begin(), out[0].bytes.end());
  QCOMPARE(reply.size(), std::size_t(95));
  QVERIFY(CrcOk(reply));
  QCOMPARE(Hex(Bytes(reply.begin(), reply.begin() + 3)), std::string("01 03 5A"));

  // Another station, or the prefix inside the CRC: no answer.
  QCOMPARE(bench.Send(HexBytes("00 01 01 03 03 E8 00 2D 05 A7")), std::string());
  Bytes covered = WithCrc(HexBytes("01 02 01 03 03 E8 00 2D"));
  QCOMPARE(bench.Send(covered), std::string());

  // A frame split right after the prefix still makes one reply.
  bench.core.Receive(Bytes(prefixed.begin(), prefixed.begin() + 2), bench.now);
  bench.core.Receive(Bytes(prefixed.begin() + 2, prefixed.end()), bench.now);
  QCOMPARE(sim::Concatenate(bench.core.TakeOutput()).size(), std::size_t(95));

  // Frames without a prefix (the tool's clock and reset commands) reach the
  // unit in between, which answers inside a debug line.
  QCOMPARE(bench.Ask(CoilRequest(15, true)).size(), std::size_t(8));

  // The trace goes on as debug lines.
  const std::string trace = bench.Run(1100ms);
  QVERIFY(Has(trace, ">> DI Status 1"));
}

void UnitTest::coilsActOnTheUnit() {
  Bench bench;
  // Relays: the reply echoes the request and the coil line follows at once.
  const Bytes on = HexBytes("01 05 00 01 FF 00 DD FA");
  std::string text = bench.Send(on);
  QCOMPARE(Hex(Frames(text).at(0)), Hex(on));
  QVERIFY(Has(text, ">> DO -0 -1\r\n"));
  QVERIFY(bench.core.Relay(1));

  // In pulse mode the relay opens again after the pulse width.
  bench.core.registers().Set(sim::reg::kDoMode, 1);
  bench.core.registers().Set(sim::reg::kDoPulseWidth, 500);
  bench.Send(CoilRequest(0, true));
  QVERIFY(bench.core.Relay(0));
  QVERIFY(Has(bench.Run(600ms), ">> DO -0 -1"));
  QVERIFY(!bench.core.Relay(0));

  bench.Send(CoilRequest(2, true));
  QVERIFY(bench.core.ManualMode());

  // Forced disconnection: the server comes back later by itself.
  QCOMPARE(bench.Ask(CoilRequest(10, true)).size(), std::size_t(8));
  QVERIFY(!bench.core.ServerConnected());
  QVERIFY(bench.core.InternetConnected());
  bench.Run(21s);
  QVERIFY(bench.core.ServerConnected());

  // Defaults undo a write.
  bench.Ask(WriteRequest(20000, HexBytes("03 E8")));
  QCOMPARE(int(bench.core.registers().Get(20000)), 1000);
  bench.Ask(CoilRequest(9, true));
  QCOMPARE(int(bench.core.registers().Get(20000)), 1);

  bench.Run(10s);
  bench.Ask(CoilRequest(14, true));
  for (std::uint32_t count : bench.core.InputCounters()) QCOMPARE(count, 0u);

  // Reset: acknowledged, then silence while booting, then the banner and
  // the trace again, relays open, the modem registering anew.
  text = bench.Send(CoilRequest(8, true));
  QCOMPARE(Frames(text).size(), std::size_t(1));
  QVERIFY(!bench.core.Relay(1));
  QVERIFY(!bench.core.ManualMode());
  QCOMPARE(bench.Send(ReadRequest(20032, 3)), std::string());  // busy booting
  QCOMPARE(bench.Run(1s), std::string());
  text = bench.Run(2s);
  QVERIFY(Has(text, "Qirel Dalvesca"));
  QVERIFY(Has(text, ">> DO -0 -0"));
  QVERIFY(!bench.core.ServerConnected());
  bench.Run(10s);
  QVERIFY(bench.core.ServerConnected());

  // Not a coil of the unit, or not a coil value.
  QCOMPARE(Hex(bench.Ask(CoilRequest(3, true))), Hex(WithCrc({1, 0x85, 2})));
  QCOMPARE(Hex(bench.Ask(WithCrc({1, 5, 0, 0, 0x12, 0x34}))), Hex(WithCrc({1, 0x85, 3})));
}

void UnitTest::clockIsSetByItsRegisters() {
  Bench bench;
  // 2022-11-23 14:05:09 UTC, a Wednesday.
  const Bytes ack = bench.Ask(WriteRequest(30000, HexBytes("09 05 0E 17 0B 7A 03 00"), 8));
  QCOMPARE(Hex(ack), Hex(WithCrc({1, 0x10, 0x75, 0x30, 0, 4})));
  const auto set = std::chrono::system_clock::from_time_t(1669212309);
  const auto difference = bench.core.UnitTime() - set;
  QVERIFY(difference > -2s && difference < 2s);

  // Write only; impossible dates are refused.
  QCOMPARE(Hex(bench.Ask(ReadRequest(30000, 4))), Hex(WithCrc({1, 0x83, 2})));
  QCOMPARE(Hex(bench.Ask(WriteRequest(30000, HexBytes("3C 05 0E 17 0B 7A 03 00")))),
           Hex(WithCrc({1, 0x90, 3})));
}

void UnitTest::telemetryFrameFollowsState() {
  sim::UnitOptions options = Bench::Quiet();
  options.telemetryPeriod = 5s;
  Bench bench(options);
  auto telemetry = [&] {
    std::vector<Bytes> frames = Frames(bench.Run(5s));
    return frames.size() == 1 ? frames[0] : Bytes{};
  };

  Bytes frame = telemetry();
  QCOMPARE(frame.size(), std::size_t(81));
  QVERIFY(CrcOk(frame));
  QCOMPARE(Hex(Bytes(frame.begin(), frame.begin() + 3)), std::string("01 03 4C"));
  QVERIFY(frame[35] != 0);
  QCOMPARE(int(frame[36]), 8);
  const int millivolts = frame[75] * 256 + frame[76];
  QVERIFY(millivolts > 11000 && millivolts < 14000);
  QCOMPARE(frame[77] & 0x0F, 1);
  QCOMPARE(frame[78] & 0x0F, 1);

  bench.Send(CoilRequest(10, true));
  frame = telemetry();
  QCOMPARE(frame[77] & 0x0F, 1);
  QCOMPARE(frame[78] & 0x0F, 0);

  bench.core.FaultNext(sim::Fault::TelemetryCrc, 1);
  QVERIFY(!CrcOk(telemetry()));
  QVERIFY(CrcOk(telemetry()));

  // Just after a reset: not registered, no data, nothing connected.
  bench.Send(CoilRequest(8, true));
  bench.Run(2s);
  const auto booted = sim::TelemetryFrame(bench.core.Telemetry());
  frame.assign(booted.begin(), booted.end());
  QVERIFY(CrcOk(frame));
  QCOMPARE(int(frame[35]), 0);
  QCOMPARE(int(frame[36]), 0);
  QCOMPARE(frame[77] & 0x0F, 0);
  QCOMPARE(frame[78] & 0x0F, 0);
}

void UnitTest::traceLinesParseAsTheToolReadsThem() {
  Bench bench;
  // Input 1's high alarm at 1 and its low alarm off: only group 4 flags it.
  bench.core.registers().Set(sim::reg::kAnalogInputs1 + 8, 0);
  bench.core.registers().Set(sim::reg::kAnalogInputs1 + 12, 1);
  const std::string text = bench.Run(12s);
  QVERIFY(text.ends_with("\r\n"));

  const char* live[] = {"DO ", "DI Status 1", "DI Status 2", "ADC 1", "ADC 2"};
  int signal = 0, coils = 0, inputs = 0, analog = 0;
  for (const std::string& line : Lines(text)) {
    QVERIFY2(line.size() < 2047 && line.find_first_of("\r\n") == std::string::npos, line.c_str());
    QVERIFY(!Has(line, "Data-->") && !Has(line, "<--Data") && !Has(line, "Download"));

    const std::size_t mark = line.find(
        "SE\xD1"
        "AL");
    if (mark != std::string::npos) {
      const std::string value = line.substr(mark + 7, line.find(' ', mark + 7) - (mark + 7));
      const int dbm = std::stoi(value);
      QVERIFY2(dbm <= -51 && dbm >= -113 && std::to_string(dbm) == value, line.c_str());
      ++signal;
    }
    if (!Has(line, ">>")) continue;
    int markers = 0;
    for (const char* marker : live) markers += Has(line, marker);
    QVERIFY2(markers == 1, line.c_str());  // each live line drives one thing only

    const auto digits = [](const std::vector<char>& fields) {
      return std::all_of(fields.begin(), fields.end(), [](char c) { return c == '0' || c == '1'; });
    };
    if (Has(line, "DO ")) {
      const std::vector<char> fields = FlagFields(line, "DO ", 2);
      QVERIFY(fields.size() == 2 && digits(fields));
      ++coils;
    }
    for (const char* group : {"DI Status 1", "DI Status 2"}) {
      if (!Has(line, group)) continue;
      const std::vector<char> fields = FlagFields(line, group, 9);
      QVERIFY2(fields.size() == 8 && digits(fields), line.c_str());
      ++inputs;
    }
    if (Has(line, "ADC 1") || Has(line, "ADC 2")) {
      const AdcFields fields = ParseAdc(line);
      QCOMPARE(fields.numbers.size(), std::size_t(2));
      QCOMPARE(fields.flags.size(), std::size_t(3));
      for (const auto& numbers : fields.numbers) {
        QCOMPARE(numbers.size(), std::size_t(4));
        for (long n : numbers) QVERIFY2(n >= 0 && n <= 20000, line.c_str());
      }
      for (const auto& flags : fields.flags) QVERIFY(flags.size() == 4 && digits(flags));
      if (Has(line, "ADC 1")) {
        QCOMPARE(fields.flags[0][0], '0');  // input 1 is wired
        QCOMPARE(fields.flags[1][0], '0');
        QCOMPARE(fields.flags[2][0], '1');  // above its high alarm: "Alto"
        QVERIFY(fields.numbers[0][0] >= 4 && fields.numbers[0][0] <= 20);  // mA
      } else {
        QCOMPARE(fields.flags[0][3], '1');  // input 8 is an unwired current input
      }
      ++analog;
    }
  }
  // Once a second each; two of each digital and analog line.
  QVERIFY(signal >= 11 && coils >= 11 && inputs >= 22 && analog >= 22);
  for (const char* marker : {">Serial TX", "bytes en buffer", ">Serial RX",
                             ">serial:", ">MODBUS TCP", ">IEC 104 -", ">DNP"})
    QVERIFY2(Has(text, marker), marker);
  // Writes show up as the unit storing them.
  QVERIFY(Has(bench.Send(WriteRequest(20032, HexBytes("0B B8 00 01 0B B8"))), "Escribiendo"));
}

void UnitTest::faultsOnRequest() {
  Bench bench;
  const Bytes read = ReadRequest(20032, 3);

  bench.core.FaultNext(sim::Fault::DropReply, 1);
  QCOMPARE(bench.Send(read), std::string());
  QCOMPARE(int(bench.core.counters().dropped), 1);
  QCOMPARE(bench.Ask(read).size(), std::size_t(11));

  bench.core.FaultNext(sim::Fault::ReplyCrc, 1);
  Bytes reply = bench.Ask(read);
  QCOMPARE(reply.size(), std::size_t(11));
  QVERIFY(!CrcOk(reply));

  bench.core.FaultNext(sim::Fault::TruncateReply, 1);
  QCOMPARE(bench.Ask(read).size(), std::size_t(5));

  bench.core.FaultEvery(sim::Fault::DropReply, 2);
  int answered = 0;
  for (int i = 0; i < 6; ++i) answered += !bench.Ask(read).empty();
  QCOMPARE(answered, 3);
  bench.core.FaultEvery(sim::Fault::DropReply, 0);

  bench.core.SendGarbage(40);
  const std::string noise = sim::Concatenate(bench.core.TakeOutput());
  QCOMPARE(noise.size(), std::size_t(42));
  QVERIFY(noise.ends_with("\r\n"));

  // Silent: no trace and no answers, then back to normal.
  bench.core.GoSilent(3s, bench.now);
  QCOMPARE(bench.Send(read), std::string());
  QCOMPARE(bench.Run(2900ms), std::string());
  QVERIFY(Has(bench.Run(1200ms), ">> DO "));
  QCOMPARE(bench.Ask(read).size(), std::size_t(11));
}

// Faults that make a write look taken when it was not, or a unit that is late
// or stops answering.
void UnitTest::storeFaults() {
  sim::UnitOptions options = Bench::Quiet();
  options.store.ignoreWritesAt = 20106;
  options.store.flipBitAt = 20140;
  Bench bench(options);
  const Bytes payload = HexBytes("000500 1E00020000008000 01");
  // Acknowledged, not stored: the block reads as before.
  const Bytes before = bench.Ask(ReadRequest(20105, 6));
  QCOMPARE(bench.Ask(WriteRequest(20105, payload)).size(), std::size_t(8));
  QCOMPARE(Hex(bench.Ask(ReadRequest(20105, 6))), Hex(before));
  // Stored with register 20140's lowest bit changed, the rest as sent.
  QCOMPARE(bench.Ask(WriteRequest(20139, payload)).size(), std::size_t(8));
  Bytes stored = payload;
  stored[3] ^= 1;
  const Bytes reply = bench.Ask(ReadRequest(20139, 6));
  QCOMPARE(Hex(Bytes(reply.begin() + 3, reply.end() - 2)), Hex(stored));
  QCOMPARE(int(bench.core.counters().writes), 2);

  // Late: the reply waits for its time.
  sim::StoreFaults late;
  late.replyDelay = 300ms;
  bench.core.SetStoreFaults(late);
  QCOMPARE(bench.Send(ReadRequest(20032, 3)), std::string());
  QCOMPARE(Frames(bench.Run(250ms)).size(), std::size_t(0));
  QCOMPARE(Frames(bench.Run(100ms)).size(), std::size_t(1));

  // Stops answering after a number of requests, whatever they are.
  sim::StoreFaults tired;
  tired.answerRequests = bench.core.counters().requests + 1;
  bench.core.SetStoreFaults(tired);
  QCOMPARE(bench.Ask(ReadRequest(20032, 3)).size(), std::size_t(11));
  QCOMPARE(bench.Send(ReadRequest(20032, 3)), std::string());
  QCOMPARE(bench.Send(WriteRequest(20105, payload)), std::string());

  const sim::CommandLine line = sim::ParseCommandLine(
      {"--ignore-writes", "20105", "--flip-bit", "20034", "--reply-delay", "0.5", "--answer", "7"});
  QVERIFY2(line.error.empty(), line.error.c_str());
  QCOMPARE(int(*line.options.store.ignoreWritesAt), 20105);
  QCOMPARE(int(*line.options.store.flipBitAt), 20034);
  QCOMPARE(line.options.store.replyDelay.count(), 500);
  QCOMPARE(*line.options.store.answerRequests, 7u);
  QVERIFY(!sim::ParseCommandLine({"--flip-bit", "65536"}).error.empty());
}

void UnitTest::commandLine() {
  sim::CommandLine line = sim::ParseCommandLine(
      {"--com", "4", "--remote", "258", "--project", "35", "--imei", "490154203237518", "--no-pace",
       "--telemetry-period", "2.5", "--drop", "3", "--silence", "10:5"});
  QVERIFY2(line.error.empty(), line.error.c_str());
  QCOMPARE(line.options.com, 4);
  QCOMPARE(int(*line.options.remoteStation), 258);
  QCOMPARE(line.options.identity.project, 35);
  QCOMPARE(line.options.identity.imei, std::string("490154203237518"));
  QCOMPARE(line.options.bytesPerSecond, 0);
  QCOMPARE(line.options.telemetryPeriod.count(), 2500);
  QCOMPARE(line.options.faults[std::size_t(sim::Fault::DropReply)].every, 3);
  QCOMPARE(line.options.silenceAfter->count(), 10000);
  QCOMPARE(line.options.silenceFor.count(), 5000);

  for (auto bad : std::vector<std::vector<std::string>>{{"--project", "256"},
                                                        {"--remote"},
                                                        {"--com", "x"},
                                                        {"--imei", std::string(21, '1')},
                                                        {"--silence", "10"},
                                                        {"--bogus"}})
    QVERIFY(!sim::ParseCommandLine(bad).error.empty());
  QVERIFY(sim::ParseCommandLine({"--help"}).help);
  QVERIFY(sim::ParseCommandLine({"--slow-analog"}).options.slowAnalog);
  QVERIFY(!sim::ParseCommandLine({}).options.slowAnalog);
}

// A day of slow analog values: second to second they barely move, except
// for the odd one-second jump, which the trend page must show.
void UnitTest::slowAnalogWandersWithRareSpikes() {
  sim::Plant plant(7, true);
  std::vector<double> day;
  for (int second = 0; second <= 86400; ++second) {
    plant.Advance(second);
    day.push_back(plant.Analog(0));
  }
  int spikes = 0;
  double low = 1, high = 0;
  for (std::size_t i = 1; i + 1 < day.size(); ++i) {
    const bool spike = day[i] == 0.98 || day[i] == 0.02;
    if (spike) {
      ++spikes;
      QVERIFY(std::abs(day[i] - day[i - 1]) > 0.1);
      QVERIFY(std::abs(day[i] - day[i + 1]) > 0.1);
      continue;
    }
    if (day[i - 1] == 0.98 || day[i - 1] == 0.02) continue;
    QVERIFY2(std::abs(day[i] - day[i - 1]) < 0.01, qPrintable(QString::number(i)));
    low = std::min(low, day[i]);
    high = std::max(high, day[i]);
  }
  QVERIFY2(spikes >= 3 && spikes <= 40, qPrintable(QString::number(spikes)));
  QVERIFY(high - low > 0.4);  // it does wander over the day
  QVERIFY(plant.Analog(7) < 0);  // the input with nothing wired stays so
}

void UnitTest::pacerSendsLinesInPiecesAndRawRepliesWhole() {
  auto now = Clock::time_point() + 1h;
  sim::Pacer pacer(1920, 16, now);
  const std::string line = std::string(150, 'x') + "\r\n";
  pacer.Push({line, sim::Channel::Trace});
  pacer.Push({line, sim::Channel::Trace});

  // 1920 bytes a second, at most 16 at a time.
  std::string sent;
  for (int i = 0; i < 50; ++i) {  // 50 ms
    now += 1ms;
    const std::string piece = pacer.Take(now);
    QVERIFY(piece.size() <= 16);
    sent += piece;
  }
  QVERIFY(sent.size() >= 90 && sent.size() <= 97);

  // A reply overtakes the queued line at the end of the current one.
  pacer.Push({"Tx Data-->01 <--Data\r\n", sim::Channel::Reply});
  for (int i = 0; i < 100; ++i) sent += pacer.Take(now += 1ms);
  QVERIFY(sent.starts_with(line + "Tx Data-->"));

  // A raw reply cuts the line in progress and goes out in one piece; the
  // cut line ends after a quiet spell, then the trace goes on.
  pacer.Push({std::string(95, 'R'), sim::Channel::Raw});
  pacer.Push({line, sim::Channel::Trace});
  std::string burst;
  while (burst.empty()) burst = pacer.Take(now += 1ms);
  QCOMPARE(burst, std::string(95, 'R'));
  std::string after;
  for (int i = 0; i < 240; ++i) after += pacer.Take(now += 1ms);
  QCOMPARE(after, std::string());
  for (int i = 0; i < 200; ++i) after += pacer.Take(now += 1ms);
  QVERIFY(after.starts_with("\r\n"));
  QCOMPARE(pacer.Pending(), std::size_t(0));
  QVERIFY(after.ends_with(line));
}

void UnitTest::ptyDeliversPacedLinesAndAnswers() {
  sim::UnitOptions options;
  options.com = 7;
  options.telemetryPeriod = 0ms;
  sim::VirtualUnit unit(options);
  unit.Start();
  const std::string link = unit.LinkPath();
  QCOMPARE(std::filesystem::read_symlink(link).string(), unit.SlavePath());

  const int port = open(link.c_str(), O_RDWR | O_NOCTTY);
  QVERIFY(port >= 0);
  termios settings{};
  tcgetattr(port, &settings);
  cfmakeraw(&settings);
  tcsetattr(port, TCSANOW, &settings);

  // Collect reads for a while: lines come in small pieces, at line pace.
  struct Piece {
    Clock::time_point at;
    std::string bytes;
  };
  std::vector<Piece> pieces;
  std::string all;
  const auto readFor = [&](std::chrono::milliseconds span) {
    for (const auto end = Clock::now() + span; Clock::now() < end;) {
      pollfd poller{port, POLLIN, 0};
      if (poll(&poller, 1, 20) <= 0) continue;
      char buffer[4096];
      const ssize_t n = read(port, buffer, sizeof buffer);
      if (n <= 0) break;
      pieces.push_back({Clock::now(), std::string(buffer, std::size_t(n))});
      all += pieces.back().bytes;
    }
  };
  const auto start = Clock::now();
  readFor(2500ms);
  QVERIFY2(Has(all, ">> DI Status 1"), all.c_str());
  QVERIFY2(pieces.size() * 40 >= all.size(), std::to_string(pieces.size()).c_str());
  const double seconds = std::chrono::duration<double>(pieces.back().at - start).count();
  QVERIFY(double(all.size()) <= 1920 * seconds + 64);
  // Some line's bytes arrived over more than one read.
  const auto split = std::find_if(pieces.begin(), pieces.end(), [](const Piece& piece) {
    return piece.bytes.find("\r\n") == std::string::npos;
  });
  QVERIFY(split != pieces.end());

  // A request through the port gets its embedded reply.
  const Bytes request = HexBytes("01 03 03 E8 00 2D 05 A7");
  QCOMPARE(write(port, request.data(), request.size()), ssize_t(request.size()));
  all.clear();
  for (int i = 0; i < 20 && !Has(all, "<--Data"); ++i) readFor(100ms);
  all = all.substr(0, all.find("\r\n", all.find("<--Data")) + 2);
  const std::vector<Bytes> frames = Frames(all);
  QCOMPARE(frames.size(), std::size_t(1));
  QCOMPARE(frames[0].size(), std::size_t(95));
  QCOMPARE(int(unit.Counters().replies), 1);

  close(port);
  unit.Stop();
  QVERIFY(!std::filesystem::exists(std::filesystem::symlink_status(link)));
}

QTEST_GUILESS_MAIN(UnitTest)
#include "unit_test.moc"
