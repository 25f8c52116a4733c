// The ports of a Linux machine: the tty class in sysfs (with the USB device's
// own attributes), udev's /dev/serial/by-id names, the ~/.qirel/ports/COMn
// links, and /proc for who has a device open.
#include "link/PortList.h"

#ifndef _WIN32

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace fs = std::filesystem;
using portlist::AttributeText;

namespace {

constexpr std::size_t kAttributeLimit = 4096;
constexpr int kHighestNumber = 255;  // the lowest free number is searched up to here
constexpr int kUsbSearchDepth = 16;

std::string ReadSmall(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text(kAttributeLimit, '\0');
  in.read(text.data(), std::streamsize(text.size()));
  text.resize(std::size_t(std::max<std::streamsize>(in.gcount(), 0)));
  return text;
}

bool Exists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

bool IsLink(const fs::path& path) {
  std::error_code ec;
  return fs::is_symlink(fs::symlink_status(path, ec));
}

bool Present(const fs::path& path) {  // anything there, a dangling link included
  std::error_code ec;
  return fs::symlink_status(path, ec).type() != fs::file_type::not_found && !ec;
}

// Where a path leads in the end; as far as it can be followed when it leads nowhere.
std::string Canonical(const fs::path& path) {
  std::error_code ec;
  fs::path result = fs::canonical(path, ec);
  if (ec) result = fs::weakly_canonical(path, ec);
  if (ec) result = path.lexically_normal();
  return result.string();
}

// What a link says, made absolute against its folder.
fs::path LinkTarget(const fs::path& link) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(link, ec);
  if (ec) return link;
  return (target.is_absolute() ? target : link.parent_path() / target).lexically_normal();
}

std::vector<fs::path> Entries(const fs::path& dir) {
  std::vector<fs::path> entries;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    entries.push_back(it->path());
  std::sort(entries.begin(), entries.end());
  return entries;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "name (PID n)" of every other process with one of `wanted` open, by device.
std::map<std::string, std::vector<std::string>> Holders(const fs::path& proc,
                                                        const std::set<std::string>& wanted) {
  std::map<std::string, std::vector<std::string>> holders;
  if (wanted.empty()) return holders;
  const std::string self = std::to_string(getpid());
  for (const fs::path& process : Entries(proc)) {
    const std::string pid = process.filename().string();
    if (!AllDigits(pid) || pid == self) continue;
    std::set<std::string> seen;
    for (const fs::path& fd : Entries(process / "fd")) {
      std::error_code ec;
      const std::string target = fs::read_symlink(fd, ec).string();
      if (ec || !wanted.count(target) || !seen.insert(target).second) continue;
      std::string name = AttributeText(ReadSmall(process / "comm"));
      if (name.empty()) name = "?";
      holders[target].push_back(name + " (PID " + pid + ")");
    }
  }
  return holders;
}

std::string Joined(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!text.empty()) text += separator;
    text += part;
  }
  return text;
}

struct Found {
  PortEntry entry;
  std::string node;  // canonical device, to match links and holders against
};

class LinuxPorts : public PortSystem {
 public:
  explicit LinuxPorts(PortRoots roots) : roots_(std::move(roots)) {
    if (roots_.ports.empty()) {
      const char* home = std::getenv("HOME");
      roots_.ports = (fs::path(home && *home ? home : "/") / ".qirel" / "ports").string();
    }
    sysRoot_ = Canonical(roots_.sys);
  }

  std::vector<PortEntry> List() override {
    std::vector<Found> found = Collect();
    std::set<std::string> nodes;
    for (const Found& f : found) nodes.insert(f.node);
    const auto holders = Holders(roots_.proc, nodes);
    std::vector<PortEntry> entries;
    for (Found& f : found) {
      if (const auto it = holders.find(f.node); it != holders.end()) {
        f.entry.inUse = true;
        f.entry.heldBy = Joined(it->second, ", ");
      }
      entries.push_back(std::move(f.entry));
    }
    return entries;
  }

  std::vector<std::string> WatchedPaths() override {
    const fs::path dev(roots_.dev);
    return {dev.string(), (dev / "serial").string(), (dev / "serial" / "by-id").string(), roots_.ports};
  }

  int AssignNumber(const PortEntry& port) override {
    if (port.com > 0) return port.com;
    const std::string target = port.stableDevice.empty() ? port.device : port.stableDevice;
    if (target.empty()) return 0;
    std::set<int> used;
    for (const Found& f : Collect()) used.insert(f.entry.com);
    std::error_code ec;
    fs::create_directories(roots_.ports, ec);
    for (int number = 1; number <= kHighestNumber; ++number) {
      const fs::path link = fs::path(roots_.ports) / ("COM" + std::to_string(number));
      if (used.count(number) || Present(link)) continue;
      // symlink() makes the whole link or nothing, and never replaces one.
      if (symlink(target.c_str(), link.c_str()) == 0) return number;
      if (errno != EEXIST) return 0;
    }
    return 0;
  }

  std::optional<std::string> Identity(int com) override {
    if (com <= 0) return std::nullopt;
    const fs::path link = fs::path(roots_.ports) / ("COM" + std::to_string(com));
    const fs::path path = Present(link) ? link : fs::path(roots_.dev) / ("ttyS" + std::to_string(com - 1));
    if (!Exists(path)) return std::nullopt;
    const std::string node = Canonical(path);
    for (const fs::path& byId : Entries(fs::path(roots_.dev) / "serial" / "by-id"))
      if (Canonical(byId) == node) return byId.filename().string();
    return std::string();
  }

  std::string Explain(const OpenFailure& failure) override {
    if (failure.device.empty()) return "El puerto 0 no existe: los puertos se numeran desde 1.";
    const fs::path path(failure.device);
    const std::string node = Canonical(path);
    const int error = failure.error;
    switch (failure.step) {
      case OpenStep::Open:
        if (error == EACCES || error == EPERM) return NoPermission(node);
        if (error == EBUSY) return Held(node);
        if (error == EISDIR) return NotSerial(node);
        if (error == ENOENT || error == ENXIO || error == ENODEV || error == ENOTDIR || error == ELOOP)
          return Gone(path);
        break;
      case OpenStep::Lock:
        if (error == EWOULDBLOCK || error == EAGAIN) return Held(node);
        break;
      case OpenStep::Settings:
      case OpenStep::Exclusive:
        if (error == ENOTTY || error == EINVAL) return NotSerial(node);
        if (error == EIO) return Gone(path);
        break;
      case OpenStep::Framing:
        return portlist::FramingText(node);
      case OpenStep::None:
        break;
    }
    return node + ": " + std::strerror(error) + ".";
  }

 private:
  std::string NoPermission(const std::string& node) const {
    struct stat info {};
    if (stat(node.c_str(), &info) != 0) return "Sin permiso para abrir " + node + ".";
    if ((info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
      return "Sin permiso para abrir " + node + ": solo su dueño puede usarlo.";
    const group* owner = getgrgid(info.st_gid);
    const std::string name = owner ? owner->gr_name : std::to_string(info.st_gid);
    return "Sin permiso para abrir " + node + " (grupo " + name + "): ejecute sudo usermod -aG " + name +
           " $USER y vuelva a iniciar la sesión.";
  }

  std::string Held(const std::string& node) const {
    const auto holders = Holders(roots_.proc, {node});
    const auto it = holders.find(node);
    return portlist::HeldText(node, it == holders.end() ? std::string() : Joined(it->second, ", "));
  }

  static std::string NotSerial(const std::string& node) { return portlist::NotSerialText(node); }

  static std::string Gone(const fs::path& path) {
    if (IsLink(path) && !Exists(path))
      return "El enlace " + path.string() + " apunta a " + LinkTarget(path).string() +
             ", que no existe: conecte el adaptador o elija el puerto en la lista (\"...\").";
    return portlist::GoneText(path.string());
  }

  bool InsideSys(const fs::path& path) const {
    const std::string text = path.string();
    return text.size() > sysRoot_.size() && text.compare(0, sysRoot_.size(), sysRoot_) == 0 &&
           text[sysRoot_.size()] == '/';
  }

  // Vendor, product and serial number from the USB device above the port;
  // the driver's name for anything else.
  std::string Describe(const fs::path& classDir) const {
    fs::path device = Canonical(classDir / "device");
    for (int depth = 0; depth < kUsbSearchDepth && InsideSys(device); ++depth) {
      if (Exists(device / "idVendor")) {
        const auto text = [&](const char* name) { return AttributeText(ReadSmall(device / name)); };
        std::string id = text("idVendor") + ":" + text("idProduct");
        std::string description = Joined({text("manufacturer"), text("product")}, " ");
        if (id.size() > 1) description = Joined({description, "(" + id + ")"}, " ");
        if (const std::string serial = text("serial"); !serial.empty())
          description += ", serie " + serial;
        return description;
      }
      device = device.parent_path();
    }
    const std::string driver = fs::path(Canonical(classDir / "device" / "driver")).filename().string();
    return Exists(classDir / "device" / "driver") ? "Puerto serie (" + AttributeText(driver) + ")"
                                                  : "Puerto serie";
  }

  static std::string LinkDescription(const fs::path& target, const std::string& node) {
    if (!Exists(target)) return "el enlace apunta a un dispositivo que no está";
    if (node.find("/pts/") != std::string::npos) return "pseudo-terminal (unidad virtual u otro programa)";
    std::error_code ec;
    if (!fs::is_character_file(target, ec)) return "no es un puerto serie";
    return "";
  }

  std::vector<Found> Collect() const {
    std::vector<Found> found;
    const fs::path dev(roots_.dev);
    for (const fs::path& classDir : Entries(fs::path(roots_.sys) / "class" / "tty")) {
      // Virtual terminals and the like have no device; a UART slot without a
      // UART says type 0.
      if (!Exists(classDir / "device")) continue;
      if (AttributeText(ReadSmall(classDir / "type")) == "0") continue;
      std::string name = portlist::UeventValue(ReadSmall(classDir / "uevent"), "DEVNAME");
      if (name.empty() || name.find("..") != std::string::npos || name[0] == '/')
        name = classDir.filename().string();
      const fs::path node = dev / name;
      if (!Exists(node)) continue;
      Found f;
      f.entry.device = node.lexically_normal().string();
      f.entry.description = Describe(classDir);
      f.node = Canonical(node);
      found.push_back(std::move(f));
    }

    for (const fs::path& byId : Entries(dev / "serial" / "by-id")) {
      if (!Exists(byId)) continue;
      const std::string node = Canonical(byId);
      auto it = std::find_if(found.begin(), found.end(), [&](const Found& f) { return f.node == node; });
      if (it == found.end()) {
        found.push_back({});
        it = found.end() - 1;
        it->entry.device = node;
        it->node = node;
      }
      if (it->entry.stableDevice.empty()) it->entry.stableDevice = byId.string();
      if (it->entry.description.empty() || it->entry.description.rfind("Puerto serie", 0) == 0)
        it->entry.description = portlist::ByIdDescription(byId.filename().string());
    }

    std::vector<std::pair<int, fs::path>> links;
    for (const fs::path& link : Entries(roots_.ports))
      if (const int number = portlist::ComNumberOf(link.filename().string()); number > 0)
        links.emplace_back(number, link);
    std::sort(links.begin(), links.end());
    for (const auto& [number, link] : links) {
      const fs::path target = IsLink(link) ? LinkTarget(link) : link;
      const std::string node = Canonical(target);
      auto it = std::find_if(found.begin(), found.end(), [&](const Found& f) { return f.node == node; });
      if (it != found.end() && it->entry.com == 0) {
        it->entry.com = number;
        continue;
      }
      Found f;
      if (it != found.end()) {
        f = *it;  // a second number for the same device
      } else {
        f.entry.device = target.string();
        f.entry.description = LinkDescription(target, node);
        f.node = node;
      }
      f.entry.com = number;
      found.push_back(std::move(f));
    }

    // Without a link, port n is /dev/ttyS<n-1>.
    for (Found& f : found) {
      const fs::path node(f.entry.device);
      const std::string name = node.filename().string();
      if (f.entry.com != 0 || node.parent_path() != dev.lexically_normal() || name.rfind("ttyS", 0) != 0 ||
          !AllDigits(name.substr(4)) || name.size() > 8)
        continue;
      const int number = std::atoi(name.c_str() + 4) + 1;
      if (!Present(fs::path(roots_.ports) / ("COM" + std::to_string(number)))) f.entry.com = number;
    }

    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
      const int ka = a.entry.com > 0 ? a.entry.com : kHighestNumber * 100;
      const int kb = b.entry.com > 0 ? b.entry.com : kHighestNumber * 100;
      return ka != kb ? ka < kb : a.entry.device < b.entry.device;
    });
    return found;
  }

  PortRoots roots_;
  std::string sysRoot_;
};

}  // namespace

std::unique_ptr<PortSystem> MakePortSystem(const PortRoots& roots) {
  return std::make_unique<LinuxPorts>(roots);
}

#endif  // _WIN32
