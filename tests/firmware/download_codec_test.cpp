// Known answers of the download codecs: HEX names and files, the image, the
// messages with their checksum, and where a chunk request sits.
#include <QtTest>

#include "firmware/Firmware.h"
#include "monitor/Monitor.h"
#include "tests/firmware/DownloadTesting.h"

namespace {

HexConversion Convert(const std::string& text) { return ConvertHex(Text(text), {2, 17, 456}); }

// Index and length little-endian, data, end marker.
Bytes ImageRecord(int index, const Bytes& data) {
  return Join({std::uint8_t(index), 0, std::uint8_t(data.size()), std::uint8_t(data.size() >> 8)},
              Join(data, {0xCD, 0xAB}));
}

Bytes Padded(Bytes data) {
  data.resize(256, 0xFF);
  return data;
}

}  // namespace

class DownloadCodecTest : public QObject {
  Q_OBJECT

 private slots:
  void hexNames() {
    const struct {
      const char* path;
      int hardware, project, build;  // -1: refused
    } cases[] = {
        {"C:\\firmware\\ABC02-017-0456.hex", 2, 17, 456},
        {"/home/tec/ABC02-017-0456.hex", 2, 17, 456},
        {"C:\\a/b\\QRL99-255-9999 final.hex", 99, 255, 9999},
        {"QRL03-300-0001.hex", 3, 44, 1},  // 300 kept to 8 bits
        {"/fw/ABC02-017-045.hex", -1, 0, 0},
        {"/fw/ABC02-017-0456.HEX", -1, 0, 0},
        {"/fw.hex/ABC02-017-0456.hex", -1, 0, 0},  // the first ".hex" counts
    };
    for (const auto& c : cases) {
      const auto identity = DecodeHexName(c.path);
      QVERIFY2(identity.has_value() == (c.hardware >= 0), c.path);
      if (identity)
        QCOMPARE(QList<int>({identity->hardware, identity->project, identity->build}),
                 QList<int>({c.hardware, c.project, c.build}));
    }
  }

  void images() {
    // 300 bytes: a full record, a padded one, its repeat and the end record.
    const Bytes data = Sequence(300);
    HexConversion result = Convert(HexText(data));
    QCOMPARE(result.recordCount, 4);
    QCOMPARE(result.log, std::vector<std::string>{"salto :20,1"});
    Bytes expected = HexBytes("00 02 00 11 01 C8 00 04 01 00");
    for (const Bytes& record :
         {ImageRecord(0, Slice(data, 0, 256)), ImageRecord(1, Padded(Slice(data, 256, 44))),
          ImageRecord(2, Padded(Slice(data, 256, 44))), ImageRecord(3, {})})
      expected = Join(expected, record);
    QCOMPARE(result.image.size(), std::size_t(802));
    QCOMPARE(Hex(result.image), Hex(expected));
    // Any line end and lower-case digits give the same bytes.
    std::string lower = HexText(data, 16, "\n");
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    QCOMPARE(Convert(lower).image, expected);
    QCOMPARE(Convert(HexText(data, 16, "\r")).image, expected);

    // 512 bytes: nothing padded, the repeat is the second record.
    result = Convert(HexText(Sequence(512), 32));
    QCOMPARE(result.image.size(), std::size_t(802));
    QCOMPARE(Slice(result.image, 10 + 2 * 262, 262), ImageRecord(2, Sequence(256, 256)));
  }

  void otherRecordsAndUnendedLines() {
    const std::string text =
        HexRecord(0, 0x0000, Sequence(16)) + "\r\n" + HexRecord(4, 0, HexBytes("08 00")) + "\r\n" +
        HexRecord(2, 0, HexBytes("10 00")) + "\r\n" + HexRecord(0, 0x1000, Sequence(16, 16)) +
        "\r\n" + HexRecord(0, 0x1010, {}) + "\r\n" + HexRecord(5, 0, HexBytes("08 00 01 31")) +
        "\r\n" + HexRecord(3, 0, HexBytes("00 00 38 00")) + "\r\n" + kEndOfFile + "\r\n" +
        HexRecord(0, 0x2000, Sequence(16, 99));  // no line end: not taken
    const HexConversion result = Convert(text);
    QCOMPARE(result.log,
             (std::vector<std::string>{"SAlto o algo asi", "SAlto o algo asi", "salto :5,0",
                                       "SAlto o algo asi", "SAlto o algo asi", "salto :8,1"}));
    // The address gap is closed up.
    QCOMPARE(Slice(result.image, 10, 262), ImageRecord(0, Padded(Sequence(32))));
    QCOMPARE(result.recordCount, 3);
  }

  void damagedFilesAreRefused() {
    const std::string good = HexRecord(0, 0, Sequence(16));
    std::string damaged = HexRecord(0, 16, Sequence(16));
    damaged[12] = damaged[12] == '0' ? '1' : '0';
    const struct {
      std::string text;
      const char* error;
    } cases[] = {
        {good + "\r\n\r\n" + damaged + "\r\n", "Checksum incorrecto en la linea 3 del archivo HEX"},
        {good + "\r" + good + "\r" + damaged + "\r",
         "Checksum incorrecto en la linea 3 del archivo HEX"},
        {good + "\n" + good + " \n", "Linea 2 del archivo HEX no valida"},
        {good + good + "\n", "Linea 1 del archivo HEX no valida"},
        {good.substr(1) + "\n", "Linea 1 del archivo HEX no valida"},
        {good.substr(0, good.size() - 1) + "\n", "Linea 1 del archivo HEX no valida"},
        {":00000001\n", "Linea 1 del archivo HEX no valida"},
        {HexRecord(0, 0, Sequence(60)) + "\n",
         "Linea 1 del archivo HEX demasiado larga (mas de 64 bytes)"},
        {HexRecord(0, 0, {}) + "\n" + kEndOfFile + "\n",
         "El archivo HEX no tiene registros de datos"},
    };
    for (const auto& c : cases) {
      const HexConversion result = Convert(c.text);
      QCOMPARE(result.error, std::string(c.error));
      QVERIFY(result.image.empty());
    }
    QVERIFY(Convert(HexRecord(0, 0, Sequence(59)) + "\n").error.empty());  // 64 bytes fit
  }

  void messages() {
    QCOMPARE(DownloadChecksum(Text("123456789")), std::uint16_t(0x01DD));
    QCOMPARE(DownloadChecksum(Bytes(300, 0xFF)), std::uint16_t(0x2AD4));
    QCOMPARE(ByteSum(Bytes(300, 0xFF)), std::uint32_t(76500));
    const auto start = StartCommand();
    QCOMPARE(Bytes(start.begin(), start.end()), Join(Text("Download Init"), {0}));
    const ImageHeader image{2, 17, 456, 4, 256};
    const auto accept = AcceptMessage(image);
    QCOMPARE(Hex(Bytes(accept.begin(), accept.end())),
             std::string("02 00 02 00 11 01 C8 00 04 01 00 00 E3"));
    const auto reject = RejectMessage(image);
    QCOMPARE(Hex(Bytes(reject.begin(), reject.end())),
             std::string("04 00 02 00 11 01 C8 00 04 00 E4"));

    QVERIFY(ChunkRequestValid(ChunkRequestFor(2, 17, 456, 1, 4), image));
    QVERIFY(!ChunkRequestValid(ChunkRequestFor(2, 17, 456, 1, 5), image));
    QVERIFY(!ChunkRequestValid(ChunkRequestFor(2, 18, 456, 1, 4), image));
    QVERIFY(!ChunkRequestValid(WithSum(Words(0x05, {2, 17, 456, 1, 4})), image));
    QVERIFY(IsFinalPacket(FinalPacket()));
    QVERIFY(!IsFinalPacket(WithSum(Bytes{0x02, 1, 2, 3, 4, 5, 6, 7, 8})));

    // The unit's project: names for 0-31 only.
    QCOMPARE(UnitProjectText(31), std::string(projectNames[31]));
    QCOMPARE(UnitProjectText(34), std::string());
    QCOMPARE(UnitProjectText(35), std::string("35"));
    QCOMPARE(ImageProjectText(34), std::string(projectNames[34]));
  }

  void findingInReceivedBytes() {
    const Bytes request = ChunkRequestFor(2, 17, 456, 1, 4);
    QCOMPARE(FindChunkRequest(request), std::optional<std::size_t>(0));
    QCOMPARE(FindChunkRequest(Join({0x00}, request)), std::optional<std::size_t>(1));
    QCOMPARE(FindChunkRequest(Join({0x55, 0x01, 0x02}, Join(request, {7}))),
             std::optional<std::size_t>(3));
    QCOMPARE(FindChunkRequest(Bytes(13, 0x55)), std::optional<std::size_t>(0));  // taken as is
    QCOMPARE(FindChunkRequest(Bytes(30, 0x55)), std::nullopt);
    QCOMPARE(FindChunkRequest(Bytes(12, 0x00)), std::nullopt);
    // Texts are looked for up to the first zero byte.
    QVERIFY(ContainsText(Join({0x01, 0x02}, Text("DownLoad FAIL")), "DownLoad FAIL"));
    QVERIFY(!ContainsText(Join({0x02, 0x00}, Text("DownLoad FAIL")), "DownLoad FAIL"));
  }
};

QTEST_GUILESS_MAIN(DownloadCodecTest)
#include "download_codec_test.moc"
