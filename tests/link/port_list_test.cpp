// The ports of a machine as the list shows them, the numbers the tool gives
// them, and why an open failed, each cause made for real on this machine.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtTest>
#include <filesystem>
#include <functional>

#include "link/Port.h"
#include "link/PortList.h"
#include "tests/Harness.h"
#include "tests/link/FakePorts.h"

namespace fs = std::filesystem;

namespace {
constexpr int kCom = 11;

const PortEntry* Row(const std::vector<PortEntry>& rows, const std::string& device) {
  for (const PortEntry& row : rows)
    if (row.device == device) return &row;
  return nullptr;
}

// Runs `body` in a child process and returns what it wrote to its pipe.
std::string InChild(const std::function<std::string()>& body) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return "no pipe";
  const pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    const std::string text = body();
    if (write(pipeFds[1], text.data(), text.size()) < 0) _exit(1);
    _exit(0);
  }
  close(pipeFds[1]);
  std::string text;
  char buffer[512];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) text.append(buffer, std::size_t(n));
  close(pipeFds[0]);
  waitpid(child, nullptr, 0);
  return text;
}

// Another program holding the port locked, under the name it gives itself.
class Holder {
 public:
  Holder(const std::string& device, const char* name) {
    int ready[2];
    if (pipe(ready) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      prctl(PR_SET_NAME, reinterpret_cast<unsigned long>(name), 0, 0, 0);
      const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      const char answer = fd >= 0 && flock(fd, LOCK_EX) == 0 ? '1' : '0';
      if (write(ready[1], &answer, 1) != 1) _exit(1);
      for (;;) pause();
    }
    close(ready[1]);
    pollfd pfd{ready[0], POLLIN, 0};
    char answer = '0';
    if (poll(&pfd, 1, 20000) > 0 && read(ready[0], &answer, 1) == 1) holding_ = answer == '1';
    close(ready[0]);
  }
  ~Holder() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool holding() const { return holding_; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  bool holding_ = false;
};

std::string Reason(const std::string& path) {
  if (OpenPort(path, 19200, 8, 0, 0) == 0) {
    ClosePort();
    return "opened";
  }
  return MakePortSystem()->Explain(LastOpenFailure());
}
}  // namespace

class PortListTest : public QObject {
  Q_OBJECT

 private slots:
  void listsEveryPortAndEveryNumber() {
    FakePorts machine;
    machine.UsbAdapter("ttyUSB0", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI",
                       "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    machine.UsbAdapter("ttyACM0", "2341", "0043", "Arduino (www.arduino.cc)", "", "");
    machine.Uart("ttyS0", "4");
    machine.Uart("ttyS1", "0");  // no UART there
    machine.Uart("ttyS2", "4");  // its number is taken by a link
    machine.File("sys/class/tty/tty1/uevent", "DEVNAME=tty1\n");
    machine.File("dev/tty1", "");
    machine.Process(4242, "minicom", machine.Path("dev/ttyUSB0").string());
    machine.Process(getpid(), "myself", machine.Path("dev/ttyS0").string());
    PtyPair unit;
    machine.ComLink(3, machine.Path("dev/ttyUSB7").string());  // adapter gone
    machine.ComLink(5, unit.slavePath());
    machine.ComLink(7, "../../../dev/ttyACM0");
    for (const char* junk : {"COM0", "COM01", "COMx", "notas"}) machine.File("home/.qirel/ports/" + std::string(junk), "");

    const auto rows = MakePortSystem(machine.roots)->List();
    QCOMPARE(rows.size(), std::size_t(6));
    const std::string dev = machine.Path("dev").string();
    QCOMPARE(rows[0].com, 1);  // ttyS0 without a link
    QCOMPARE(rows[0].device, dev + "/ttyS0");
    QCOMPARE(rows[0].description, std::string("Puerto serie (serial8250)"));
    QVERIFY(!rows[0].inUse);  // this tool itself
    QCOMPARE(rows[1].com, 3);
    QCOMPARE(rows[1].device, dev + "/ttyUSB7");
    QCOMPARE(rows[1].description, std::string("el enlace apunta a un dispositivo que no está"));
    QCOMPARE(rows[2].com, 5);
    QCOMPARE(rows[2].device, unit.slavePath());
    QCOMPARE(rows[2].description, std::string("pseudo-terminal (unidad virtual u otro programa)"));
    QCOMPARE(rows[3].com, 7);
    QCOMPARE(rows[3].device, dev + "/ttyACM0");
    QCOMPARE(rows[3].description, std::string("Arduino (www.arduino.cc) (2341:0043)"));

    const PortEntry* uart = Row(rows, dev + "/ttyS2");
    QVERIFY(uart && uart->com == 0);
    const PortEntry* usb = Row(rows, dev + "/ttyUSB0");
    QVERIFY(usb && usb->com == 0);
    QCOMPARE(usb->description, std::string("FTDI FT232R USB UART (0403:6001), serie A50285BI"));
    QCOMPARE(usb->stableDevice, dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    QVERIFY(usb->inUse);
    QCOMPARE(usb->heldBy, std::string("minicom (PID 4242)"));
  }

  void givesTheLowestFreeNumberWithoutTouchingOtherLinks() {
    FakePorts machine;
    machine.UsbAdapter("ttyUSB0", "0403", "6001", "FTDI", "FT232R", "A1", "usb-FTDI_FT232R_A1-if00-port0");
    machine.UsbAdapter("ttyUSB1", "10c4", "ea60", "Silicon Labs", "CP2102", "");
    machine.Uart("ttyS0", "4");
    machine.ComLink(2, "/nowhere/ttyUSB3");
    const auto system = MakePortSystem(machine.roots);
    const std::string dev = machine.Path("dev").string();

    auto rows = system->List();
    QCOMPARE(system->AssignNumber(*Row(rows, dev + "/ttyUSB0")), 3);
    const fs::path ports(machine.roots.ports);
    // The link follows the adapter to whatever ttyUSB it gets next time.
    QCOMPARE(fs::read_symlink(ports / "COM3").string(), dev + "/serial/by-id/usb-FTDI_FT232R_A1-if00-port0");
    QCOMPARE(fs::read_symlink(ports / "COM2").string(), std::string("/nowhere/ttyUSB3"));
    rows = system->List();
    QCOMPARE(Row(rows, dev + "/ttyUSB0")->com, 3);
    QCOMPARE(system->AssignNumber(*Row(rows, dev + "/ttyUSB1")), 4);
    QCOMPARE(fs::read_symlink(ports / "COM4").string(), dev + "/ttyUSB1");
    QCOMPARE(system->AssignNumber(*Row(system->List(), dev + "/ttyUSB1")), 4);  // has one already

    // What recognises an adapter when it comes back.
    const auto identity = [&](int com) { return system->Identity(com).value_or("(none)"); };
    QCOMPARE(identity(3), std::string("usb-FTDI_FT232R_A1-if00-port0"));
    QCOMPARE(identity(4), std::string());
    QCOMPARE(identity(2), std::string("(none)"));
    QCOMPARE(identity(1), std::string());  // ttyS0
    QCOMPARE(identity(9), std::string("(none)"));
  }

  void theVirtualUnitShowsUpUnderItsNumber() {
    PtyPair unit;
    ComLink link(1, unit.slavePath());
    bool found = false;
    for (const PortEntry& row : MakePortSystem()->List())
      found = found || (row.com == 1 && row.device == unit.slavePath() && !row.inUse);
    QVERIFY(found);
  }

  void textsFromTheSystemAreReadDefensively() {
    using namespace portlist;
    QCOMPARE(ByIdDescription("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"),
             std::string("FTDI FT232R USB UART A50285BI"));
    QCOMPARE(ByIdDescription("usb-Prolific\\x20Technology_USB-Serial-if00"),
             std::string("Prolific Technology USB-Serial"));
    QCOMPARE(ByIdDescription("usb-x\\x0a\\x1"), std::string("x \\x1"));
    QCOMPARE(AttributeText("  FT232R\tUSB\r\nsecond line"), std::string("FT232R USB"));
    QCOMPARE(AttributeText(std::string(200, 'a')).size(), std::size_t(120));
    QCOMPARE(AttributeText(std::string(119, 'a') + "\xC3\xB1"), std::string(119, 'a'));  // ñ not cut
    QCOMPARE(ComNumberOf("COM12"), 12);
    for (const char* name : {"COM0", "COM012", "COM", "COM1x", "com3", "COM1234567890"}) QCOMPARE(ComNumberOf(name), 0);
    QCOMPARE(UeventValue("MAJOR=4\nDEVNAME=ttyS0\n", "DEVNAME"), std::string("ttyS0"));
    QCOMPARE(UeventValue("XDEVNAME=a\nDEVNAMEX=b", "DEVNAME"), std::string());
  }

  void saysWhyAnOpenFailed() {
    QCOMPARE(Reason(ComPortPath(0)), std::string("El puerto 0 no existe: los puertos se numeran desde 1."));
    QCOMPARE(Reason(ComPortPath(150)),
             std::string("/dev/ttyS149 no existe: conecte el adaptador o elija el puerto en la lista (\"...\")."));

    // The adapter is pulled: its pty end goes away and the link points nowhere.
    auto unit = std::make_unique<PtyPair>();
    const std::string slave = unit->slavePath();
    ComLink link(kCom, slave);
    unit.reset();
    const std::string linkPath = ResolvePortPath(ComPortPath(kCom));
    QCOMPARE(Reason(ComPortPath(kCom)), "El enlace " + linkPath + " apunta a " + slave +
                                            ", que no existe: conecte el adaptador o elija el puerto en la lista (\"...\").");

    QTemporaryDir dir;
    const std::string file = dir.filePath("notas.txt").toStdString();
    std::ofstream(file) << "x";
    QCOMPARE(Reason(file), file + " no es un puerto serie.");
    QCOMPARE(Reason("/dev/null"), std::string("/dev/null no es un puerto serie."));

    PtyPair held;
    Holder minicom(held.slavePath(), "minicom");
    QVERIFY(minicom.holding());
    QCOMPARE(Reason(held.slavePath()), held.slavePath() + " está en uso por otro programa: minicom (PID " +
                                           std::to_string(minicom.pid()) + "). Ciérrelo y vuelva a conectar.");
  }

  // Root opens anything, so as root the open is made by a child that has become
  // "nobody"; any other user gets the same refusal from a file whose owner bits
  // deny what its group bits allow.
  void saysWhichGroupToJoin() {
    const group* dialout = getgrnam("dialout");
    if (!dialout) QSKIP("no dialout group on this machine");
    const std::string expected = " (grupo dialout): ejecute sudo usermod -aG dialout $USER y vuelva a iniciar la sesión.";
    if (geteuid() == 0) {
      PtyPair port;
      const passwd* nobody = getpwnam("nobody");
      QVERIFY(nobody);
      QCOMPARE(chown(port.slavePath().c_str(), 0, dialout->gr_gid), 0);
      QCOMPARE(chmod(port.slavePath().c_str(), 0660), 0);
      const uid_t uid = nobody->pw_uid;
      const gid_t gid = nobody->pw_gid;
      const std::string path = port.slavePath();
      const std::string reason = InChild([&] {
        if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0) return std::string("setuid failed");
        return Reason(path);
      });
      QCOMPARE(reason, "Sin permiso para abrir " + path + expected);
    } else {
      QTemporaryDir dir;
      const std::string file = dir.filePath("ttyUSB0").toStdString();
      std::ofstream(file) << "";
      if (chown(file.c_str(), geteuid(), dialout->gr_gid) != 0) QSKIP("not allowed to give a file to dialout");
      QCOMPARE(chmod(file.c_str(), 0060), 0);
      QCOMPARE(Reason(file), "Sin permiso para abrir " + file + expected);
    }
  }
};

QTEST_GUILESS_MAIN(PortListTest)
#include "port_list_test.moc"
