// The reader and its inbox over a pty: single passes for the counting rules,
// the real thread for order, hand-over and stopping.
#include <sys/ioctl.h>

#include <QPointer>
#include <QtTest>
#include <algorithm>
#include <chrono>
#include <thread>

#include "link/Port.h"
#include "link/Unit1.h"
#include "tests/Harness.h"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class ReaderTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<PtyPair> pty_;
  std::unique_ptr<ComLink> link_;
  QList<QPointer<Serial>> readers_;

  Serial* StartReader() {
    auto* reader = new Serial(false);
    readers_ << reader;
    return reader;
  }

  Bytes Take() {
    std::uint8_t out[kInboxLimit];
    const std::int32_t n = TakeInbox(out);
    return Bytes(out, out + n);
  }

  // Waits until the port has `count` bytes waiting, so one pass reads them all.
  bool Waiting(int count) {
    const auto deadline = Clock::now() + milliseconds(5000);
    int waiting = 0;
    while (Clock::now() < deadline) {
      if (ioctl(portHandle, FIONREAD, &waiting) == 0 && waiting >= count) return waiting == count;
      std::this_thread::sleep_for(milliseconds(1));
    }
    return false;
  }

  // Collects from the inbox, as the GUI tick does, until `count` bytes came.
  Bytes Collect(std::size_t count) {
    Bytes all;
    const auto deadline = Clock::now() + milliseconds(10000);
    while (all.size() < count && Clock::now() < deadline) {
      const Bytes part = Take();
      all.insert(all.end(), part.begin(), part.end());
      std::this_thread::sleep_for(milliseconds(5));
    }
    return all;
  }

  void EmptyPasses(int passes) {
    for (int i = 0; i < passes; ++i) ReaderPass();
  }

  // A pass that brings `bytes`.
  bool DataPass(const Bytes& bytes) {
    pty_->Write(bytes);
    if (!Waiting(int(bytes.size()))) return false;
    ReaderPass();
    return true;
  }

 private slots:
  void init() {
    pty_ = std::make_unique<PtyPair>();
    link_ = std::make_unique<ComLink>(1, pty_->slavePath());
    QCOMPARE(int(OpenPort(ComPortPath(1), 19200, 8, 0, 0)), 0);
    ClearInbox();
    readerIdleCount = 0;
  }

  void cleanup() {
    // A failed check may have left a reader running.
    for (const QPointer<Serial>& reader : std::as_const(readers_))
      if (reader) reader->Terminate();
    QTRY_VERIFY_WITH_TIMEOUT(std::none_of(readers_.begin(), readers_.end(),
                                          [](const QPointer<Serial>& r) { return !r.isNull(); }),
                             5000);
    readers_.clear();
    serialThread = nullptr;
    ClosePort();
    link_.reset();
    pty_.reset();
  }

  void oversizedReadLeavesOneLineFeed_data() {
    QTest::addColumn<int>("waiting");  // already in the inbox
    QTest::addColumn<int>("arriving");
    QTest::addColumn<int>("kept");  // inbox size afterwards; 1 means the lone line feed
    QTest::newRow("600 into empty") << 0 << 600 << 1;
    QTest::newRow("512 into empty") << 0 << 512 << 1;
    QTest::newRow("511 into empty") << 0 << 511 << 511;
    QTest::newRow("filling to 512") << 5 << 507 << 1;
    QTest::newRow("filling to 511") << 5 << 506 << 511;
  }
  void oversizedReadLeavesOneLineFeed() {
    QFETCH(int, waiting);
    QFETCH(int, arriving);
    QFETCH(int, kept);
    Bytes expected;
    if (waiting > 0) {
      expected = Bytes(std::size_t(waiting), 'w');
      QVERIFY(DataPass(expected));
    }
    Bytes incoming(static_cast<std::size_t>(arriving));
    for (std::size_t i = 0; i < incoming.size(); ++i) incoming[i] = std::uint8_t('0' + i % 10);
    QVERIFY(DataPass(incoming));
    if (kept == 1) {
      expected = Bytes{0x0A};
    } else {
      expected.insert(expected.end(), incoming.begin(), incoming.end());
    }
    QCOMPARE(Take(), expected);
    QCOMPARE(int(expected.size()), kept);
  }

  void idlePurgeCountsEmptyReadsInARow() {
    // Bytes in between restart the count: 60 + 60 empty reads purge nothing.
    QVERIFY(DataPass({'a'}));
    EmptyPasses(60);
    QVERIFY(DataPass({'b'}));
    EmptyPasses(60);
    QCOMPARE(Take(), Bytes({'a', 'b'}));

    // The 101st empty read in a row drops what the GUI had not taken yet.
    QVERIFY(DataPass({'c'}));
    EmptyPasses(100);
    QVERIFY(DataPass({'d'}));  // data again: the next run starts over
    EmptyPasses(100);
    QCOMPARE(Take(), Bytes({'c', 'd'}));
    QVERIFY(DataPass({'e'}));
    EmptyPasses(101);
    QCOMPARE(Take(), Bytes());
    QCOMPARE(int(readerIdleCount), 0);
  }

  void bytesArriveInOrderWhileTheGuiTakes() {
    Bytes sent;
    for (int i = 0; i < 400; ++i) sent.push_back(std::uint8_t(i * 7));
    Serial* reader = StartReader();
    QPointer<Serial> alive(reader);

    Bytes got;
    for (std::size_t at = 0; at < 200; at += 40) {
      pty_->Write(Bytes(sent.begin() + std::ptrdiff_t(at), sent.begin() + std::ptrdiff_t(at + 40)));
      const Bytes part = Take();
      got.insert(got.end(), part.begin(), part.end());
      std::this_thread::sleep_for(milliseconds(3));
    }
    // Bytes that come while the GUI side holds the inbox, often in the middle
    // of the reader's read, wait for it and are not lost.
    for (std::size_t at = 200; at < sent.size(); at += 5) {
      while (portInbox.busy.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
      pty_->Write(Bytes(sent.begin() + std::ptrdiff_t(at), sent.begin() + std::ptrdiff_t(at + 5)));
      std::this_thread::sleep_for(milliseconds(15));
      portInbox.busy.clear(std::memory_order_release);
      std::this_thread::sleep_for(milliseconds(2));
      const Bytes part = Take();
      got.insert(got.end(), part.begin(), part.end());
    }

    const Bytes rest = Collect(sent.size() - got.size());
    got.insert(got.end(), rest.begin(), rest.end());
    QCOMPARE(got, sent);

    reader->Terminate();
    QTRY_VERIFY_WITH_TIMEOUT(alive.isNull(), 5000);
  }

  void disconnectEndsTheThreadAndReconnectStartsAnother() {
    serialThread = StartReader();
    QPointer<Serial> first(serialThread);
    pty_->Write("one");
    QCOMPARE(Collect(3), Bytes({'o', 'n', 'e'}));

    // Disconnect order: close first, then ask the thread to stop; it ends
    // within a pass and frees itself.
    ClosePort();
    serialThread->Terminate();
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), 30000);

    QCOMPARE(int(OpenPort(ComPortPath(1), 19200, 8, 0, 0)), 0);
    serialThread = StartReader();
    QPointer<Serial> second(serialThread);
    QVERIFY(second->isRunning());
    pty_->Write("two");
    QCOMPARE(Collect(3), Bytes({'t', 'w', 'o'}));
    serialThread->Terminate();
    QTRY_VERIFY_WITH_TIMEOUT(second.isNull(), 5000);
  }

  void aReaderNobodyStoppedGivesWayToTheNext() {
    QPointer<Serial> forgotten(StartReader());
    QPointer<Serial> next(StartReader());
    QTRY_VERIFY_WITH_TIMEOUT(forgotten.isNull(), 5000);
    pty_->Write("abc");
    QCOMPARE(Collect(3), Bytes({'a', 'b', 'c'}));
    QVERIFY(!next.isNull());
  }
};

QTEST_MAIN(ReaderTest)
#include "reader_test.moc"
