// Files written whole or not at all.
#pragma once

#include <QString>
#include <cstddef>

// Writes the bytes beside `path` and renames them over it only when complete,
// so a failed write leaves any earlier file as it was. Returns success.
bool WriteWholeFile(const QString& path, const void* data, std::size_t size);
