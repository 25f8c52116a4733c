// What the command line reads from its arguments and files, as pure
// functions: port lists and the CSV of per-unit IDs. No widgets, no I/O.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// "3,4,7-9" -> 3 4 7 8 9, each number as a port number reads, in the order
// given without repeats; nullopt (with the reason) for anything else.
struct PortListResult {
  std::vector<int> ports;
  std::string error;
};
PortListResult ParsePortList(std::string_view text);
// A range this wide is a typing mistake, not a workshop.
inline constexpr int kMaxPortsAtOnce = 64;

// "IMEI or COM port, TSD ID" per line; a header line, blank lines and lines
// starting with '#' are skipped. TSD IDs are decimal numbers of the block's
// 16 bits. Keys are IMEIs as the unit gives them or "COM<n>".
struct IdTable {
  std::map<std::string, int> ids;
  std::string error;  // the first line refused, with its number
};
IdTable ParseIdTable(std::string_view text);
// The ID the table gives a unit, by IMEI first, then by its port.
std::optional<int> IdFor(const IdTable& table, const std::string& imei, int com);
