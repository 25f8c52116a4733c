// The trace interpreter: every debug line that is not a frame shows in a
// console, and a few kinds carry the live values of the "Estado" page.
#include <QDir>
#include <QScrollBar>
#include <cstdlib>
#include <cstring>

#include "app/AppendFile.h"
#include "app/Log.h"
#include "config/SafeConfig.h"
#include "link/Link.h"
#include "monitor/Monitor.h"
#include "trends/Trends.h"

std::uint8_t loggingOn = 0;
std::string logFileName;

std::optional<std::string> RewriteSignalLine(std::string& line) {
  const std::size_t marker = line.find(kSignalMarker);
  if (marker == std::string::npos) return std::nullopt;
  const std::size_t start = marker + kSignalMarker.size() + 2;
  std::string value;
  if (start < line.size()) {
    const std::size_t blank = line.find(' ', start);
    if (blank != std::string::npos) line.resize(blank);
    value = line.substr(start);
  }
  line += "db";
  return value + "db";
}

int ReadFlagFields(std::string_view line, std::size_t from, int count, bool* states) {
  int found = 0;
  std::size_t at = from;
  while (found < count) {
    const std::size_t dash = line.find('-', at);
    if (dash == std::string_view::npos) break;
    states[found++] = dash + 1 < line.size() && line[dash + 1] == '1';
    at = dash + 1;
  }
  return found;
}

namespace {
// The number at `at` as the C library reads it: blanks, a sign, digits.
long NumberAt(std::string_view line, std::size_t at) {
  const std::string text(line.substr(at, 32));
  return std::strtol(text.c_str(), nullptr, 10);
}
}  // namespace

AdcReading ReadAdcLine(std::string_view line, std::size_t from) {
  AdcReading reading;
  std::size_t at = from;
  for (int group = 0; group < 5; ++group) {
    const std::size_t open = line.find('[', at);
    if (open == std::string_view::npos) return reading;
    at = open + 1;
    for (int j = 0; j < 4; ++j) {
      const std::size_t dash = line.find('-', at);
      if (dash == std::string_view::npos) return reading;
      at = dash + 1;
      if (group == 0) reading.raw[j] = NumberAt(line, at);
      if (group == 1) reading.value[j] = NumberAt(line, at);
      if (group >= 2 && at < line.size() && line[at] == '1') reading.alarmSum[j] += group;
    }
  }
  return reading;
}

std::optional<const char*> AlarmCaption(int sum, bool secondGroup) {
  switch (sum) {
    case 0: return "Normal";
    case 2: return "Ausente";
    case 3: return "Bajo";
    case 4: return "Alto";
    case 5: return secondGroup ? std::nullopt : std::optional<const char*>("Ausente");
    default: return std::nullopt;
  }
}

std::optional<long> SignalDb(std::string_view value) {
  // "-71db": the number in front, if there is one.
  const std::string text(value.substr(0, 32));
  char* end = nullptr;
  const long db = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str()) return std::nullopt;
  return db;
}

TrendAlarm TrendAlarmShown(const QString& caption) {
  if (caption == "Normal") return TrendAlarm::Normal;
  if (caption == "Bajo") return TrendAlarm::Bajo;
  if (caption == "Alto") return TrendAlarm::Alto;
  if (caption == "Ausente") return TrendAlarm::Ausente;
  return TrendAlarm::Unknown;
}

Route RouteTraceLine(std::string_view line, bool iec101, bool serie) {
  const auto has = [&](std::string_view marker) {
    return line.find(marker) != std::string_view::npos;
  };
  if (has(">MODBUS TCP") || (has(">IEC 101 -") && iec101) || has(">IEC 104 -") ||
      (has(">serial:") && serie) || has(">DNP"))
    return {false, true};
  return {true, has(">Serial")};
}

void WriteLogLine(std::string_view line) {
  // Opened and closed for every line, so the file is complete at any moment.
  std::string text(line);
  text += "\r\n";
  AppendToFile(logFileName, text);
}

void TForm1::ConnectMonitor() {
  On(BitBtn23, &QPushButton::clicked, &TForm1::BitBtn23Click);
  On(BitBtn41, &QPushButton::clicked, &TForm1::BitBtn23Click);
  On(BitBtn24, &QPushButton::clicked, &TForm1::BitBtn24Click);
  On(BitBtn25, &QPushButton::clicked, &TForm1::BitBtn25Click);
}

namespace {
void ShowState(Panel* panel, QLabel* label, bool on) {
  label->setText(on ? "ON" : "OFF");
  if (label->styleSheet().isEmpty()) label->setStyleSheet("color: white;");
  panel->setColor(on ? clGreen : clRedOrange);
}
}  // namespace

// Each relay offers the switch the trace says it lacks; none while a run of
// block requests goes, which one press would break.
void TForm1::ShowRelayButtons() {
  const bool running = safeConfig && safeConfig->Busy();
  for (std::size_t i = 0; i < botonOnButtons.size(); ++i) {
    botonOnButtons[i]->setEnabled(!running && !relayTraceOn[i].value_or(false));
    botonOffButtons[i]->setEnabled(!running && relayTraceOn[i].value_or(true));
  }
}

void TForm1::InterpretTraceLine(std::string line) {
  const auto has = [&](std::string_view marker) { return line.find(marker) != std::string::npos; };
  if (has("Iniciando Download")) {
    AppendConsole(Memo1, "Iniciando Download");
    Memo3->appendPlainText(FromCp1252(line));
    return;
  }
  if (const auto value = RewriteSignalLine(line)) {
    Label145->setText(FromCp1252("Se\xF1" "al: " + *value));
    if (const auto db = SignalDb(*value)) trends->Signal(*db, TrendTime());
  }

  if (has(">>")) {
    if (const std::size_t at = line.find("DO "); at != std::string::npos) {
      bool on[2];
      const int found = ReadFlagFields(line, at, 2, on);
      for (int i = 0; i < found; ++i) {
        ShowState(coilPanels[i], coilLabels[i], on[i]);
        relayTraceOn[i] = on[i];
        trends->Relay(i, on[i], TrendTime());
      }
      if (found > 0) ShowRelayButtons();
    }
    for (int group = 0; group < 2; ++group) {
      const std::size_t at = line.find(group == 0 ? "DI Status 1" : "DI Status 2");
      if (at == std::string::npos) continue;
      bool on[8];
      const int found = ReadFlagFields(line, at, 8, on);
      for (int i = 0; i < found; ++i) {
        ShowState(digtalPanels[8 * group + i], diStatusLabels[8 * group + i], on[i]);
        trends->DigitalInput(8 * group + i, on[i], TrendTime());
      }
    }
    for (int group = 0; group < 2; ++group) {
      const std::size_t at = line.find(group == 0 ? "ADC 1" : "ADC 2");
      if (at == std::string::npos) continue;
      const AdcReading reading = ReadAdcLine(line, at);
      for (int j = 0; j < 4; ++j) {
        const int n = 4 * group + j;
        if (reading.raw[j])
          currentLabels[n]->setText(QString::number(*reading.raw[j]) +
                                    (currentChecks[n]->isChecked() ? "mA" : "mV"));
        if (reading.value[j]) anaValueLabels[n]->setText(QString::number(*reading.value[j]));
        if (const auto caption = AlarmCaption(reading.alarmSum[j], group == 1)) {
          alarmaLabels[n]->setText(*caption);
          analogPanels[n]->setColor(reading.alarmSum[j] == 0 ? clGreen : clRedOrange);
        }
        trends->Analog(n, reading.raw[j], currentChecks[n]->isChecked(), reading.value[j],
                       TrendAlarmShown(alarmaLabels[n]->text()), TrendTime());
      }
    }
  }

  const Route route = RouteTraceLine(line, IEC_101->isChecked(), Serie->isChecked());
  if (route.memo2) AppendConsole(Memo2, line);
  if (route.memo1) AppendConsole(Memo1, line);

  if (has("Escribiendo") || has(">Serial RX")) rxLampFlag = 1;
  if (has("bytes en buffer") || has(">Serial TX")) txLampFlag = 1;
}

// Consoles take a tick's lines in one append, so a flood of trace stays smooth.
void TForm1::AppendConsole(QPlainTextEdit* memo, std::string_view line) {
  ConsoleBatch& batch = memo == Memo1 ? memo1Batch : memo2Batch;
  batch.lines.append(FromCp1252(line));
  if (!batchingConsoles) FlushConsoles();
}

void TForm1::FlushConsoles() {
  for (auto [memo, batch] : {std::pair{Memo1, &memo1Batch}, std::pair{Memo2, &memo2Batch}}) {
    if (batch->lines.isEmpty()) continue;
    consoleTools->Append(memo, batch->lines);
    batch->lines.clear();
  }
}

void TForm1::BitBtn23Click() {
  consoleTools->Empty();
}

void TForm1::BitBtn24Click() {
  if (!SaveDialog1.execute()) return;
  // The whole path, however long: a cut one would log into some other file.
  logFileName = QDir::toNativeSeparators(SaveDialog1.fileName).toStdString();
  if (!AppendToFile(logFileName, {})) return;
  loggingOn = 1;
  BitBtn24->setEnabled(false);
  BitBtn25->setEnabled(true);
}

void TForm1::BitBtn25Click() {
  loggingOn = 0;
  BitBtn24->setEnabled(true);
  BitBtn25->setEnabled(false);
}
