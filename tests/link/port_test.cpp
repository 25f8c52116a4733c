// The port layer against a real pseudo-terminal: the tool's side is the pty's
// slave, reached through ~/.qirel/ports; the test holds the master.
#include "link/Port.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QtTest>
#include <chrono>
#include <filesystem>

#include "tests/Harness.h"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

int OpenFdCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

long ElapsedMs(Clock::time_point since) {
  return long(std::chrono::duration_cast<milliseconds>(Clock::now() - since).count());
}

}  // namespace

class PortTest : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { ClosePort(); }

  void resolvesDevicePaths() {
    QCOMPARE(ComPortPath(12), std::string("\\\\.\\COM12"));
    QCOMPARE(ResolvePortPath(ComPortPath(12)), std::string("/dev/ttyS11"));
    QCOMPARE(ResolvePortPath("/dev/ttyUSB0"), std::string("/dev/ttyUSB0"));
    ComLink link(12, "/dev/null");
    QCOMPARE(ResolvePortPath(ComPortPath(12)),
             QDir::homePath().toStdString() + "/.qirel/ports/COM12");
    QCOMPARE(ResolvePortPath(ComPortPath(1)), std::string("/dev/ttyS0"));
  }

  void opensLowAndHighNumbersAlike_data() {
    QTest::addColumn<int>("number");
    QTest::newRow("COM3") << 3;
    QTest::newRow("COM12") << 12;
  }
  void opensLowAndHighNumbersAlike() {
    QFETCH(int, number);
    PtyPair pty;
    ComLink link(number, pty.slavePath());
    QCOMPARE(int(OpenPort(ComPortPath(number), 19200, 8, 0, 0)), 0);

    const Bytes frame = HexBytes("01 03 4E 40 00 03 D2 D5");
    QCOMPARE(int(WritePort(frame.data(), std::uint32_t(frame.size()))), 0);
    QCOMPARE(pty.Read(frame.size()), frame);

    pty.Write("Data-->");
    QCOMPARE(ReadFromPort(7), Bytes({'D', 'a', 't', 'a', '-', '-', '>'}));
  }

  void setsRawFramingAndKeepsFlowControl() {
    PtyPair pty;
    QVERIFY(pty.LeaveCooked());

    ComLink link(3, pty.slavePath());
    QCOMPARE(int(OpenPort(ComPortPath(3), 19200, 8, 0, 0)), 0);

    termios after{};
    QCOMPARE(tcgetattr(pty.master(), &after), 0);
    QCOMPARE(cfgetospeed(&after), speed_t(B19200));
    QCOMPARE(cfgetispeed(&after), speed_t(B19200));
    QCOMPARE(after.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(after.c_cflag & (PARENB | CSTOPB), tcflag_t(0));
    QCOMPARE(after.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
    QCOMPARE(after.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(after.c_iflag & ICRNL, tcflag_t(0));
    QCOMPARE(after.c_cflag & CRTSCTS, tcflag_t(CRTSCTS));
    QCOMPARE(after.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));

    // Raw for real: a CR and a ^C come through as bytes.
    pty.Write(Bytes{0x0D, 0x03, 0x0A});
    QCOMPARE(ReadFromPort(3), Bytes({0x0D, 0x03, 0x0A}));
  }

  void failedOpensLeaveNothingOpen() {
    const int fdsBefore = OpenFdCount();
    QCOMPARE(int(OpenPort(ComPortPath(0), 19200, 8, 0, 0)), 1);
    {
      ComLink gone(5, "/nonexistent/tty");  // a unit that went away
      QCOMPARE(int(OpenPort(ComPortPath(5), 19200, 8, 0, 0)), 1);
    }
    QCOMPARE(int(OpenPort("/dev/null", 19200, 8, 0, 0)), 2);  // opens, but no line settings
    QCOMPARE(OpenFdCount(), fdsBefore);
    const std::uint8_t byte = 0x55;
    QCOMPARE(int(WritePort(&byte, 1)), 1);

    // Held by someone else, here the tool itself: the second open fails and
    // the first one goes on working.
    PtyPair pty;
    ComLink link(3, pty.slavePath());
    QCOMPARE(int(OpenPort(ComPortPath(3), 19200, 8, 0, 0)), 0);
    const int fdsOpen = OpenFdCount();
    QCOMPARE(int(OpenPort(ComPortPath(3), 19200, 8, 0, 0)), 1);
    QCOMPARE(OpenFdCount(), fdsOpen);
    QCOMPARE(int(WritePort(&byte, 1)), 0);
    QCOMPARE(pty.Read(1), Bytes{byte});
  }

  void readReturnsWhatArrivedInTime() {
    PtyPair pty;
    ComLink link(3, pty.slavePath());
    QCOMPARE(int(OpenPort(ComPortPath(3), 19200, 8, 0, 0)), 0);

    std::uint8_t buffer[2048];
    std::uint32_t received = 99;
    auto start = Clock::now();
    QVERIFY(!ReadPort(buffer, sizeof buffer, received));
    const long quiet = ElapsedMs(start);
    QCOMPARE(received, 0u);
    // At least the 10 ms wait; the upper bound only catches a read that blocks
    // (a loaded machine may hold the thread back for a while).
    QVERIFY2(quiet >= 9 && quiet < 1000, qPrintable(QString::number(quiet)));

    // Never more than asked for; the rest waits for the next read.
    pty.Write(Bytes(100, 0x41));
    int waiting = 0;
    const auto deadline = Clock::now() + milliseconds(5000);
    while (waiting < 100 && Clock::now() < deadline) ioctl(portHandle, FIONREAD, &waiting);
    start = Clock::now();
    QVERIFY(ReadPort(buffer, 10, received));
    QCOMPARE(received, 10u);
    QVERIFY(ElapsedMs(start) < 1000);
    QVERIFY(!ReadPort(buffer, sizeof buffer, received));
    QCOMPARE(received, 90u);
  }

  void closedPortFailsQuietlyAndItsFdIsNotReused() {
    PtyPair pty;
    ComLink link(3, pty.slavePath());
    QCOMPARE(int(OpenPort(ComPortPath(3), 19200, 8, 0, 0)), 0);
    const int oldFd = portHandle;
    ClosePort();
    QCOMPARE(portHandle, oldFd);

    // The fd number goes to a pipe with a byte in it, as it might to any file
    // the program opens next: the port functions must not touch it.
    int pipeFds[2];
    QCOMPARE(pipe(pipeFds), 0);
    QCOMPARE(int(write(pipeFds[1], "x", 1)), 1);
    if (pipeFds[0] != oldFd) {
      QCOMPARE(dup2(pipeFds[0], oldFd), oldFd);
      close(pipeFds[0]);
    }
    std::uint8_t buffer[16];
    std::uint32_t received = 99;
    QVERIFY(!ReadPort(buffer, sizeof buffer, received));
    QCOMPARE(received, 0u);
    PurgePort();
    const std::uint8_t byte = 0x55;
    QCOMPARE(int(WritePort(&byte, 1)), 1);
    ClosePort();
    char c = 0;
    QCOMPARE(int(read(oldFd, &c, 1)), 1);
    QCOMPARE(c, 'x');
    close(oldFd);
    close(pipeFds[1]);

    // And the port opens again afterwards.
    QCOMPARE(int(OpenPort(ComPortPath(3), 19200, 8, 0, 0)), 0);
  }

  void writeDiscardsUnsentOutputAndGivesUp() {
    PtyPair pty;
    ComLink link(3, pty.slavePath());
    QCOMPARE(int(OpenPort(ComPortPath(3), 19200, 8, 0, 0)), 0);

    // The master reads nothing, so this can't all go: it stops after 2 s and
    // leaves the pty's buffers full of unsent output.
    const Bytes filler(256 * 1024, 0x46);
    const auto start = Clock::now();
    QCOMPARE(int(WritePort(filler.data(), std::uint32_t(filler.size()))), 1);
    const long stuck = ElapsedMs(start);
    QVERIFY2(stuck >= 1900 && stuck < 10000, qPrintable(QString::number(stuck)));

    const Bytes frame = HexBytes("01 05 00 08 FF 00 0D F8");
    QCOMPARE(int(WritePort(frame.data(), std::uint32_t(frame.size()))), 0);

    // The master gets the frame last, after only what the line discipline had
    // already taken in, not the tens of kilobytes that were queued.
    const Bytes seen = pty.ReadUntilQuiet();
    QVERIFY(seen.size() >= frame.size());
    QCOMPARE(Bytes(seen.end() - std::ptrdiff_t(frame.size()), seen.end()), frame);
    QVERIFY2(seen.size() - frame.size() <= 8192, qPrintable(QString::number(seen.size())));
  }
};

QTEST_MAIN(PortTest)
#include "port_test.moc"
