// What a COM port number is, wherever one comes from: the command line, the
// kept settings, a list of ports.
#pragma once

#include <optional>
#include <string_view>

// Decimal digits only (no sign, no blanks), from 1 up to the largest int.
std::optional<int> ComPortNumber(std::string_view text);
