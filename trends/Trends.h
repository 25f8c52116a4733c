// The "Tendencias" page: the unit's live values over the last day. The window
// forwards each value as the "Estado" page shows it, with the time it was
// taken; appending is all that happens then. Drawing waits for the next frame
// of the screen, and only when something changed.
#pragma once

#include <QObject>
#include <QSaveFile>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/Dialogs.h"
#include "trends/TrendChart.h"
#include "trends/TrendCsv.h"
#include "trends/TrendStore.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QWidget;

class Trends : public QObject {
  Q_OBJECT

 public:
  // Builds the page's controls into `page`.
  explicit Trends(QWidget* page);
  ~Trends() override;

  // ---- values, from the receiver's tick ----
  // An analog input (0-7): its current in mA or mV, its value, the alarm state shown.
  void Analog(int input, std::optional<long> current, bool milliamps, std::optional<long> value,
              TrendAlarm alarm, std::int64_t ms);
  void Signal(long db, std::int64_t ms);
  void Supply(std::uint16_t millivolts, std::int64_t ms);
  void DigitalInput(int input, bool on, std::int64_t ms);  // 0-15
  void Relay(int relay, bool on, std::int64_t ms);         // 0-1
  // The link went quiet or was closed: no line joins across the gap.
  void LinkLost() { store_.Break(); }

  // ---- from the window ----
  // An analog block was read: its alarm limits are drawn from now on.
  void Limits(int input, std::int32_t low, std::int32_t high);
  // The current of an input is now shown in mA (or mV): its caption follows.
  void CurrentUnit(int input, bool milliamps);
  // "Borrar", and the start of a replay: the page starts empty.
  void Clear();

  // ---- the page's own buttons ----
  void Export();     // "Exportar CSV"
  void SaveImage();  // "Guardar imagen"
  // Starts an export to `path`; false when the file cannot be created.
  bool ExportTo(const QString& path);
  bool Exporting() const { return csv_ != nullptr; }

  // The PC's time for live values: the wall clock at start carried on by a
  // steady one, so a clock set back does not fold the day onto itself.
  std::function<std::int64_t()> clock;

  const TrendStore& Store() const { return store_; }
  QStringList Captions() const;

  TrendChart* chart;
  std::array<QCheckBox*, kTrendSeriesCount> seriesChecks{};
  QComboBox* spanCombo;
  QPushButton* followButton;
  QPushButton* clearButton;
  QPushButton* exportButton;
  QPushButton* imageButton;
  FileDialog exportDialog;
  FileDialog imageDialog;

 signals:
  void exportFinished(bool ok);

 private:
  void Append(int series, std::int64_t ms, std::int32_t value, std::uint8_t flags = 0);
  void Changed();
  void Frame();
  void SpanChosen(int index);
  void ExportSlice();
  void EndExport(bool ok);

  TrendStore store_;
  QTimer frame_;
  bool frameQueued_ = false;
  std::unique_ptr<QSaveFile> csvFile_;
  std::unique_ptr<TrendCsvWriter> csv_;
  QTimer csvSlice_;
};

// A number from the unit kept to what a sample holds.
std::int32_t TrendValue(long value);
