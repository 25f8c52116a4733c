// The request sequencer on its own (time given by the test), and the
// dispatcher's CRC check of a reply before it reaches a block decoder.
#include <QtTest>
#include <cstring>

#include "app/Log.h"
#include "config/Blocks.h"
#include "config/Sequencer.h"
#include "protocol/Protocol.h"
#include "tests/Harness.h"

namespace {
using namespace std::chrono_literals;

struct FakeView : SequencerView {
  bool link = true;
  QStringList log;
  std::optional<SequenceEnd> end;
  bool CanSend() override { return link; }
  bool SendStep(const BlockStep& step) override {
    log << QString("send %1").arg(step.RequestNumber());
    return true;
  }
  void StepDone(const BlockStep& step, bool ok) override {
    log << QString("done %1 %2").arg(step.RequestNumber()).arg(ok ? "ok" : "failed");
  }
  void ReplyMayWait() override {}
  void SequenceEnded(SequenceEnd how, const BlockStep*) override { end = how; }
};
}  // namespace

class SequencerTest : public QObject {
  Q_OBJECT

 private slots:
  void retriesOnceThenEnds() {
    FakeView view;
    RequestSequencer sequencer(view);
    const auto t0 = RequestSequencer::Clock::now();
    QVERIFY(sequencer.Start({{&kDigitalOutputBlock, true}, {&kDigitalOutputBlock, false},
                             {&kSmsBlock, false}}));
    sequencer.ReplyDispatched(72, true);  // not the awaited request: ignored
    sequencer.ReplyDispatched(73, true);
    // A spoiled reply is asked for again at once; a second one fails the step.
    sequencer.ReplyDispatched(72, false);
    sequencer.ReplyDispatched(72, false);
    sequencer.Poll(t0 + 1500ms);
    QVERIFY(!view.end);
    sequencer.Poll(t0 + 3000ms);  // no reply in time: once more
    sequencer.Poll(t0 + 4900ms);
    QVERIFY(!view.end);
    sequencer.Poll(t0 + 5100ms);  // and again: the unit is gone
    QCOMPARE(view.end, SequenceEnd::TimedOut);
    QVERIFY(!sequencer.Running());
    QCOMPARE(view.log, QStringList({"send 73", "done 73 ok", "send 72", "send 72", "done 72 failed",
                                    "send 20", "send 20"}));
    sequencer.ReplyDispatched(20, true);  // too late: nothing happens
    QCOMPARE(view.log.size(), 7);
  }

  void lostLinkAndCancelEndIt() {
    FakeView view;
    RequestSequencer sequencer(view);
    QVERIFY(sequencer.Start({{&kSmsBlock, false}}));
    QVERIFY(!sequencer.Start({{&kSmsBlock, false}}));  // one run at a time
    view.link = false;
    sequencer.Poll(RequestSequencer::Clock::now());
    QCOMPARE(view.end, SequenceEnd::LinkLost);
    QVERIFY(!sequencer.Start({{&kSmsBlock, false}}));  // never without a link
    view.link = true;
    QVERIFY(sequencer.Start({{&kSmsBlock, false}}));
    sequencer.Cancel();
    QCOMPARE(view.end, SequenceEnd::Cancelled);
  }

  // A reply of the right length whose CRC does not hold is dropped like one of
  // the wrong length, and the console says so.
  void spoiledReplyNeverReachesTheDecoder() {
    TForm1 form;
    const Bytes good = FrameWithCrc(HexBytes("01 03 06 00 2A 00 00 04 D2"));
    Bytes spoiled = good;
    spoiled[4] ^= 0x01;
    form.LabeledEdit38->setText("7");
    form.SetStatus("Estado: Lectura Dout PEDIDO!");
    std::memcpy(replyBuffer, spoiled.data(), spoiled.size());
    replyType = 72;
    replyLength = 11;
    form.Timer2Timer();
    QCOMPARE(form.LabeledEdit38->text(), QString("7"));
    QCOMPARE(form.StatusText(), QString("Estado: Lectura Dout PEDIDO!"));
    QCOMPARE(Lines(form.Memo1), QStringList({"Chk Incorrecto"}));
    QCOMPARE(replyLength, 0);

    std::memcpy(replyBuffer, good.data(), good.size());
    replyType = 72;
    replyLength = 11;
    form.Timer2Timer();
    QCOMPARE(form.LabeledEdit38->text(), QString("42"));
    QCOMPARE(form.LabeledEdit9->text(), QString("1234"));
    QCOMPARE(form.StatusText(), QString("Estado: Lectura Configuracion DOut Recibido!"));

    // An acknowledgement is checked the same way.
    Bytes ack = FrameWithCrc(HexBytes("01 10 4E 40 00 03"));
    ack.back() ^= 0x40;
    std::memcpy(replyBuffer, ack.data(), ack.size());
    replyType = 73;
    replyLength = 8;
    form.Timer2Timer();
    QCOMPARE(form.StatusText(), QString("Estado: Lectura Configuracion DOut Recibido!"));
    QCOMPARE(Lines(form.Memo1).size(), 2);
  }
};

QTEST_MAIN(SequencerTest)
#include "sequencer_test.moc"
