// Appending to a file named by a UTF-8 path, the same on every platform (a
// narrow fopen on Windows reads the name in the ANSI code page instead).
#pragma once

#include <string>
#include <string_view>

// Opens or creates the file, appends the bytes and closes it. False when the
// file can't be opened or written.
bool AppendToFile(const std::string& utf8Path, std::string_view bytes);
