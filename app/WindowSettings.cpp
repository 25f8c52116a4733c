#include "app/WindowSettings.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <cstdlib>

#include "app/Convert.h"
#include "link/PortNumber.h"

namespace {
// Room for the whole "Estado" page with its 16 inputs and 8 analog panels.
constexpr QSize kFirstSize(1150, 800);
// A kept geometry beyond these was not written by us.
constexpr int kSmallestSide = 100;
constexpr int kFarthest = 100000;
// The station field has no filter of its own.
constexpr qsizetype kLongestStation = 32;

constexpr const char* kGeometryKey = "window/geometry";
constexpr const char* kMaximisedKey = "window/maximised";
constexpr const char* kPortKey = "link/port";
constexpr const char* kModeKey = "link/mode";
constexpr const char* kStationKey = "link/station";

bool Sane(const QRect& rect) {
  // From the corners, in 64 bits: a made-up file's corners can be any ints,
  // and QRect's own width() would overflow on them.
  const auto near = [](int at) { return at >= -kFarthest && at <= kFarthest; };
  if (!near(rect.left()) || !near(rect.top()) || !near(rect.right()) || !near(rect.bottom()))
    return false;
  const qint64 width = qint64(rect.right()) - rect.left() + 1;
  const qint64 height = qint64(rect.bottom()) - rect.top() + 1;
  return width >= kSmallestSide && height >= kSmallestSide && width <= kFarthest &&
         height <= kFarthest;
}

bool PortNumber(const QString& text) { return ComPortNumber(text.toStdString()).has_value(); }

// The screen that holds the window's top edge, where it is taken hold of;
// none when the window would open out of reach.
QScreen* ScreenHolding(const QRect& rect) {
  const QPoint grip(rect.center().x(), rect.top() + 10);
  for (QScreen* screen : QGuiApplication::screens())
    if (screen->availableGeometry().contains(grip)) return screen;
  return nullptr;
}
}  // namespace

std::unique_ptr<QSettings> UserSettings() {
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Dalvesca",
                                     "Qirel");
}

KeptWindow ReadKeptWindow(QSettings& settings) {
  KeptWindow kept;
  const QVariant geometry = settings.value(kGeometryKey);
  if (geometry.typeId() == QMetaType::QRect && Sane(geometry.toRect()))
    kept.geometry = geometry.toRect();
  kept.maximised = settings.value(kMaximisedKey).toString() == "true";
  const QVariant port = settings.value(kPortKey);
  if (port.typeId() == QMetaType::QString && PortNumber(port.toString()))
    kept.port = port.toString();
  bool number = false;
  const int mode = settings.value(kModeKey).toInt(&number);
  if (number && (mode == 0 || mode == 1)) kept.mode = mode;
  const QVariant station = settings.value(kStationKey);
  if (station.typeId() == QMetaType::QString && station.toString().size() <= kLongestStation)
    kept.station = station.toString();
  return kept;
}

void WriteKeptWindow(QSettings& settings, const KeptWindow& kept) {
  if (kept.geometry) settings.setValue(kGeometryKey, *kept.geometry);
  settings.setValue(kMaximisedKey, kept.maximised);
  if (kept.port) settings.setValue(kPortKey, *kept.port);
  if (kept.mode) settings.setValue(kModeKey, *kept.mode);
  if (kept.station) settings.setValue(kStationKey, *kept.station);
  settings.sync();
}

QSize FirstWindowSize(const QRect& available) { return kFirstSize.boundedTo(available.size()); }

void PlaceWindow(QWidget& window, const KeptWindow& kept) {
  if (!kept.geometry) {
    window.resize(FirstWindowSize(window.screen()->availableGeometry()));
  } else if (QScreen* screen = ScreenHolding(*kept.geometry)) {
    window.setGeometry(QRect(kept.geometry->topLeft(),
                             kept.geometry->size().boundedTo(screen->availableGeometry().size())));
  } else {
    // The screen it was on is gone: keep the size, let the system place it.
    window.resize(kept.geometry->size().boundedTo(window.screen()->availableGeometry().size()));
  }
  if (kept.maximised) window.setWindowState(window.windowState() | Qt::WindowMaximized);
}

void TakeWindowPlace(const QWidget& window, KeptWindow& kept) {
  const QRect normal = window.normalGeometry();
  if (Sane(normal)) kept.geometry = normal;
  kept.maximised = window.isMaximized();
}
