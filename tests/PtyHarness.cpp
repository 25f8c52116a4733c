// The helpers that play the unit's end of a POSIX pseudo-terminal.
#include "tests/Harness.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "app/Log.h"
#include "link/Unit1.h"
#include "protocol/Frames.h"
#include "protocol/Protocol.h"

PtyPair::PtyPair() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
    throw std::runtime_error("no pty");
  slavePath_ = ptsname(master_);
  // Non-blocking: the tool may flush what poll just reported, and a blocking
  // read would then wait forever.
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  // The master side stays raw so the test sees the bytes unchanged.
  termios tio{};
  tcgetattr(master_, &tio);
  cfmakeraw(&tio);
  tcsetattr(master_, TCSANOW, &tio);
}

PtyPair::~PtyPair() { Close(); }

void PtyPair::Close() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void PtyPair::Write(const Bytes& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += std::size_t(n);
      continue;
    }
    pollfd pfd{master_, POLLOUT, 0};
    if (n < 0 && errno == EAGAIN && poll(&pfd, 1, 2000) > 0 && (pfd.revents & POLLOUT)) continue;
    throw std::runtime_error("pty write failed");
  }
}

void PtyPair::Write(const std::string& text) { Write(Bytes(text.begin(), text.end())); }

Bytes PtyPair::Read(std::size_t count, std::chrono::milliseconds timeout) {
  Bytes out;
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (out.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd pfd{master_, POLLIN, 0};
    if (poll(&pfd, 1, int(left.count())) <= 0) break;
    std::uint8_t buffer[4096];
    const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - out.size()));
    if (n < 0 && errno == EAGAIN) continue;  // flushed by the tool after poll saw it
    if (n <= 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  return out;
}

void PtyPair::Drain() {
  while (!Read(4096, std::chrono::milliseconds(20)).empty()) {
  }
}

Bytes PtyPair::ReadUntilQuiet() {
  Bytes all;
  for (;;) {
    const Bytes part = Read(65536, std::chrono::milliseconds(300));
    if (part.empty()) return all;
    all.insert(all.end(), part.begin(), part.end());
  }
}

bool PtyPair::LeaveCooked() {
  termios tio{};
  if (tcgetattr(master_, &tio) != 0) return false;
  tio.c_iflag |= ICRNL | IXON | IXOFF;
  tio.c_oflag |= OPOST | ONLCR;
  tio.c_lflag |= ICANON | ECHO | ISIG;
  tio.c_cflag = (tio.c_cflag & ~tcflag_t(CSIZE)) | CS7 | PARENB | CSTOPB | CRTSCTS;
  cfsetispeed(&tio, B9600);
  cfsetospeed(&tio, B9600);
  return tcsetattr(master_, TCSANOW, &tio) == 0;
}

ComLink::ComLink(int number, const std::string& target) {
  const char* home = getenv("HOME");
  const std::filesystem::path dir = std::filesystem::path(home ? home : "/tmp") / ".qirel" / "ports";
  std::filesystem::create_directories(dir);
  link_ = (dir / ("COM" + std::to_string(number))).string();
  std::filesystem::remove(link_);
  std::filesystem::create_symlink(target, link_);
}

ComLink::~ComLink() {
  std::error_code ignored;
  std::filesystem::remove(link_, ignored);
}


WiredForm::WiredForm(int com) : link_(com, pty_.slavePath()), form_(std::make_unique<TForm1>()) {
  form_->Timer1->stop();
  form_->Timer2->stop();
  form_->LabeledEdit1->setText(QString::number(com));
  form_->BitBtn1Click();
  if (!form_->IsConnected()) throw std::runtime_error("could not connect to the pty");
}

WiredForm::~WiredForm() {
  if (form_->IsConnected()) form_->BitBtn2Click();
  // Let the reader see its stop request before the window goes.
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
}

std::string WiredForm::Sent(std::size_t count) { return Hex(pty_.Read(count)); }

bool WiredForm::NothingSent(std::chrono::milliseconds wait) {
  return pty_.Read(1, wait).empty();
}

void WiredForm::Answer(const Bytes& frame) {
  const std::int32_t before = pendingRequest;
  pty_.Write(EmbeddedLine(frame) + "\r\n");
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  while (std::chrono::steady_clock::now() < end) {
    form_->Timer1Timer();
    if (replyLength != 0 || (before != 0 && pendingRequest == 0)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  form_->Timer2Timer();
}
