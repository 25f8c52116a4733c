// The ports of a Windows machine: the Ports device class (its friendly names
// and instance ids) and the SERIALCOMM map for ports installed in another
// class. Every port already has its COM number here.
#include "link/PortList.h"

#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first
#include <setupapi.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>

namespace {

// {4D36E978-E325-11CE-BFC1-08002BE10318}, the Ports (COM & LPT) class.
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::string Utf8(const wchar_t* text, int length = -1) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(std::size_t(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  if (length < 0 && !out.empty() && out.back() == '\0') out.pop_back();
  return out;
}

std::string DevicePath(int com) { return "\\\\.\\COM" + std::to_string(com); }

// "\\.\COM3" -> "COM3" for the messages.
std::string Shown(const std::string& device) {
  const std::string prefix = "\\\\.\\";
  return device.compare(0, prefix.size(), prefix) == 0 ? device.substr(prefix.size()) : device;
}

std::string RegistryText(HKEY key, const wchar_t* name) {
  wchar_t value[256] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return {};
  value[std::min<DWORD>(size / sizeof(wchar_t), 255)] = L'\0';
  return Utf8(value);
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
  wchar_t value[256] = {};
  if (!SetupDiGetDeviceRegistryPropertyW(set, &info, property, nullptr, reinterpret_cast<BYTE*>(value),
                                         sizeof value - sizeof(wchar_t), nullptr))
    return {};
  return Utf8(value);
}

// Another program has it when it can't be had exclusively; Windows doesn't say who.
bool HeldElsewhere(int com) {
  const HANDLE handle = CreateFileA(DevicePath(com).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED;
  CloseHandle(handle);
  return false;
}

std::string SystemMessage(int error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      DWORD(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length > 0 && text ? portlist::AttributeText(Utf8(text, int(length))) : std::string();
  if (text) LocalFree(text);
  return message.empty() ? "error " + std::to_string(error) : message;
}

class WindowsPorts : public PortSystem {
 public:
  // Probing opens the port, which toggles its control lines (and resets some
  // boards), so while the list is being polled a port is probed only when it
  // appears; a list read after a pause probes them all again.
  std::vector<PortEntry> List() override {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastList_ > kProbeAgainAfter) held_.clear();
    lastList_ = now;
    std::vector<PortEntry> entries = Collect();
    std::map<int, bool> held;
    for (PortEntry& entry : entries) {
      const auto known = held_.find(entry.com);
      entry.inUse = known != held_.end() ? known->second : HeldElsewhere(entry.com);
      held[entry.com] = entry.inUse;
    }
    held_ = std::move(held);
    return entries;
  }

  std::vector<std::string> WatchedPaths() override { return {}; }

  int AssignNumber(const PortEntry& port) override { return port.com; }

  std::optional<std::string> Identity(int com) override {
    for (const PortEntry& entry : Collect())
      if (entry.com == com) return entry.stableDevice;
    return std::nullopt;
  }

  std::string Explain(const OpenFailure& failure) override {
    const std::string device = Shown(failure.device);
    const int error = failure.error;
    switch (failure.step) {
      case OpenStep::Open:
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
          return portlist::HeldText(device, {});
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_DEV_NOT_EXIST ||
            error == ERROR_GEN_FAILURE || error == ERROR_BAD_COMMAND)
          return portlist::GoneText(device);
        break;
      case OpenStep::Settings:
        if (error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_HANDLE)
          return portlist::NotSerialText(device);
        if (error == ERROR_GEN_FAILURE || error == ERROR_BAD_COMMAND) return portlist::GoneText(device);
        break;
      case OpenStep::Framing:
        return portlist::FramingText(device);
      case OpenStep::Lock:
      case OpenStep::Exclusive:
      case OpenStep::None:
        break;
    }
    return device + ": " + SystemMessage(error) + ".";
  }

 private:
  static constexpr std::chrono::seconds kProbeAgainAfter{5};
  std::map<int, bool> held_;  // by COM number, from the last listing
  std::chrono::steady_clock::time_point lastList_;

  static std::vector<PortEntry> Collect() {
    std::vector<PortEntry> entries;
    const HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set != INVALID_HANDLE_VALUE) {
      SP_DEVINFO_DATA info;
      info.cbSize = sizeof info;
      for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &info); ++i) {
        const HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        const int com = portlist::ComNumberOf(RegistryText(key, L"PortName"));
        RegCloseKey(key);
        if (com == 0) continue;  // a printer port
        PortEntry entry;
        entry.com = com;
        entry.device = DevicePath(com);
        entry.description = portlist::AttributeText(DeviceProperty(set, info, SPDRP_FRIENDLYNAME));
        wchar_t id[512] = {};
        if (SetupDiGetDeviceInstanceIdW(set, &info, id, 511, nullptr))
          entry.stableDevice = portlist::AttributeText(Utf8(id));  // USB\VID_0403&PID_6001\A50285BI
        entries.push_back(std::move(entry));
      }
      SetupDiDestroyDeviceInfoList(set);
    }

    // Ports a driver installed outside the Ports class still appear here.
    HKEY map = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &map) == ERROR_SUCCESS) {
      for (DWORD i = 0;; ++i) {
        wchar_t name[256] = {};
        wchar_t value[64] = {};
        DWORD nameSize = 255;
        DWORD valueSize = sizeof value - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result = RegEnumValueW(map, i, name, &nameSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(value), &valueSize);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        value[std::min<DWORD>(valueSize / sizeof(wchar_t), 63)] = L'\0';
        const int com = portlist::ComNumberOf(Utf8(value));
        if (com == 0 || std::any_of(entries.begin(), entries.end(), [&](const PortEntry& e) { return e.com == com; }))
          continue;
        PortEntry entry;
        entry.com = com;
        entry.device = DevicePath(com);
        entry.description = portlist::AttributeText(Utf8(name));  // \Device\Serial0
        entries.push_back(std::move(entry));
      }
      RegCloseKey(map);
    }
    std::sort(entries.begin(), entries.end(), [](const PortEntry& a, const PortEntry& b) { return a.com < b.com; });
    return entries;
  }
};

}  // namespace

std::unique_ptr<PortSystem> MakePortSystem(const PortRoots&) { return std::make_unique<WindowsPorts>(); }

#endif  // _WIN32
