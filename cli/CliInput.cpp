#include "cli/CliInput.h"

#include <algorithm>
#include <charconv>

#include "link/PortNumber.h"

namespace {
// "text" and what is wrong with it. Appended piece by piece: GCC 12 at -O3
// sees a false overlap in "\"" + std::string(text).
std::string Quoted(std::string_view text, std::string_view why) {
  std::string out = "\"";
  out.append(text).append("\"").append(why);
  return out;
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i)
    if (i == text.size() || text[i] == separator) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  return parts;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return char(c >= 'a' && c <= 'z' ? c - 32 : c); });
  return out;
}
}  // namespace

PortListResult ParsePortList(std::string_view text) {
  PortListResult result;
  const auto fail = [&](std::string why) {
    result.ports.clear();
    result.error = std::move(why);
    return result;
  };
  if (Trim(text).empty()) return fail("falta el numero de puerto");
  for (std::string_view part : Split(text, ',')) {
    part = Trim(part);
    const std::size_t dash = part.find('-');
    const std::string_view low = Trim(part.substr(0, dash));
    const std::string_view high = dash == std::string_view::npos ? low : Trim(part.substr(dash + 1));
    const std::optional<int> first = ComPortNumber(low);
    const std::optional<int> last = ComPortNumber(high);
    if (!first || !last) return fail(Quoted(part, " no es un numero de puerto ni un rango"));
    if (*last < *first) return fail("el rango \"" + std::string(part) + "\" va hacia atras");
    if (*last - *first >= kMaxPortsAtOnce) return fail("el rango \"" + std::string(part) + "\" es demasiado largo");
    for (int port = *first;; ++port) {
      if (std::find(result.ports.begin(), result.ports.end(), port) == result.ports.end())
        result.ports.push_back(port);
      if (int(result.ports.size()) > kMaxPortsAtOnce)
        return fail("mas de " + std::to_string(kMaxPortsAtOnce) + " puertos a la vez");
      if (port == *last) break;
    }
  }
  return result;
}

IdTable ParseIdTable(std::string_view text) {
  IdTable table;
  int number = 0;
  for (std::string_view line : Split(text, '\n')) {
    ++number;
    line = Trim(line);
    if (line.empty() || line.front() == '#') continue;
    const char separator = line.find(';') != std::string_view::npos ? ';' : ',';
    const std::vector<std::string_view> cells = Split(line, separator);
    const auto refuse = [&](const std::string& why) {
      table.ids.clear();
      table.error = "linea " + std::to_string(number) + ": " + why;
      return table;
    };
    if (cells.size() != 2) return refuse("se esperan dos columnas (IMEI o puerto, TSD ID)");
    const std::string key = Upper(Trim(cells[0]));
    const std::string_view id = Trim(cells[1]);
    int value = -1;
    const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), value);
    const bool numeric = !id.empty() && error == std::errc() && end == id.data() + id.size();
    if (!numeric && table.ids.empty() && number == 1) continue;  // a header
    if (key.empty()) return refuse("falta el IMEI o el puerto");
    if (!numeric || value < 0 || value > 0xFFFF) return refuse(Quoted(id, " no es un TSD ID (0-65535)"));
    std::string name = key;
    if (key.rfind("COM", 0) == 0) {
      const std::optional<int> com = ComPortNumber(std::string_view(key).substr(3));
      if (!com) return refuse(Quoted(key, " no es un puerto"));
      name = "COM" + std::to_string(*com);
    }
    if (!table.ids.emplace(name, value).second) return refuse(Quoted(key, " aparece dos veces"));
  }
  if (table.ids.empty()) table.error = "el archivo no tiene ningun TSD ID";
  return table;
}

std::optional<int> IdFor(const IdTable& table, const std::string& imei, int com) {
  if (!imei.empty())
    if (const auto it = table.ids.find(Upper(imei)); it != table.ids.end()) return it->second;
  if (const auto it = table.ids.find("COM" + std::to_string(com)); it != table.ids.end()) return it->second;
  return std::nullopt;
}
