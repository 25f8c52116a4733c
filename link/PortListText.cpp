// Reading the little texts the system gives about its ports. Any byte may
// come: names and attributes are written by drivers and by udev from what the
// adapter itself reports.
#include <cstddef>

#include "link/PortList.h"

namespace portlist {

namespace {
constexpr std::size_t kTextLimit = 120;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
bool EndsWithInterface(std::string_view name, std::size_t& cut) {
  // "-ifNN" optionally followed by "-portN"
  std::size_t end = name.size();
  const std::size_t port = name.rfind("-port");
  if (port != std::string_view::npos && port + 5 < end) {
    bool digits = true;
    for (std::size_t i = port + 5; i < end; ++i) digits = digits && name[i] >= '0' && name[i] <= '9';
    if (digits) end = port;
  }
  if (end < 5) return false;
  const std::string_view tail = name.substr(end - 5, 5);
  if (tail.substr(0, 3) != "-if" || HexValue(tail[3]) < 0 || HexValue(tail[4]) < 0) return false;
  cut = end - 5;
  return true;
}
}  // namespace

std::string AttributeText(std::string_view raw) {
  const std::size_t newline = raw.find('\n');
  if (newline != std::string_view::npos) raw = raw.substr(0, newline);
  std::string text;
  for (const char c : raw) {
    const auto byte = static_cast<unsigned char>(c);
    text += (byte < 0x20 || byte == 0x7F) ? ' ' : c;
  }
  std::size_t begin = 0;
  while (begin < text.size() && IsSpace(text[begin])) ++begin;
  std::size_t end = text.size();
  while (end > begin && IsSpace(text[end - 1])) --end;
  text = text.substr(begin, end - begin);
  if (text.size() > kTextLimit) {
    std::size_t cut = kTextLimit;
    // Never split a UTF-8 sequence.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  return text;
}

std::string ByIdDescription(std::string_view name) {
  if (name.substr(0, 4) == "usb-") name.remove_prefix(4);
  std::size_t cut = 0;
  if (EndsWithInterface(name, cut)) name = name.substr(0, cut);
  std::string text;
  for (std::size_t i = 0; i < name.size(); ++i) {
    // udev writes unsafe bytes as \xHH
    if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && HexValue(name[i + 2]) >= 0 &&
        HexValue(name[i + 3]) >= 0) {
      const char decoded = char(HexValue(name[i + 2]) * 16 + HexValue(name[i + 3]));
      text += static_cast<unsigned char>(decoded) < 0x20 ? ' ' : decoded;
      i += 3;
    } else {
      text += name[i] == '_' ? ' ' : name[i];
    }
  }
  return AttributeText(text);
}

int ComNumberOf(std::string_view name) {
  if (name.size() < 4 || name.size() > 12 || name.substr(0, 3) != "COM" || name[3] == '0') return 0;
  int number = 0;
  for (const char c : name.substr(3)) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number;
}

std::string UeventValue(std::string_view text, std::string_view key) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    if (line.size() > key.size() && line.substr(0, key.size()) == key && line[key.size()] == '=')
      return AttributeText(line.substr(key.size() + 1));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return {};
}

std::string GoneText(const std::string& device) {
  return device + " no existe: conecte el adaptador o elija el puerto en la lista (\"...\").";
}

std::string HeldText(const std::string& device, const std::string& holders) {
  return device + " está en uso por otro programa" + (holders.empty() ? "" : ": " + holders) +
         ". Ciérrelo y vuelva a conectar.";
}

std::string NotSerialText(const std::string& device) { return device + " no es un puerto serie."; }

std::string FramingText(const std::string& device) {
  return device + " no acepta 19200 baudios, 8 bits, sin paridad y 1 bit de parada.";
}

}  // namespace portlist
