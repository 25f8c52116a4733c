// What the window keeps between runs in the user's settings: its size, place
// and maximised state, and the port number, mode and remote station last used.
// Nothing here knows the window class; it works on plain values and widgets.
#pragma once

#include <QRect>
#include <QSize>
#include <QString>
#include <memory>
#include <optional>

class QSettings;
class QWidget;

struct KeptWindow {
  std::optional<QRect> geometry;  // the normal (not maximised) geometry
  bool maximised = false;
  std::optional<QString> port;     // "Puerto" field
  std::optional<int> mode;         // 0 "Local", 1 "Remoto"
  std::optional<QString> station;  // remote station number field
};

// The application's name, which names its data folder (inventory, captures,
// backups on Windows); the command line runs under it too.
inline constexpr char kApplicationName[] = "Qirel Dalvesca";

// The user's own settings (the config folder on Linux, the user's application
// data on Windows); never a file beside the program or in the working folder.
std::unique_ptr<QSettings> UserSettings();

// What the settings hold, each value only when it is one the window can show.
KeptWindow ReadKeptWindow(QSettings& settings);
void WriteKeptWindow(QSettings& settings, const KeptWindow& kept);

// A window opened with nothing kept shows the whole "Estado" page, unless the
// screen's free area is smaller.
QSize FirstWindowSize(const QRect& available);

// Size within the screen, place only while it is still on a screen, maximised
// as it was; without a kept geometry, the first size.
void PlaceWindow(QWidget& window, const KeptWindow& kept);
// The window's own state, ready to be kept.
void TakeWindowPlace(const QWidget& window, KeptWindow& kept);
