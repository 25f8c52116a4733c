// A made-up machine for the port list: sysfs, /dev, /proc and the COM links
// under one temporary folder.
#pragma once

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <string>

#include "link/PortList.h"

class FakePorts {
 public:
  FakePorts() : root_(std::filesystem::canonical(dir_.path().toStdString())) {
    roots.sys = (root_ / "sys").string();
    roots.dev = (root_ / "dev").string();
    roots.proc = (root_ / "proc").string();
    roots.ports = (root_ / "home" / ".qirel" / "ports").string();
    for (const char* folder : {"sys/class/tty", "dev", "proc", "home/.qirel/ports"})
      std::filesystem::create_directories(root_ / folder);
  }

  std::filesystem::path Path(const std::string& relative) const { return root_ / relative; }

  void File(const std::string& relative, const std::string& text) const {
    std::filesystem::create_directories(Path(relative).parent_path());
    std::ofstream(Path(relative), std::ios::binary) << text;
  }
  void Link(const std::string& relative, const std::string& target) const {
    std::filesystem::create_directories(Path(relative).parent_path());
    std::filesystem::create_symlink(target, Path(relative));
  }
  // A port link of the tool's own.
  void ComLink(int number, const std::string& target) const {
    Link("home/.qirel/ports/COM" + std::to_string(number), target);
  }

  // A USB serial adapter as the kernel and udev show it.
  void UsbAdapter(const std::string& name, const std::string& vendor, const std::string& product,
                  const std::string& manufacturer, const std::string& productName,
                  const std::string& serial, const std::string& byId = {}) const {
    const std::string usb = "sys/devices/pci0000:00/usb1/1-" + name;
    File(usb + "/idVendor", vendor + "\n");
    File(usb + "/idProduct", product + "\n");
    if (!manufacturer.empty()) File(usb + "/manufacturer", manufacturer + "\n");
    if (!productName.empty()) File(usb + "/product", productName + "\n");
    if (!serial.empty()) File(usb + "/serial", serial + "\n");
    const std::string port = usb + "/1-1:1.0/" + name;
    std::filesystem::create_directories(Path(port));
    File("sys/class/tty/" + name + "/uevent", "MAJOR=188\nMINOR=0\nDEVNAME=" + name + "\n");
    Link("sys/class/tty/" + name + "/device", Path(port).string());
    File("dev/" + name, "");
    if (!byId.empty()) Link("dev/serial/by-id/" + byId, "../../" + name);
  }

  // A UART on the board; type 0 is a slot with nothing behind it.
  void Uart(const std::string& name, const std::string& type) const {
    const std::string device = "sys/devices/platform/serial8250";
    std::filesystem::create_directories(Path(device));
    std::filesystem::create_directories(Path("sys/bus/platform/drivers/serial8250"));
    if (!std::filesystem::exists(Path(device + "/driver")))
      Link(device + "/driver", Path("sys/bus/platform/drivers/serial8250").string());
    File("sys/class/tty/" + name + "/type", type + "\n");
    File("sys/class/tty/" + name + "/uevent", "DEVNAME=" + name + "\n");
    Link("sys/class/tty/" + name + "/device", Path(device).string());
    File("dev/" + name, "");
  }

  // Another program with a file open.
  void Process(int pid, const std::string& name, const std::string& open) const {
    const std::string dir = "proc/" + std::to_string(pid);
    File(dir + "/comm", name + "\n");
    Link(dir + "/fd/0", "/dev/null");
    Link(dir + "/fd/3", open);
  }

  PortRoots roots;

 private:
  QTemporaryDir dir_;
  std::filesystem::path root_;
};
