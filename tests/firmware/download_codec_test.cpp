// Known answers of the download codecs: HEX names and lines, the image, the
// messages and their checksum, and finding a chunk request in received bytes.
#include <QtTest>
#include <algorithm>

#include "firmware/Firmware.h"
#include "monitor/Monitor.h"
#include "tests/Harness.h"
#include "tests/firmware/DownloadTesting.h"

namespace {

HexConversion Convert(const std::string& text, ImageIdentity identity = {2, 17, 456}) {
  return ConvertHex(ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()),
                    identity);
}

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t count) {
  return Bytes(bytes.begin() + long(from), bytes.begin() + long(from + count));
}

// A record of the image: index and length little-endian, data, end marker.
Bytes ImageRecord(int index, const Bytes& data) {
  Bytes record{std::uint8_t(index), std::uint8_t(index >> 8), std::uint8_t(data.size()),
               std::uint8_t(data.size() >> 8)};
  record.insert(record.end(), data.begin(), data.end());
  record.push_back(0xCD);
  record.push_back(0xAB);
  return record;
}

std::vector<std::string> Log(std::initializer_list<const char*> lines) {
  return std::vector<std::string>(lines.begin(), lines.end());
}

}  // namespace

class DownloadCodecTest : public QObject {
  Q_OBJECT

 private slots:
  void hexNames() {
    const struct {
      const char* path;
      bool decodes;
      int hardware, project, build;
    } cases[] = {
        {"ABC02-017-0456.hex", true, 2, 17, 456},
        {"C:\\firmware\\ABC02-017-0456.hex", true, 2, 17, 456},
        {"/home/tec/firmware/ABC02-017-0456.hex", true, 2, 17, 456},
        {"C:\\a/b\\QRL99-255-9999.hex", true, 99, 255, 9999},
        {"/fw/QRL03-300-0001 final.hex", true, 3, 44, 1},  // 300 kept to 8 bits
        {"/fw/ABC02-017-045.hex", false, 0, 0, 0},          // 13 characters
        {"/fw/ABC02-017-0456.HEX", false, 0, 0, 0},
        {"/fw/ABC02-017-0456", false, 0, 0, 0},
        {"/fw.hex/ABC02-017-0456.hex", false, 0, 0, 0},  // the first ".hex" counts
    };
    for (const auto& c : cases) {
      const auto identity = DecodeHexName(c.path);
      QVERIFY2(identity.has_value() == c.decodes, c.path);
      if (!identity) continue;
      QCOMPARE(int(identity->hardware), c.hardware);
      QCOMPARE(int(identity->project), c.project);
      QCOMPARE(int(identity->build), c.build);
    }
  }

  void hexLines() {
    QCOMPARE(HexNibble('7'), 7);
    QCOMPARE(HexNibble('C'), 12);
    QCOMPARE(HexNibble('c'), 12);
    QCOMPARE(HexNibble('g'), -1);
    const HexLine line = DecodeHexLine(":0300300002337A1E");
    QCOMPARE(line.fault, HexLine::Fault::None);
    QCOMPARE(Hex(line.bytes), std::string("03 00 30 00 02 33 7A 1E"));
    QCOMPARE(Hex(DecodeHexLine(":0300300002337a1e").bytes), Hex(line.bytes));
    QCOMPARE(DecodeHexLine(":").bytes.size(), std::size_t(0));
    QCOMPARE(DecodeHexLine(":0300300002337A1F").fault, HexLine::Fault::Checksum);
    for (const char* invalid : {":0300300002337A1E ", "0300300002337A1E", ":0300300002337A1",
                                ":00000001", ":00000001FF:00000001FF", "::00000001FF"})
      QCOMPARE(DecodeHexLine(invalid).fault, HexLine::Fault::Invalid);
    // 64 decoded bytes fit a line, 65 do not.
    QCOMPARE(DecodeHexLine(HexRecord(0, 0, Bytes(59, 0x11))).fault, HexLine::Fault::None);
    QCOMPARE(DecodeHexLine(HexRecord(0, 0, Bytes(60, 0x11))).fault, HexLine::Fault::TooLong);
  }

  void threeHundredBytes() {
    const Bytes data = Sequence(300);  // 18 records of 16 bytes and one of 12
    const HexConversion result = Convert(HexText(data));
    QVERIFY(result.error.empty());
    QCOMPARE(result.recordCount, 4);
    QCOMPARE(result.log, Log({"salto :20,1"}));
    const Bytes& image = result.image;
    QCOMPARE(image.size(), std::size_t(802));
    QCOMPARE(Hex(Slice(image, 0, 10)), std::string("00 02 00 11 01 C8 00 04 01 00"));
    Bytes last = Slice(data, 256, 44);
    last.resize(256, 0xFF);
    Bytes expected = Slice(image, 0, 10);
    for (const Bytes& record : {ImageRecord(0, Slice(data, 0, 256)), ImageRecord(1, last),
                                ImageRecord(2, last), ImageRecord(3, {})})
      expected.insert(expected.end(), record.begin(), record.end());
    QCOMPARE(Hex(image), Hex(expected));
  }

  void fullRecordsAreNotPadded() {
    const Bytes data = Sequence(512);
    const HexConversion result = Convert(HexText(data, 32));
    QCOMPARE(result.recordCount, 4);
    QCOMPARE(result.image.size(), std::size_t(802));
    QCOMPARE(Slice(result.image, 10 + 262, 262), ImageRecord(1, Slice(data, 256, 256)));
    QCOMPARE(Slice(result.image, 10 + 2 * 262, 262), ImageRecord(2, Slice(data, 256, 256)));
    QCOMPARE(Hex(Slice(result.image, 10 + 3 * 262, 6)), std::string("03 00 00 00 CD AB"));
  }

  void otherRecordsAreLoggedAndGapsClosed() {
    const Bytes low = Sequence(16);
    const Bytes high = Sequence(16, 100);
    const std::string text = HexRecord(0, 0x0000, low) + "\r\n" +
                             HexRecord(4, 0, HexBytes("08 00")) + "\r\n" +
                             HexRecord(2, 0, HexBytes("10 00")) + "\r\n" +
                             HexRecord(0, 0x1000, high) + "\r\n" +
                             HexRecord(0, 0x1010, {}) + "\r\n" +  // a data record without data
                             HexRecord(5, 0, HexBytes("08 00 01 31")) + "\r\n" +
                             HexRecord(3, 0, HexBytes("00 00 38 00")) + "\r\n" + kEndOfFile +
                             "\r\n";
    const HexConversion result = Convert(text);
    QCOMPARE(result.log, Log({"SAlto o algo asi", "SAlto o algo asi", "salto :5,0",
                              "SAlto o algo asi", "SAlto o algo asi", "salto :8,1"}));
    Bytes data = low;
    data.insert(data.end(), high.begin(), high.end());
    data.resize(256, 0xFF);
    QCOMPARE(Slice(result.image, 10, 262), ImageRecord(0, data));
  }

  void lineEndsAndCase() {
    const Bytes data = Sequence(300);
    const Bytes reference = Convert(HexText(data)).image;
    // Any line end; lower-case digits are the same digits.
    QCOMPARE(Convert(HexText(data, 16, "\n")).image, reference);
    QCOMPARE(Convert(HexText(data, 16, "\r")).image, reference);
    std::string lower = HexText(data);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
      return char(std::tolower(static_cast<unsigned char>(c)));
    });
    QCOMPARE(Convert(lower).image, reference);
    // A last line without its line end is not taken.
    const std::string unended =
        HexRecord(0, 0, Sequence(16)) + "\r\n" + HexRecord(0, 16, Sequence(16, 16));
    const HexConversion result = Convert(unended);
    QVERIFY(result.log.empty());
    Bytes first = Sequence(16);
    first.resize(256, 0xFF);
    QCOMPARE(Slice(result.image, 10, 262), ImageRecord(0, first));
  }

  void damagedFilesAreRefused() {
    const std::string good = HexRecord(0, 0, Sequence(16));
    std::string damaged = HexRecord(0, 16, Sequence(16));
    damaged[12] = damaged[12] == '0' ? '1' : '0';
    const struct {
      std::string text;
      const char* error;
    } cases[] = {
        {good + "\r\n\r\n" + damaged + "\r\n" + kEndOfFile + "\r\n",
         "Checksum incorrecto en la linea 3 del archivo HEX"},
        {good + "\r" + good + "\r" + damaged + "\r", "Checksum incorrecto en la linea 3 del archivo HEX"},
        {good + "\n" + good + " \n", "Linea 2 del archivo HEX no valida"},
        {good + good + "\r\n", "Linea 1 del archivo HEX no valida"},
        {good.substr(0, good.size() - 1) + "\r\n", "Linea 1 del archivo HEX no valida"},
        {HexRecord(0, 0, Sequence(60)) + "\r\n",
         "Linea 1 del archivo HEX demasiado larga (mas de 64 bytes)"},
        {std::string(kEndOfFile) + "\r\n", "El archivo HEX no tiene registros de datos"},
        {HexRecord(0, 0, {}) + "\r\n" + kEndOfFile + "\r\n",
         "El archivo HEX no tiene registros de datos"},
    };
    for (const auto& c : cases) {
      const HexConversion result = Convert(c.text);
      QCOMPARE(result.error, std::string(c.error));
      QVERIFY(result.image.empty());
    }
    // The longest line that fits converts.
    QVERIFY(Convert(HexRecord(0, 0, Sequence(59)) + "\n").error.empty());
  }

  void checksums() {
    const std::string digits = "123456789";
    const Bytes text(digits.begin(), digits.end());
    QCOMPARE(DownloadChecksum(text), std::uint16_t(0x01DD));
    const Bytes ones(300, 0xFF);
    QCOMPARE(ByteSum(ones), std::uint32_t(76500));
    QCOMPARE(DownloadChecksum(ones), std::uint16_t(0x2AD4));
    QVERIFY(ChecksumMatches(HexBytes("03 01 02 03 04 05 06 07 08 00 27")));
    QVERIFY(!ChecksumMatches(HexBytes("03 01 02 03 04 05 06 07 08 27 00")));
  }

  void messages() {
    const ImageHeader image{2, 17, 456, 4, 256};
    const auto start = StartCommand();
    QCOMPARE(Hex(Bytes(start.begin(), start.end())),
             std::string("44 6F 77 6E 6C 6F 61 64 20 49 6E 69 74 00"));
    const auto accept = AcceptMessage(image);
    QCOMPARE(Hex(Bytes(accept.begin(), accept.end())),
             std::string("02 00 02 00 11 01 C8 00 04 01 00 00 E3"));
    const auto reject = RejectMessage(image);
    QCOMPARE(Hex(Bytes(reject.begin(), reject.end())),
             std::string("04 00 02 00 11 01 C8 00 04 00 E4"));

    const UnitReport unit = ReadFirstReport(FirstReport(3, 300, 65534, "86123"));
    QCOMPARE(unit.hardware, 3);
    QCOMPARE(unit.project, 300);
    QCOMPARE(unit.build, 65534);
    QCOMPARE(unit.imei, std::string("86123"));

    QVERIFY(ChunkRequestValid(ChunkRequestFor(2, 17, 456, 1, 4), image));
    QVERIFY(!ChunkRequestValid(ChunkRequestFor(2, 17, 456, 1, 5), image));
    QVERIFY(!ChunkRequestValid(ChunkRequestFor(2, 18, 456, 1, 4), image));
    Bytes damaged = ChunkRequestFor(2, 17, 456, 1, 4);
    damaged[12] ^= 1;
    QVERIFY(!ChunkRequestValid(damaged, image));
    Bytes foreign = ChunkRequestFor(2, 17, 456, 1, 4);
    foreign[0] = 0x05;
    QVERIFY(!ChunkRequestValid(WithSum(Slice(foreign, 0, 11)), image));

    QVERIFY(IsFinalPacket(FinalPacket()));
    Bytes notFinal = FinalPacket();
    notFinal[0] = 0x02;
    QVERIFY(!IsFinalPacket(WithSum(Slice(notFinal, 0, 9))));
    notFinal = FinalPacket();
    notFinal[10] ^= 1;
    QVERIFY(!IsFinalPacket(notFinal));
  }

  void findingChunkRequests() {
    const Bytes request = ChunkRequestFor(2, 17, 456, 1, 4);
    const auto find = [](const Bytes& bytes) { return FindChunkRequest(bytes); };
    QCOMPARE(find(request), std::optional<std::size_t>(0));
    Bytes stray{0x00};
    stray.insert(stray.end(), request.begin(), request.end());
    QCOMPARE(find(stray), std::optional<std::size_t>(1));
    // Thirteen bytes are taken as they are; checks come later.
    QCOMPARE(find(Bytes(13, 0x55)), std::optional<std::size_t>(0));
    QCOMPARE(find(Bytes(12, 0x00)), std::nullopt);
    QCOMPARE(find(Bytes(30, 0x55)), std::nullopt);
    Bytes late = Bytes{0x55, 0x01, 0x02};
    late.insert(late.end(), request.begin(), request.end());
    late.push_back(0x77);
    QCOMPARE(find(late), std::optional<std::size_t>(3));
  }

  void textsEndAtAZeroByte() {
    const std::string fail = "\x01\x02 DownLoad FAIL\r\n";
    QVERIFY(ContainsText(Bytes(fail.begin(), fail.end()), "DownLoad FAIL"));
    Bytes behind = HexBytes("02 00 01");
    behind.insert(behind.end(), fail.begin(), fail.end());
    QVERIFY(!ContainsText(behind, "DownLoad FAIL"));
  }

  void imageHeaders() {
    const ImageHeader header = ReadImageHeader(HexBytes("00 02 00 11 01 C8 00 04 01 00"));
    QCOMPARE(header.hardware, 2);
    QCOMPARE(header.project, 17);
    QCOMPARE(header.build, 456);
    QCOMPARE(header.chunkCount, 4);
    QCOMPARE(header.chunkSize, 256);
    QVERIFY(ImageHeaderUsable(header, 802));
    QVERIFY(!ImageHeaderUsable(header, 801));
    QVERIFY(!ImageHeaderUsable({2, 17, 456, 1, 256}, 802));
    QVERIFY(!ImageHeaderUsable({2, 17, 456, 0, 256}, 802));
    QVERIFY(!ImageHeaderUsable({2, 17, 456, 4, 128}, 802));
  }

  void projectTexts() {
    QCOMPARE(ImageProjectText(17), std::string(projectNames[17]));
    QCOMPARE(ImageProjectText(34), std::string(projectNames[34]));
    QCOMPARE(ImageProjectText(35), std::string("35"));
    QCOMPARE(UnitProjectText(0), std::string());
    QCOMPARE(UnitProjectText(31), std::string(projectNames[31]));
    QCOMPARE(UnitProjectText(32), std::string());
    QCOMPARE(UnitProjectText(34), std::string());
    QCOMPARE(UnitProjectText(35), std::string("35"));
    QCOMPARE(UnitProjectText(300), std::string("300"));
  }
};

QTEST_GUILESS_MAIN(DownloadCodecTest)
#include "download_codec_test.moc"
