// Known answers of the request frames and of the embedded-frame text.
#include <QtTest>

#include "protocol/Frames.h"
#include "tests/Harness.h"

class FramesTest : public QObject {
  Q_OBJECT

 private slots:
  void crcKnownAnswers() {
    const std::string check = "123456789";
    const auto crc = ModbusCrc(Bytes(check.begin(), check.end()));
    QCOMPARE(crc[0] | crc[1] << 8, 0x4B37);
    // Against a bitwise CRC over every one- and two-byte input.
    for (unsigned a = 0; a < 256; ++a) {
      for (unsigned b = 0; b < 256; b += 17) {
        unsigned reference = 0xFFFF;
        for (unsigned byte : {a, b}) {
          reference ^= byte;
          for (int bit = 0; bit < 8; ++bit)
            reference = (reference & 1) ? (reference >> 1) ^ 0xA001 : reference >> 1;
        }
        const auto got = ModbusCrc(Bytes{std::uint8_t(a), std::uint8_t(b)});
        QCOMPARE(unsigned(got[0] | got[1] << 8), reference);
      }
    }
  }

  void requestFrames() {
    QCOMPARE(Hex(BuildReadRequest(1, 3, 1000, 45)), std::string("01 03 03 E8 00 2D 05 A7"));
    QCOMPARE(Hex(BuildReadRequest(1, 3, 20032, 3)), std::string("01 03 4E 40 00 03 13 37"));
    QCOMPARE(Hex(WithRemotePrefix(BuildReadRequest(1, 3, 1000, 45), 1)),
             std::string("00 01 01 03 03 E8 00 2D 05 A7"));
    QCOMPARE(Hex(WithRemotePrefix(Bytes{}, 258)), std::string("01 02"));
    QCOMPARE(Hex(BuildCoilRequest(0, true)), std::string("01 05 00 00 FF 00 8C 3A"));
    QCOMPARE(Hex(BuildCoilRequest(1, false)), std::string("01 05 00 01 00 00 9C 0A"));
    const Bytes dout = HexBytes("0B B8 00 01 0B B8");
    QCOMPARE(Hex(BuildWriteRequest(1, 0x10, 20032, dout)),
             std::string("01 10 4E 40 00 03 06 0B B8 00 01 0B B8 72 9F"));
  }

  void longWritesWrapTheByteCount() {
    const Bytes digital = BuildWriteRequest(1, 0x10, 40000, Bytes(256, 0));
    QCOMPARE(digital.size(), std::size_t(265));
    QCOMPARE(digital[5], std::uint8_t(128));
    QCOMPARE(digital[6], std::uint8_t(0x00));
    QCOMPARE(WithRemotePrefix(digital, 1).size(), std::size_t(267));
    const Bytes analog = BuildWriteRequest(1, 0x10, 40128, Bytes(288, 0));
    QCOMPARE(analog.size(), std::size_t(297));
    QCOMPARE(analog[6], std::uint8_t(0x20));
  }

  void hexDigits() {
    QCOMPARE(HexDigitValue('7'), 7);
    QCOMPARE(HexDigitValue('F'), 15);
    QCOMPARE(HexDigitValue('a'), int('a'));  // lower case is not a digit here
    QCOMPARE(HexPairValue('4', 'E'), std::uint8_t(0x4E));
    QCOMPARE(HexPairValue('a', '0'), std::uint8_t(('a' * 16) & 0xFF));
  }

  void embeddedFrames() {
    using Kind = LineContent::Kind;
    const LineContent reply = ExtractFrame("Tx Data-->01 03 02 00 0A 38 43 <--Data");
    QCOMPARE(int(reply.kind), int(Kind::Frame));
    QCOMPARE(Hex(reply.frame), std::string("01 03 02 00 0A 38 43"));
    // The separator is skipped whatever it is; a short tail is not a byte.
    QCOMPARE(Hex(ExtractFrame("Data-->01x02y0<--Data").frame), std::string("01 02"));
    QCOMPARE(int(ExtractFrame("only Data--> here").kind), int(Kind::Text));
    QCOMPARE(int(ExtractFrame("<--Data 01 02 Data-->").kind), int(Kind::Dropped));
    QCOMPARE(int(ExtractFrame("no markers").kind), int(Kind::Text));
    // A line whose middle was lost: the frame is the one before the end marker.
    QCOMPARE(Hex(ExtractFrame("Tx Data-->01 03 Tx Data-->01 10 00 <--Data").frame),
             std::string("01 10 00"));
    const LineContent empty = ExtractFrame("Data-->01<--Data");
    QCOMPARE(int(empty.kind), int(Kind::Frame));
    QVERIFY(empty.frame.empty());
  }
};

QTEST_GUILESS_MAIN(FramesTest)
#include "frames_test.moc"
