// The command line's own inputs over any text: the CSV of TSD IDs and the
// --port list. The first byte splits the input between the two. What comes out
// must hold what the parsers promise: IDs in 16 bits, keys as they are looked
// up, ports in range and without repeats, and an error or a result, never both.
#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "cli/CliInput.h"
#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzReader in(data, size);
  const std::size_t cut = in.Byte();
  const auto rest = in.Rest();
  const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
  const std::string_view ports = text.substr(0, std::min(cut, text.size()));
  const std::string_view csv = text.substr(std::min(cut, text.size()));

  const PortListResult list = ParsePortList(ports);
  if (list.error.empty() == list.ports.empty()) std::abort();
  if (int(list.ports.size()) > kMaxPortsAtOnce) std::abort();
  for (std::size_t i = 0; i < list.ports.size(); ++i) {
    if (list.ports[i] < 1) std::abort();
    if (std::count(list.ports.begin(), list.ports.end(), list.ports[i]) != 1) std::abort();
  }

  const IdTable table = ParseIdTable(csv);
  if (!table.error.empty() && !table.ids.empty()) std::abort();
  for (const auto& [key, id] : table.ids) {
    if (key.empty() || id < 0 || id > 0xFFFF) std::abort();
    // Every key is found again the way a unit is looked up.
    const bool port = key.rfind("COM", 0) == 0;
    const std::optional<int> found = port ? IdFor(table, "", std::atoi(key.c_str() + 3)) : IdFor(table, key, 0);
    if (!found) std::abort();
  }
  return 0;
}
