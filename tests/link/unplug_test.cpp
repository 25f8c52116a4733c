// A port that disappears while connected, as when the USB adapter is pulled:
// the tool must fail its writes quietly, must say the unit is gone once it has
// been silent long enough, and must connect again to the port when it returns.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <QtTest>
#include <chrono>
#include <thread>

#include "app/Log.h"
#include "link/Link.h"
#include "protocol/Protocol.h"
#include "tests/Harness.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr int kCom = 9;

// The unit's end of a cable that can be pulled out.
class Cable {
 public:
  Cable() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
      throw std::runtime_error("no pty");
    slave_ = ptsname(master_);
    termios tio{};
    tcgetattr(master_, &tio);
    cfmakeraw(&tio);
    tcsetattr(master_, TCSANOW, &tio);
  }
  ~Cable() { Pull(); }
  const std::string& slave() const { return slave_; }
  void Pull() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  void Write(const std::string& text) {
    QCOMPARE(::write(master_, text.data(), text.size()), ssize_t(text.size()));
  }
  std::size_t Read(std::chrono::milliseconds wait) {
    pollfd pfd{master_, POLLIN, 0};
    if (poll(&pfd, 1, int(wait.count())) <= 0) return 0;
    char buffer[512];
    const ssize_t n = ::read(master_, buffer, sizeof buffer);
    return n > 0 ? std::size_t(n) : 0;
  }

 private:
  int master_ = -1;
  std::string slave_;
};

// Runs the receiver until the console's last line is `line`.
bool Receives(TForm1& form, const QString& line) {
  const auto end = Clock::now() + 30s;  // a generous ceiling: it returns once the line is there
  while (Clock::now() < end) {
    form.Timer1Timer();
    const QStringList lines = Lines(form.Memo1);
    if (!lines.isEmpty() && lines.last() == line) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}
}  // namespace

class UnplugTest : public QObject {
  Q_OBJECT

 private slots:
  void pulledWhileConnectedThenBack() {
    DialogScript dialogs;
    auto cable = std::make_unique<Cable>();
    auto link = std::make_unique<ComLink>(kCom, cable->slave());
    TForm1 form;
    form.Timer1->stop();
    form.Timer2->stop();
    form.LabeledEdit1->setText(QString::number(kCom));
    form.BitBtn1Click();
    QVERIFY(form.IsConnected());
    cable->Write("antes\r\n");
    QVERIFY(Receives(form, "antes"));
    QVERIFY(form.Panel5->caption() != "Equipo desconectado");

    cable->Pull();
    pendingRequest = 0;
    const QString status = form.StatusText();
    // Writes fail: no status, no pending request. How fast they fail, and
    // that the reader does not spin meanwhile, bench/unplug_bench measures.
    for (QPushButton* button : {form.BitBtn34, form.BitBtn35, form.BitBtn4, form.BitBtn9}) {
      button->click();
      QCOMPARE(pendingRequest, 0);
      QCOMPARE(form.StatusText(), status);
    }

    // The reader keeps failing quietly.
    for (int tick = 0; tick < 20; ++tick) {
      form.Timer1Timer();
      std::this_thread::sleep_for(50ms);
    }
    QVERIFY(form.Panel5->caption() != "Equipo desconectado");
    QVERIFY(dialogs->errors.isEmpty() && dialogs->messages.isEmpty());

    secondsTick += kSilenceSeconds + 1;
    form.Timer1Timer();
    QCOMPARE(form.Panel5->caption(), QString("Equipo desconectado"));
    QCOMPARE(form.Panel36->caption(), QString("Equipo desconectado"));

    form.BitBtn2->click();
    QVERIFY(!form.IsConnected() && form.BitBtn1->isEnabled());

    // The adapter comes back as another device behind the same port number.
    link.reset();  // before the new one: the old link's removal would take it away
    cable = std::make_unique<Cable>();
    link = std::make_unique<ComLink>(kCom, cable->slave());
    form.BitBtn1->click();
    QVERIFY(form.IsConnected());
    cable->Write("despues\r\n");
    QVERIFY(Receives(form, "despues"));
    form.BitBtn34->click();
    QCOMPARE(pendingRequest, 24);
    QCOMPARE(cable->Read(10s), std::size_t(8));
    QVERIFY(dialogs->errors.isEmpty() && dialogs->messages.isEmpty());

    form.BitBtn2->click();
    std::this_thread::sleep_for(60ms);  // the reader sees its stop request
  }
};

QTEST_MAIN(UnplugTest)
#include "unplug_test.moc"
