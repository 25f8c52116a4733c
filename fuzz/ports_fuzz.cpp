// The port list over a made-up machine built from the input: a tty in sysfs
// with its USB attributes and uevent, a device node, a by-id name, a COMn
// link to anywhere and a process holding something open; then the reason
// texts for a failure at any step with any error number. Also the text
// readers on the raw bytes.
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "link/PortList.h"

namespace fs = std::filesystem;

namespace {
const fs::path& Root() {
  // Every input builds and removes a small tree: in memory where there is a tmpfs.
  static const QString base = QDir("/dev/shm").exists() ? QString("/dev/shm") : QDir::tempPath();
  static QTemporaryDir dir(base + "/qirel-ports-fuzz-XXXXXX");
  static const fs::path root = fs::path(dir.path().toStdString()) / "machine";
  return root;
}

std::string Text(FuzzReader& in) {
  const auto bytes = in.Bytes(in.Byte() % 48);
  return std::string(bytes.begin(), bytes.end());
}

// A single path component made from any bytes.
std::string Name(FuzzReader& in) {
  std::string name = Text(in);
  for (char& c : name)
    if (c == '/' || c == '\0') c = '_';
  if (name.empty() || name == "." || name == "..") name = "x";
  return name;
}

void Write(const fs::path& path, const std::string& text) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream(path, std::ios::binary) << text;
}

void Link(const fs::path& path, std::string target) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  target.erase(std::remove(target.begin(), target.end(), '\0'), target.end());
  if (target.empty()) target = "x";
  fs::create_symlink(target, path, ec);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  StartFuzzApplication();
  Root();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string raw(reinterpret_cast<const char*>(data), size);
  portlist::AttributeText(raw);
  portlist::ByIdDescription(raw);
  portlist::ComNumberOf(raw);
  portlist::UeventValue(raw, "DEVNAME");

  const fs::path& root = Root();
  std::error_code ec;
  fs::remove_all(root, ec);
  FuzzReader in(data, size);
  const std::uint8_t shape = in.Byte();
  const std::string tty = Name(in);
  const fs::path classDir = root / "sys/class/tty" / tty;
  const fs::path usb = root / "sys/devices/usb1" / Name(in);
  const fs::path port = usb / "1-1:1.0" / tty;
  fs::create_directories(port, ec);
  fs::create_directories(classDir, ec);
  Link(classDir / "device", (shape & 1) ? port.string() : "../../../devices/" + Text(in));
  Write(classDir / "uevent", Text(in));
  if (shape & 2) Write(classDir / "type", Text(in));
  for (const char* attribute : {"idVendor", "idProduct", "manufacturer", "product", "serial"})
    Write(usb / attribute, Text(in));
  Write(root / "dev" / tty, "");
  Link(root / "dev/serial/by-id" / Name(in), (shape & 4) ? "../../" + tty : Text(in));
  Link(root / "home/ports" / Name(in), Text(in));
  Link(root / "home/ports" / ("COM" + std::to_string(in.Byte())), (shape & 8) ? (root / "dev" / tty).string() : Text(in));
  const fs::path process = root / "proc" / std::to_string(in.Word());
  Write(process / "comm", Text(in));
  Link(process / "fd/3", (shape & 16) ? (root / "dev" / tty).string() : Text(in));

  PortRoots roots;
  roots.sys = (root / "sys").string();
  roots.dev = (root / "dev").string();
  roots.proc = (root / "proc").string();
  roots.ports = (root / "home/ports").string();
  const auto system = MakePortSystem(roots);
  for (const PortEntry& entry : system->List()) {
    if (entry.com == 0 && (shape & 32)) system->AssignNumber(entry);
    if (entry.com > 0) system->Identity(entry.com);
  }
  system->WatchedPaths();
  OpenFailure failure;
  failure.step = static_cast<OpenStep>(in.Byte() % 6);
  failure.error = in.Byte();
  failure.device = (shape & 64) ? (root / "home/ports" / Name(in)).string() : Text(in);
  system->Explain(failure);
  return 0;
}
