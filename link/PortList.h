// The serial ports present on this machine, which of them the tool's port
// numbers reach, and why one could not be opened. One interface, a Linux and
// a Windows implementation; no Qt here.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/Port.h"

struct PortEntry {
  int com = 0;               // the port number that opens it; 0 when none does yet
  std::string device;        // what that number opens (/dev/ttyUSB0, a link's target, \\.\COM3)
  std::string stableDevice;  // a path that follows the adapter across replugs, if any
  std::string description;   // vendor, product and serial number, or the system's name for it
  std::string heldBy;        // the other programs that have it open, when the system tells
  bool inUse = false;        // another program has it open
};

// Where the Linux implementation looks; tests point these at a made-up tree.
struct PortRoots {
  std::string sys = "/sys";
  std::string dev = "/dev";
  std::string proc = "/proc";
  std::string ports;  // the COMn links; empty: ~/.qirel/ports
};

class PortSystem {
 public:
  virtual ~PortSystem() = default;
  // Every port present and every port number already mapped, numbered ones first.
  virtual std::vector<PortEntry> List() = 0;
  // Folders whose change means a port came or went; empty where nothing can be watched.
  virtual std::vector<std::string> WatchedPaths() = 0;
  // Gives a port without a number the lowest free one and makes it reach the
  // port; returns it, or 0 when that could not be done.
  virtual int AssignNumber(const PortEntry& port) = 0;
  // What names the device behind port number `com`, so the same adapter is
  // recognised when it returns: nothing while no device is there, an empty
  // text for a device that carries no name of its own.
  virtual std::optional<std::string> Identity(int com) = 0;
  // The line under "Error al abrir puerto": the cause and its fix (UTF-8).
  virtual std::string Explain(const OpenFailure& failure) = 0;
};

std::unique_ptr<PortSystem> MakePortSystem(const PortRoots& roots = {});

// What the system gives, read defensively (shared with the fuzz target and tests).
namespace portlist {
// An attribute file's text: one line, trimmed, printable, at most 120 bytes.
std::string AttributeText(std::string_view raw);
// "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" -> "FTDI FT232R USB UART A50285BI".
std::string ByIdDescription(std::string_view name);
// "COM12" -> 12; 0 for anything that is not a port link name.
int ComNumberOf(std::string_view name);
// The value of KEY=value in a uevent file; empty when absent.
std::string UeventValue(std::string_view text, std::string_view key);

// The reasons both systems give, worded once.
std::string GoneText(const std::string& device);
std::string HeldText(const std::string& device, const std::string& holders);
std::string NotSerialText(const std::string& device);
std::string FramingText(const std::string& device);
}  // namespace portlist
