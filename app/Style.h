#pragma once

#include <QApplication>
#include <QString>

inline constexpr char kAuricStyle[] = ":/style/Auric.qss";

// Applies a style sheet; when it can't be read, the error dialog says so and
// the default look stays. Returns whether the style was applied.
bool ApplyStyle(QApplication& app, const QString& path);
