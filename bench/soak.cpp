// Soak: the tool against a misbehaving virtual unit for a long while.
//
// The unit runs in-process at the pace of a 19200-baud line with faults on
// (dropped replies, bad CRCs, garbage, fifteen seconds of silence now and then)
// and disappears once in a while, coming back on the same COM number. The
// window runs offscreen with its real timers, logging on, and sends one
// request a second, cycling through every read and write of the configuration
// pages. At the end it prints what each side counted, the log file against
// what the unit wrote on the line, the memory and the longest receiver tick.
//
//   QT_QPA_PLATFORM=offscreen build/soak --minutes 30
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/Dialogs.h"
#include "app/Log.h"
#include "link/Link.h"
#include "protocol/Protocol.h"
#include "sim/VirtualUnit.h"

namespace {
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kCom = 1;
constexpr int kDropEvery = 13;
constexpr int kBadCrcEvery = 11;
constexpr int kTelemetryCrcEvery = 9;
constexpr int kTruncateEvery = 17;
constexpr int kGarbageEverySeconds = 20;
constexpr std::size_t kGarbageBytes = 48;
constexpr int kSilenceEverySeconds = 240;  // first one a minute in
constexpr auto kSilence = 15s;
constexpr int kAbsentSeconds = 4;   // the unit is gone this long
constexpr int kReconnectAfter = 2;  // seconds after it is back, "Desconectar" and "Conectar"
constexpr int kVerifyWithinSeconds = 12;
// Memory is read every few minutes with the consoles emptied (console text is
// measured apart); from the second reading on it must stay flat.
constexpr int kMemorySampleEvery = 300;  // seconds
constexpr long kFlatKiB = 1024;
constexpr int kResyncLines = 64;         // how far a lost stretch of lines is looked for

// Answers the window's dialogs: the log file for "Iniciar Logeo", and counts errors.
class SoakDialogs : public Dialogs {
 public:
  explicit SoakDialogs(QString logFile) : logFile_(std::move(logFile)) {}
  void Message(const QString& text) override { messages.push_back(text); }
  void Error(const QString& text) override { errors.push_back(text); }
  bool Confirm(const QString&, const QString&) override { return true; }
  bool ChooseFile(FileDialog& dialog) override {
    dialog.fileName = logFile_;
    return true;
  }
  std::vector<QString> messages, errors;

 private:
  QString logFile_;
};

long RssKiB() {
  FILE* statm = std::fopen("/proc/self/statm", "r");
  if (!statm) return -1;
  long size = 0, resident = 0;
  const int read = std::fscanf(statm, "%ld %ld", &size, &resident);
  std::fclose(statm);
  return read == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

struct UnitTotals {
  unsigned requests = 0, replies = 0, dropped = 0, badCrc = 0, truncated = 0, ignored = 0,
           telemetry = 0, traceLines = 0;
  void Add(const sim::UnitCounters& c) {
    requests += c.requests;
    replies += c.replies;
    dropped += c.dropped;
    // Every kBadCrcEvery-th reply that was not dropped went out spoiled.
    badCrc += c.replies / kBadCrcEvery;
    truncated += c.replies / kTruncateEvery;
    ignored += c.ignored;
    telemetry += c.telemetry;
    traceLines += c.traceLines;
  }
};

std::unique_ptr<sim::VirtualUnit> StartUnit() {
  sim::UnitOptions options;
  options.com = kCom;
  options.keepWritten = true;
  auto unit = std::make_unique<sim::VirtualUnit>(options);
  unit->Start();
  unit->FaultEvery(sim::Fault::DropReply, kDropEvery);
  unit->FaultEvery(sim::Fault::ReplyCrc, kBadCrcEvery);
  unit->FaultEvery(sim::Fault::TelemetryCrc, kTelemetryCrcEvery);
  unit->FaultEvery(sim::Fault::TruncateReply, kTruncateEvery);
  return unit;
}

struct LogCheck {
  long lines = 0, bytes = 0, frameLines = 0, cutFrames = 0, longest = 0;
  bool crlfOnly = true;  // every line ends in CR LF, no bare CR or LF
  std::vector<std::string> text;
};

LogCheck CheckLog(const QString& path) {
  LogCheck check;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return check;
  const QByteArray all = file.readAll();
  check.bytes = all.size();
  qsizetype at = 0;
  while (at < all.size()) {
    const qsizetype end = all.indexOf("\r\n", at);
    if (end < 0) {
      check.crlfOnly = false;
      break;
    }
    const QByteArray line = all.mid(at, end - at);
    if (line.isEmpty() || line.contains('\r') || line.contains('\n')) check.crlfOnly = false;
    ++check.lines;
    check.text.emplace_back(line.constData(), std::size_t(line.size()));
    check.longest = std::max<long>(check.longest, line.size());
    const bool opens = line.contains("Data-->"), closes = line.contains("<--Data");
    if (opens && closes) ++check.frameLines;
    if (opens != closes) ++check.cutFrames;
    at = end + 2;
  }
  return check;
}

// The lines the tool must have seen in what one unit wrote: split at CR and LF,
// empty ones skipped. A line the unit had not finished when it went is left out.
std::vector<std::string> WrittenLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  for (const char c : bytes) {
    if (c != '\r' && c != '\n') {
      line.push_back(c);
    } else if (!line.empty()) {
      lines.push_back(std::move(line));
      line.clear();
    }
  }
  return lines;
}

// The replies as they went out on the line: whole, truncated by the unit's
// fault, or cut off when the unit went (its last, unfinished line).
struct RepliesOnTheLine {
  long whole = 0, truncated = 0, cut = 0;
  long spoiled = 0;  // of the whole ones, those with a bad CRC
};


RepliesOnTheLine CountReplies(const std::vector<std::string>& segments) {
  RepliesOnTheLine count;
  auto frameOf = [](const std::string& line) {
    std::vector<int> frame;
    const auto open = line.find("Data-->"), close = line.rfind("<--Data");
    if (open == std::string::npos || close == std::string::npos || close < open) return frame;
    for (std::size_t at = open + 7; at + 2 <= close; at += 3)
      frame.push_back(std::stoi(line.substr(at, 2), nullptr, 16));
    return frame;
  };
  for (const std::string& segment : segments) {
    for (const std::string& line : WrittenLines(segment)) {
      const std::vector<int> f = frameOf(line);
      const bool telemetry = f.size() == 81 && f[1] == 0x03 && f[2] == 0x4C;
      if (f.size() < 3 || telemetry) continue;
      // A long block's byte count keeps only the low byte of its length.
      const bool whole = f[1] == 0x03 ? f.size() >= 5 && (f.size() - 5) % 256 == std::size_t(f[2])
                                      : f.size() == 8;
      ++(whole ? count.whole : count.truncated);
      const std::vector<std::uint8_t> bytes(f.begin(), f.end());
      if (whole && !CrcHolds(bytes)) ++count.spoiled;
    }
    const auto end = segment.find_last_of("\r\n");
    const std::string unfinished = segment.substr(end == std::string::npos ? 0 : end + 1);
    if (unfinished.find("Data-->") != std::string::npos) ++count.cut;
  }
  return count;
}

// The log against the units' lines, in order. Losses are expected only where
// one unit went and the next came (a line cut there, the returned unit's first
// bytes); anywhere else a missing or extra line is a fault.
struct LineCompare {
  long expected = 0, matched = 0, missing = 0, extra = 0, missingAtChange = 0, extraAtChange = 0;
  std::vector<std::string> faults;
};

LineCompare CompareLines(const std::vector<std::string>& segments,
                         const std::vector<std::string>& logged) {
  std::vector<std::string> wanted;
  std::vector<bool> nearChange;  // within two lines of a unit going or coming
  for (const std::string& segment : segments) {
    const std::vector<std::string> lines = WrittenLines(segment);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      wanted.push_back(lines[i]);
      nearChange.push_back(i < 2 || i + 2 >= lines.size());
    }
  }
  LineCompare result;
  result.expected = long(wanted.size());
  auto note = [&](const char* what, std::size_t index, const std::string& line) {
    if (result.faults.size() < 5)
      result.faults.push_back(std::string(what) + " near unit line " + std::to_string(index) +
                              ": " + line.substr(0, 60));
  };
  auto lost = [&](std::size_t index) {
    ++result.missing;
    if (nearChange[index]) ++result.missingAtChange;
    else note("missing", index, wanted[index]);
  };
  std::size_t i = 0, j = 0;
  while (i < wanted.size() && j < logged.size()) {
    if (wanted[i] == logged[j]) {
      ++result.matched, ++i, ++j;
      continue;
    }
    const std::size_t limit = std::min(wanted.size(), i + kResyncLines);
    std::size_t k = i + 1;
    while (k < limit && wanted[k] != logged[j]) ++k;
    if (k < limit) {
      for (; i < k; ++i) lost(i);
    } else {
      ++result.extra;
      if (nearChange[std::min(i, wanted.size() - 1)]) ++result.extraAtChange;
      else note("extra", i, logged[j]);
      ++j;
    }
  }
  for (; i < wanted.size(); ++i) lost(i);
  result.extra += long(logged.size() - j);
  return result;
}

// Resident memory once the consoles are emptied and freed memory given back.
long RssWithoutConsoles(TForm1& form) {
  form.Memo1->clear();
  form.Memo2->clear();
  malloc_trim(0);
  return RssKiB();
}
}  // namespace

int main(int argc, char** argv) {
  int minutes = 30;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--minutes" && i + 1 < argc) {
      minutes = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: soak [--minutes N]   (default 30)\n");
      return 2;
    }
  }
  if (minutes <= 0) minutes = 1;
  const int totalSeconds = minutes * 60;

  // A home of its own: the unit's COM link never touches the user's ports.
  QTemporaryDir home;
  setenv("HOME", home.path().toUtf8().constData(), 1);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);

  const QString logPath = home.filePath("soak-log.txt");
  auto ownedDialogs = std::make_unique<SoakDialogs>(logPath);
  SoakDialogs* dialogs = ownedDialogs.get();
  SetDialogs(std::move(ownedDialogs));

  const long rssStart = RssKiB();
  UnitTotals totals;
  auto unit = StartUnit();

  TForm1 form;
  form.LabeledEdit1->setText(QString::number(kCom));
  form.BitBtn1->click();
  if (!form.IsConnected()) {
    std::fprintf(stderr, "soak: could not connect to the virtual unit\n");
    return 1;
  }
  form.BitBtn24->click();  // "Iniciar Logeo"

  // The receiver and dispatcher ticks run through wrappers that time and count them.
  form.Timer1->stop();
  form.Timer2->stop();
  QTimer receiver, dispatcher, second;
  std::chrono::nanoseconds longestTick{0}, tickTotal{0};
  long ticks = 0;
  QObject::connect(&receiver, &QTimer::timeout, [&] {
    const auto start = Clock::now();
    form.Guarded([&] { form.Timer1Timer(); });
    const auto took = Clock::now() - start;
    longestTick = std::max(longestTick, took);
    tickTotal += took;
    ++ticks;
  });
  std::map<int, long> decoded;  // by request number
  long decodedTotal = 0;
  QObject::connect(&dispatcher, &QTimer::timeout, [&] {
    // The dispatcher decodes a reply exactly when its length is the one
    // expected and its CRC holds.
    if (replyLength != 0 && ExpectedReplyLength(replyType) == replyLength &&
        CrcHolds({replyBuffer, std::size_t(replyLength)})) {
      ++decoded[replyType];
      ++decodedTotal;
    }
    form.Guarded([&] { form.Timer2Timer(); });
  });

  const std::vector<QPushButton*> buttons{
      form.BitBtn34, form.BitBtn35, form.BitBtn28, form.BitBtn29, form.BitBtn37, form.BitBtn38,
      form.BitBtn4,  form.BitBtn5,  form.BitBtn31, form.BitBtn33, form.BitBtn32, form.BitBtn44,
      form.BitBtn86, form.BitBtn87, form.BitBtn51, form.BitBtn52, form.BitBtn9,  form.BitBtn12,
      form.BitBtn10, form.BitBtn13, form.BitBtn16, form.BitBtn62, form.BitBtn61, form.BitBtn63};
  std::map<int, long> sentByRequest;
  long pressed = 0, sent = 0;

  // One unplug per ten minutes, at least one, spread over the run.
  std::vector<int> unplugAt;
  const int unplugs = std::max(1, minutes / 10);
  for (int k = 1; k <= unplugs; ++k) unplugAt.push_back(totalSeconds * k / (unplugs + 1));

  int elapsed = 0;
  int backAt = -1, reconnectAt = -1, silenceUntil = -1;
  long decodedAtReconnect = -1;
  int reconnects = 0, reconnectsVerified = 0, silencesShown = 0, silences = 0;
  std::vector<std::string> events;
  std::vector<std::string> memorySamples;
  std::vector<long> rssEmptied;  // at each sample
  // What each unit wrote on the line goes to a file, to keep it out of the memory figures.
  QFile wrote(home.filePath("unit-wrote.bin"));
  if (!wrote.open(QIODevice::ReadWrite | QIODevice::Truncate)) return 1;
  std::vector<qint64> segmentStarts{0};
  auto keepWritten = [&] { wrote.write(QByteArray::fromStdString(unit->TakeWritten())); };
  unsigned linesBeforeReconnect = 0;  // printed by a returned unit before the tool listened

  QObject::connect(&second, &QTimer::timeout, [&] {
    ++elapsed;
    if (elapsed % kMemorySampleEvery == 0) {
      const long full = RssKiB();
      const int chars = form.Memo1->document()->characterCount() +
                        form.Memo2->document()->characterCount();
      rssEmptied.push_back(RssWithoutConsoles(form));
      memorySamples.push_back(std::to_string(elapsed / 60) + " min: " + std::to_string(full) +
                              " KiB with " + std::to_string(chars) + " console chars, " +
                              std::to_string(rssEmptied.back()) + " KiB emptied");
    }
    if (unit) keepWritten();

    if (unit && elapsed % kGarbageEverySeconds == 0) unit->SendGarbage(kGarbageBytes);
    if (unit && elapsed % kSilenceEverySeconds == 60) {
      unit->GoSilent(kSilence);
      silenceUntil = elapsed + int(kSilence.count());
      ++silences;
    }
    // Silent long enough: the window says the unit is gone.
    if (silenceUntil > 0 && elapsed == silenceUntil - 2) {
      if (form.Panel5->caption() == "Equipo desconectado") ++silencesShown;
    }
    if (std::find(unplugAt.begin(), unplugAt.end(), elapsed) != unplugAt.end() && unit) {
      totals.Add(unit->Counters());
      unit->Stop();
      keepWritten();
      unit.reset();
      backAt = elapsed + kAbsentSeconds;
      events.push_back("unplugged at " + std::to_string(elapsed) + " s");
    }
    if (elapsed == backAt) {
      unit = StartUnit();
      segmentStarts.push_back(wrote.pos());
      reconnectAt = elapsed + kReconnectAfter;
      events.push_back("back at " + std::to_string(elapsed) + " s");
    }
    if (elapsed == reconnectAt) {
      if (unit) {
        const sim::UnitCounters c = unit->Counters();
        linesBeforeReconnect += c.traceLines + c.telemetry + c.replies;
      }
      form.BitBtn2->click();  // "&Desconectar"
      form.BitBtn1->click();  // "&Conectar"
      ++reconnects;
      decodedAtReconnect = form.IsConnected() ? decodedTotal : -1;
      events.push_back(std::string("reconnected at ") + std::to_string(elapsed) +
                       " s: " + (form.IsConnected() ? "port open" : "port did not open"));
    }
    if (decodedAtReconnect >= 0 && decodedTotal > decodedAtReconnect) {
      ++reconnectsVerified;
      events.push_back("link works again at " + std::to_string(elapsed) + " s");
      decodedAtReconnect = -1;
    }
    if (decodedAtReconnect >= 0 && elapsed > reconnectAt + kVerifyWithinSeconds) {
      events.push_back("no reply decoded within " + std::to_string(kVerifyWithinSeconds) +
                       " s of reconnecting");
      decodedAtReconnect = -1;
    }

    QPushButton* button = buttons[std::size_t(pressed++) % buttons.size()];
    const std::uint32_t before = requestSerial;
    button->click();
    if (requestSerial != before) {
      ++sent;
      ++sentByRequest[pendingRequest];
    }
    if (elapsed >= totalSeconds) app.quit();
  });

  receiver.start(50);
  dispatcher.start(500);
  second.start(1000);
  const auto started = Clock::now();
  app.exec();
  const double wall = std::chrono::duration<double>(Clock::now() - started).count();

  // Let what is on the line arrive before the log closes.
  second.stop();
  if (unit) unit->GoSilent(10s);
  QEventLoop windDown;
  QTimer::singleShot(1500, &windDown, &QEventLoop::quit);
  windDown.exec();
  form.BitBtn25->click();  // "De&tener Logeo"
  if (unit) {
    totals.Add(unit->Counters());
    unit->Stop();
    keepWritten();
  }
  form.BitBtn2->click();
  const long rssEnd = RssKiB();
  const LogCheck log = CheckLog(logPath);
  std::vector<std::string> segments;
  segmentStarts.push_back(wrote.pos());
  wrote.seek(0);
  const QByteArray allWritten = wrote.readAll();
  for (std::size_t k = 0; k + 1 < segmentStarts.size(); ++k)
    segments.push_back(
        allWritten.mid(segmentStarts[k], segmentStarts[k + 1] - segmentStarts[k]).toStdString());
  const LineCompare lines = CompareLines(segments, log.text);
  const RepliesOnTheLine onLine = CountReplies(segments);

  // A reply with a bad CRC or cut short is never decoded.
  const unsigned whole = totals.replies - totals.truncated;
  std::printf("Soak report: %d min asked, %.0f s run, unit paced at 19200 baud\n", minutes, wall);
  std::printf(
      "  faults: every %dth reply dropped, every %dth truncated, every %dth reply and %dth\n"
      "          telemetry with a bad CRC, %zu bytes of garbage every %d s, %d silence(s) of\n"
      "          %lld s, %d unplug(s)\n",
      kDropEvery, kTruncateEvery, kBadCrcEvery, kTelemetryCrcEvery, kGarbageBytes,
      kGarbageEverySeconds, silences, static_cast<long long>(kSilence.count()), unplugs);
  std::printf("  tool:   %ld buttons pressed, %ld requests written, %ld replies decoded\n", pressed,
              sent, decodedTotal);
  std::printf(
      "  unit:   %u requests taken, %u ignored, %u replies sent (%u of full length, %u of\n"
      "          them with a bad CRC, %u truncated), %u dropped, %u telemetry, %u trace lines\n",
      totals.requests, totals.ignored, totals.replies, whole, totals.badCrc, totals.truncated,
      totals.dropped, totals.telemetry, totals.traceLines);
  std::printf(
      "  on the line: %ld whole replies, %ld truncated, %ld frame(s) cut off by an unplug\n",
      onLine.whole, onLine.truncated, onLine.cut);
  const long sound = onLine.whole - onLine.spoiled;
  std::printf("  decoded / whole replies with a good CRC on the line: %ld / %ld (%.1f %%)\n",
              decodedTotal, sound, sound ? 100.0 * double(decodedTotal) / double(sound) : 0.0);
  std::printf("  per request (sent/decoded):");
  int column = 0;
  for (const auto& [request, count] : sentByRequest) {
    std::printf("%s %d:%ld/%ld", column++ % 8 == 0 ? "\n   " : "", request, count,
                decoded.count(request) ? decoded[request] : 0L);
  }
  std::printf("\n");
  std::printf(
      "  log file: %ld lines, %ld bytes, %ld whole frame lines, %ld cut frame lines, "
      "longest line %ld, %s\n",
      log.lines, log.bytes, log.frameLines, log.cutFrames, log.longest,
      log.crlfOnly ? "every line ends in CR LF" : "MALFORMED");
  std::printf("  log holds every decoded reply: %s (%ld frame lines >= %ld decoded)\n",
              log.frameLines >= decodedTotal ? "plausible" : "NO", log.frameLines, decodedTotal);
  const unsigned unitLines = totals.traceLines + totals.replies + totals.telemetry +
                             unsigned(elapsed / kGarbageEverySeconds);
  std::printf(
      "  lines: unit printed about %u (trace, replies, telemetry, garbage), log holds %ld;\n"
      "         %u of them printed by the returned unit before the tool reconnected\n",
      unitLines, log.lines, linesBeforeReconnect);
  std::printf(
      "  log against the lines the unit wrote on the line: %ld written, %ld logged alike,\n"
      "         %ld missing (%ld where a unit went or came), %ld extra (%ld there)\n",
      lines.expected, lines.matched, lines.missing, lines.missingAtChange, lines.extra,
      lines.extraAtChange);
  for (const std::string& fault : lines.faults) std::printf("    %s\n", fault.c_str());
  std::printf("  silences shown as \"Equipo desconectado\": %d of %d\n", silencesShown, silences);
  std::printf("  reconnects (\"&Desconectar\" + \"&Conectar\"): %d, link verified: %d\n",
              reconnects, reconnectsVerified);
  for (const std::string& event : events) std::printf("    %s\n", event.c_str());
  std::printf(
      "  receiver tick: %ld ticks, mean %.3f ms, longest %.3f ms\n", ticks,
      ticks ? std::chrono::duration<double, std::milli>(tickTotal).count() / double(ticks) : 0.0,
      std::chrono::duration<double, std::milli>(longestTick).count());
  std::printf("  memory (RSS): start %ld KiB, end %ld KiB; samples:", rssStart, rssEnd);
  for (const std::string& sample : memorySamples) std::printf("\n    %s", sample.c_str());
  // The first reading still has the start's caches and heap growth in it.
  const bool measured = rssEmptied.size() >= 3;
  const bool flat = !measured || rssEmptied.back() - rssEmptied[1] <= kFlatKiB;
  std::printf("\n  memory with the consoles emptied, from the second reading on: %s\n",
              !measured ? "run too short to tell"
              : flat    ? "flat"
                        : "GROWING");
  std::printf("  dialogs: %zu errors, %zu messages", dialogs->errors.size(),
              dialogs->messages.size());
  if (!dialogs->errors.empty()) std::printf(" (first: %s)", qPrintable(dialogs->errors.front()));
  std::printf("\n");
  std::fflush(stdout);
  const bool ok = log.crlfOnly && reconnectsVerified == reconnects && decodedTotal > 0 &&
                  lines.faults.empty() && flat;
  return ok ? 0 : 1;
}
