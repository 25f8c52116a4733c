#include "sim/UnitCore.h"

#include <algorithm>
#include <cstdio>

#include "sim/Crc.h"
#include "sim/Download.h"

namespace sim {
namespace {

using namespace std::chrono_literals;

// Silence that ends an incomplete request.
constexpr auto kFrameGap = 100ms;
constexpr auto kBootTime = 1500ms;
constexpr auto kForcedDisconnection = 20s;

namespace coil {
constexpr std::uint16_t kRelay1 = 0;
constexpr std::uint16_t kRelay2 = 1;
constexpr std::uint16_t kManual = 2;
constexpr std::uint16_t kReset = 8;
constexpr std::uint16_t kDefaults = 9;
constexpr std::uint16_t kDisconnect = 10;
constexpr std::uint16_t kResetInput2 = 13;
constexpr std::uint16_t kZeroCounters = 14;
constexpr std::uint16_t kResetInputs = 15;
}  // namespace coil

std::string Format(const char* format, auto... args) {
  char text[160];
  std::snprintf(text, sizeof text, format, args...);
  return text;
}

}  // namespace

std::string Concatenate(const std::vector<Outgoing>& output) {
  std::string bytes;
  for (const Outgoing& item : output) bytes += item.bytes;
  return bytes;
}

UnitCore::UnitCore(const UnitOptions& options, TimePoint start)
    : options_(options),
      registers_(options.identity),
      plant_(options.seed, options.slowAnalog),
      start_(start),
      bootedAt_(start),
      lastInput_(start),
      nextTrace_(start + 1s),
      nextTelemetry_(start + options.telemetryPeriod),
      nextGarbage_(start + options.garbageEvery),
      loader_(options.identity, options.download) {
  for (std::size_t i = 0; i < kFaultKinds; ++i) faults_[i].rule = options.faults[i];
  for (const std::string& text : BootBanner(registers_.identity())) Line(text);
}

// ---- requests ----

void UnitCore::Receive(std::span<const std::uint8_t> bytes, TimePoint now) {
  if (loader_.Busy()) {
    lastInput_ = now;
    return loader_.Receive(bytes, now, output_);
  }
  now_ = now;
  if (!input_.empty() && now - lastInput_ > kFrameGap) input_.clear();
  lastInput_ = now;
  input_.insert(input_.end(), bytes.begin(), bytes.end());

  // A remote unit sees frames with the station prefix; frames without one
  // are for the unit in between, which this program plays as well.
  std::vector<std::size_t> offsets{0};
  if (options_.remoteStation) offsets = {2, 0};
  while (!input_.empty()) {
    bool needMore = false;
    std::optional<ScanResult> found;
    std::size_t offset = 0;
    bool download = false;
    for (std::size_t candidate : offsets) {
      const ScanResult start = ScanStartCommand(input_, candidate);
      download = start.scan == Scan::Frame;
      const ScanResult result = download ? start : ScanRequest(input_, candidate);
      if (result.scan == Scan::Frame) {
        found = result;
        offset = candidate;
        break;
      }
      needMore = needMore || start.scan == Scan::NeedMore || result.scan == Scan::NeedMore;
    }
    if (found) {
      const Bytes frame(input_.begin(),
                        input_.begin() + static_cast<std::ptrdiff_t>(found->length));
      input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(found->length));
      if (download) {
        StartCommand(frame, offset, now);
        if (loader_.Busy()) return input_.clear();
        continue;
      }
      Handle(frame, offset, now);
      continue;
    }
    if (needMore) break;
    // Nothing sensible here: drop it all and wait for the next frame.
    ++counters_.ignored;
    input_.clear();
  }
}

void UnitCore::Handle(std::span<const std::uint8_t> frame, std::size_t offset, TimePoint now) {
  const bool raw = offset == 2;
  if (raw && BigEndian(frame, 0) != *options_.remoteStation) {
    ++counters_.ignored;
    return;
  }
  const std::span<const std::uint8_t> pdu = frame.subspan(offset);
  const auto& limit = options_.store.answerRequests;
  if (pdu[0] != kSlave || Silent(now) || booting_ || (limit && counters_.requests >= *limit)) {
    ++counters_.ignored;
    return;
  }
  ++counters_.requests;
  const std::uint8_t function = pdu[1];
  switch (function) {
    case fn::kReadHolding:
      ReadRegisters(BigEndian(pdu, 2), BigEndian(pdu, 4), raw);
      break;
    case fn::kWriteCoil:
      WriteCoil(BigEndian(pdu, 2), BigEndian(pdu, 4), pdu, raw, now);
      break;
    case fn::kWriteMultiple:
      WriteRegisters(pdu, raw);
      break;
    default:
      Exception(function, ex::kIllegalFunction, raw);
  }
}

void UnitCore::StartCommand(std::span<const std::uint8_t> frame, std::size_t offset,
                            TimePoint now) {
  const bool prefixed = offset == 2;
  if ((prefixed && BigEndian(frame, 0) != *options_.remoteStation) || Silent(now) || booting_) {
    ++counters_.ignored;
    return;
  }
  // Behind a prefix the tool talks to this unit as a remote one, and
  // prefixes everything it sends.
  loader_.Begin(prefixed ? options_.remoteStation : std::nullopt, now, output_);
}

void UnitCore::AnnounceDownload(TimePoint now) {
  input_.clear();
  loader_.Begin(options_.remoteStation, now, output_);
}

void UnitCore::ReadRegisters(std::uint16_t first, std::uint16_t count, bool raw) {
  if (count == 0 || count > 255) return Exception(fn::kReadHolding, ex::kIllegalValue, raw);
  if (!registers_.CanRead(first, count))
    return Exception(fn::kReadHolding, ex::kIllegalAddress, raw);
  Reply(ReadReply(registers_.Read(first, count)), raw);
}

void UnitCore::WriteRegisters(std::span<const std::uint8_t> pdu, bool raw) {
  const std::uint16_t first = BigEndian(pdu, 2);
  const std::uint16_t count = BigEndian(pdu, 4);
  // Byte 6 is not trusted: the values start at 7 and there are `count`.
  std::vector<std::uint16_t> values;
  for (std::size_t i = 0; i < count; ++i) values.push_back(BigEndian(pdu, 7 + 2 * i));

  if (!registers_.CanWrite(first, count))
    return Exception(fn::kWriteMultiple, ex::kIllegalAddress, raw);
  const bool clock = first <= reg::kClock + 3 && first + count > reg::kClock;
  if (clock) {
    if (first != reg::kClock || count != 4)
      return Exception(fn::kWriteMultiple, ex::kIllegalAddress, raw);
    if (!SetClock(values)) return Exception(fn::kWriteMultiple, ex::kIllegalValue, raw);
  } else {
    ++counters_.writes;
    const auto covers = [&](const std::optional<std::uint16_t>& at) {
      return at && *at >= first && *at < first + count;
    };
    if (covers(options_.store.flipBitAt)) values[*options_.store.flipBitAt - first] ^= 1;
    if (!covers(options_.store.ignoreWritesAt)) registers_.Write(first, values);
  }
  Reply(WriteAck(first, count), raw);
  if (clock) {
    const std::tm t = UnitCalendar();
    Line(Format("RTC actualizado %02d/%02d/%04d %02d:%02d:%02d UTC", t.tm_mday, t.tm_mon + 1,
                t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec));
  } else {
    Line(Format("Escribiendo configuracion: %u registros desde %u", count, first));
  }
}

bool UnitCore::SetClock(std::span<const std::uint16_t> values) {
  std::tm t{};
  t.tm_sec = values[0] >> 8;
  t.tm_min = values[0] & 0xFF;
  t.tm_hour = values[1] >> 8;
  t.tm_mday = values[1] & 0xFF;
  t.tm_mon = (values[2] >> 8) - 1;
  t.tm_year = values[2] & 0xFF;
  const int weekday = values[3] >> 8;
  if (t.tm_sec > 59 || t.tm_min > 59 || t.tm_hour > 23 || t.tm_mday < 1 || t.tm_mday > 31 ||
      t.tm_mon < 0 || t.tm_mon > 11 || weekday > 6)
    return false;
  const std::time_t wanted = timegm(&t);
  const auto now = std::chrono::system_clock::now();
  clockOffset_ = std::chrono::system_clock::from_time_t(wanted) -
                 std::chrono::time_point_cast<std::chrono::seconds>(now);
  return true;
}

void UnitCore::WriteCoil(std::uint16_t number, std::uint16_t value,
                         std::span<const std::uint8_t> pdu, bool raw, TimePoint now) {
  if (value != 0xFF00 && value != 0x0000) return Exception(fn::kWriteCoil, ex::kIllegalValue, raw);
  const bool on = value == 0xFF00;
  switch (number) {
    case coil::kRelay1:
    case coil::kRelay2:
    case coil::kManual:
    case coil::kReset:
    case coil::kDefaults:
    case coil::kDisconnect:
    case coil::kResetInput2:
    case coil::kZeroCounters:
    case coil::kResetInputs:
      break;
    default:
      return Exception(fn::kWriteCoil, ex::kIllegalAddress, raw);
  }
  // The acknowledgement echoes the request; the action follows it.
  Reply(Bytes(pdu.begin(), pdu.end()), raw);

  switch (number) {
    case coil::kRelay1:
    case coil::kRelay2: {
      relays_[number] = on;
      relayOffAt_[number].reset();
      const int pulse = registers_.Get(reg::kDoPulseWidth);
      if (on && registers_.Get(reg::kDoMode) != 0 && pulse > 0)
        relayOffAt_[number] = now + std::chrono::milliseconds(pulse);
      Line(CoilLine(relays_[0], relays_[1]));
      break;
    }
    case coil::kManual:
      manual_ = on;
      Line(on ? "Modo MANUAL" : "Modo AUTOMATICO");
      break;
    case coil::kReset:
      if (on) Reboot(now);
      break;
    case coil::kDefaults:
      if (!on) break;
      registers_.RestoreDefaults();
      Line("Configuracion por defecto restaurada");
      break;
    case coil::kDisconnect:
      if (!on) break;
      link_.server = false;
      link_.serverAt = now + kForcedDisconnection;
      Line("Desconexion forzada del servidor");
      break;
    case coil::kResetInput2:
      if (!on) break;
      latched_ &= static_cast<std::uint16_t>(~0x0002u);
      Line("Reset entrada 2");
      break;
    case coil::kZeroCounters:
      if (!on) break;
      plant_.ZeroCounters();
      Line("Contadores en 0");
      Line(CounterLine(plant_.Counters()));
      break;
    case coil::kResetInputs:
      if (!on) break;
      latched_ = 0;
      Line("Reset entradas");
      break;
  }
}

void UnitCore::Reply(Bytes frame, bool raw) {
  if (Fire(Fault::DropReply)) {
    ++counters_.dropped;
    return;
  }
  if (Fire(Fault::ReplyCrc)) frame.back() ^= 0xFF;
  if (Fire(Fault::TruncateReply)) frame.resize(frame.size() / 2);
  ++counters_.replies;
  if (raw)
    Send({std::string(frame.begin(), frame.end()), Channel::Raw});
  else
    Send({EmbedFrame(frame), Channel::Reply});
}

void UnitCore::Send(Outgoing item) {
  if (options_.store.replyDelay.count() > 0)
    delayed_.emplace_back(now_ + options_.store.replyDelay, std::move(item));
  else
    output_.push_back(std::move(item));
}

void UnitCore::Exception(std::uint8_t function, std::uint8_t code, bool raw) {
  ++counters_.exceptions;
  Reply(ExceptionReply(function, code), raw);
}

bool UnitCore::Fire(Fault fault) {
  FaultState& state = faults_[static_cast<std::size_t>(fault)];
  ++state.seen;
  if (state.rule.next > 0) {
    --state.rule.next;
    return true;
  }
  return state.rule.every > 0 && state.seen % state.rule.every == 0;
}

void UnitCore::FaultNext(Fault fault, int count) {
  faults_[static_cast<std::size_t>(fault)].rule.next = count;
}

void UnitCore::FaultEvery(Fault fault, int every) {
  FaultState& state = faults_[static_cast<std::size_t>(fault)];
  state.rule.every = every;
  state.seen = 0;
}

void UnitCore::SendGarbage(std::size_t count) {
  std::string noise;
  for (std::size_t i = 0; i < count; ++i)
    noise.push_back(static_cast<char>(plant_.Random() & 0xFF));
  output_.push_back({noise + "\r\n", Channel::Trace});
}

void UnitCore::GoSilent(std::chrono::milliseconds duration, TimePoint now) {
  silentUntil_ = now + duration;
}

// ---- the unit's own life ----

void UnitCore::Tick(TimePoint now) {
  now_ = now;
  while (!delayed_.empty() && delayed_.front().first <= now) {
    output_.push_back(std::move(delayed_.front().second));
    delayed_.erase(delayed_.begin());
  }
  if (!input_.empty() && now - lastInput_ > kFrameGap) input_.clear();
  // The loader keeps its own time, silent spells or not.
  loader_.Tick(now, output_);
  if (options_.selfDownloadAfter && !selfDownloadDone_ &&
      now >= start_ + *options_.selfDownloadAfter) {
    selfDownloadDone_ = true;
    if (!loader_.Busy()) AnnounceDownload(now);
  }
  if (options_.silenceAfter && !silenceDone_ && now >= start_ + *options_.silenceAfter) {
    silenceDone_ = true;
    GoSilent(options_.silenceFor, now);
  }
  if (Silent(now)) return;
  if (booting_) {
    if (now < bootUntil_) return;
    booting_ = false;
    for (const std::string& text : BootBanner(registers_.identity())) Line(text);
  }

  plant_.Advance(std::chrono::duration<double>(now - start_).count());
  UpdateLink(now);
  UpdateRelays(now);
  UpdateInputs(now);

  if (now >= nextTrace_) {
    EmitTrace(now);
    nextTrace_ += 1s;
    if (nextTrace_ <= now) nextTrace_ = now + 1s;
  }
  if (options_.telemetryPeriod.count() > 0 && now >= nextTelemetry_) {
    if (!loader_.Busy()) EmitTelemetry();
    nextTelemetry_ += options_.telemetryPeriod;
    if (nextTelemetry_ <= now) nextTelemetry_ = now + options_.telemetryPeriod;
  }
  if (options_.garbageEvery.count() > 0 && now >= nextGarbage_) {
    if (!loader_.Busy()) SendGarbage(24);
    nextGarbage_ = now + options_.garbageEvery;
  }
}

std::vector<Outgoing> UnitCore::TakeOutput() {
  std::vector<Outgoing> taken;
  taken.swap(output_);
  return taken;
}

void UnitCore::Line(std::string text) {
  if (loader_.Busy()) return;  // the loader prints nothing of the firmware's
  ++counters_.traceLines;
  output_.push_back({std::move(text) + "\r\n", Channel::Trace});
}

void UnitCore::EmitTrace(TimePoint now) {
  ++traceCount_;
  if (link_.gsm)
    Line(SignalLine(plant_.SignalDbm()));
  else
    Line("GSM buscando red...");
  Line(CoilLine(relays_[0], relays_[1]));
  Line(InputLine(1, InputStates(1)));
  Line(InputLine(2, InputStates(2)));
  UpdateAnalog();
  Line(AnalogLine(1, {analog_[0], analog_[1], analog_[2], analog_[3]}));
  Line(AnalogLine(2, {analog_[4], analog_[5], analog_[6], analog_[7]}));
  const Traffic traffic = TrafficNow();
  Line(TrafficLine(trafficStep_++, traffic));
  if (traceCount_ % 2 == 0) Line(TrafficLine(trafficStep_++, traffic));
  if (traceCount_ % 10 == 0) {
    const long uptime = static_cast<long>(
        std::chrono::duration_cast<std::chrono::seconds>(now - bootedAt_).count());
    Line(ClockLine(UnitCalendar(), plant_.SupplyMillivolts(), uptime));
  }
  if (traceCount_ % 30 == 0) Line(CounterLine(plant_.Counters()));
}

void UnitCore::FloodBurst() {
  const Traffic traffic = TrafficNow();
  for (int i = 0; i < 32; ++i) Line(TrafficLine(trafficStep_++, traffic));
}

Traffic UnitCore::TrafficNow() const {
  Traffic traffic;
  const std::uint16_t row = registers_.Get(reg::kModbusDigital);
  if (row >> 14) {
    traffic.slave = row & 0xFF;
    traffic.address = registers_.Get(reg::kModbusDigital + 1);
  }
  traffic.value = (plant_.Inputs() >> 2) & 1;
  traffic.server = ServerName();
  traffic.port = static_cast<int>(ServerPort());
  return traffic;
}

// A compact map has no general block; such a unit reports to its factory server.
std::string UnitCore::ServerName() const {
  return registers_.Compact() ? "190.2.45.110" : registers_.Text(reg::kServer1, 16);
}

unsigned UnitCore::ServerPort() const {
  return registers_.Compact() ? 36377u : registers_.Get(reg::kGeneral + 3);
}

TelemetryData UnitCore::Telemetry() const {
  TelemetryData data;
  data.gsmRegistered = link_.gsm;
  data.technology = link_.internet ? link_.technology : tech::kNone;
  data.supplyMillivolts = static_cast<std::uint16_t>(plant_.SupplyMillivolts());
  data.internet = link_.internet;
  data.server = link_.server;
  data.inputs = inputStates_;
  data.relays = static_cast<std::uint8_t>((relays_[0] ? 1 : 0) | (relays_[1] ? 2 : 0));
  data.signalDbm = static_cast<std::uint8_t>(link_.gsm ? -plant_.SignalDbm() : 0);
  for (std::size_t i = 0; i < analog_.size(); ++i)
    data.analog[i] = static_cast<std::uint16_t>(analog_[i].value);
  for (std::size_t i = 0; i < 16; ++i)
    data.counters[i] = static_cast<std::uint16_t>(plant_.Counters()[i]);
  data.clock = UnitCalendar();
  return data;
}

void UnitCore::EmitTelemetry() {
  auto frame = TelemetryFrame(Telemetry());
  if (Fire(Fault::TelemetryCrc)) frame[80] ^= 0xFF;
  ++counters_.telemetry;
  output_.push_back({EmbedFrame(frame), Channel::Trace});
}

void UnitCore::Reboot(TimePoint now) {
  ++counters_.resets;
  booting_ = true;
  bootUntil_ = now + kBootTime;
  bootedAt_ = now;
  relays_ = {};
  relayOffAt_ = {};
  manual_ = false;
  latched_ = 0;
  traceCount_ = 0;
  link_ = Link{false,
               false,
               false,
               tech::kNone,
               now + kBootTime + 3s,
               now + kBootTime + 5s,
               now + kBootTime + 8s};
  nextTrace_ = bootUntil_ + 1s;
  nextTelemetry_ = bootUntil_ + options_.telemetryPeriod;
}

void UnitCore::UpdateLink(TimePoint now) {
  if (!link_.gsm && now >= link_.gsmAt) {
    link_.gsm = true;
    Line("GSM registrado en la red");
  }
  if (link_.gsm && !link_.internet && now >= link_.internetAt) {
    link_.internet = true;
    link_.technology = tech::k4G;
    Line("GPRS conectado, IP 10.64.23.7");
  }
  if (link_.internet && !link_.server && now >= link_.serverAt) {
    link_.server = true;
    Line(Format("Conectado al servidor %s:%u", ServerName().c_str(), ServerPort()));
  }
}

void UnitCore::UpdateRelays(TimePoint now) {
  bool changed = false;
  for (std::size_t i = 0; i < 2; ++i) {
    if (relayOffAt_[i] && now >= *relayOffAt_[i]) {
      relays_[i] = false;
      relayOffAt_[i].reset();
      changed = true;
    }
  }
  if (changed) Line(CoilLine(relays_[0], relays_[1]));
}

void UnitCore::UpdateInputs(TimePoint now) {
  // Each group's invert and latch masks sit in the low bytes of its block.
  std::uint16_t invert = 0, latch = 0;
  std::array<int, 2> latchSeconds{};
  const std::uint16_t blocks[] = {reg::kDigitalInputs1, reg::kDigitalInputs2};
  for (int g = 0; g < 2; ++g) {
    invert |= static_cast<std::uint16_t>((registers_.Get(blocks[g]) & 0xFF) << (8 * g));
    latch |= static_cast<std::uint16_t>((registers_.Get(blocks[g] + 2) & 0xFF) << (8 * g));
    latchSeconds[g] = registers_.Get(blocks[g] + 1);
  }
  const std::uint16_t active = plant_.Inputs() ^ invert;
  for (int k = 0; k < 16; ++k) {
    const std::uint16_t bit = static_cast<std::uint16_t>(1u << k);
    if (!(latch & bit)) {
      latched_ &= static_cast<std::uint16_t>(~bit);
    } else if (active & bit) {
      latched_ |= bit;
      latchedAt_[k] = now;
    } else if ((latched_ & bit) && latchSeconds[k / 8] > 0 &&
               now - latchedAt_[k] >= std::chrono::seconds(latchSeconds[k / 8])) {
      latched_ &= static_cast<std::uint16_t>(~bit);
    }
  }
  inputStates_ = active | latched_;
}

std::uint8_t UnitCore::InputStates(int group) const {
  return static_cast<std::uint8_t>(inputStates_ >> (group == 1 ? 0 : 8));
}

void UnitCore::UpdateAnalog() {
  for (int i = 0; i < 8; ++i)
    analog_[i] = Measure(plant_.Analog(i), AnalogConfigOf(registers_, i), analog_[i]);
}

std::chrono::system_clock::time_point UnitCore::UnitTime() const {
  return std::chrono::system_clock::now() + clockOffset_;
}

std::tm UnitCore::UnitCalendar() const {
  const std::time_t t = std::chrono::system_clock::to_time_t(UnitTime());
  std::tm calendar{};
  gmtime_r(&t, &calendar);
  return calendar;
}

}  // namespace sim
