// The unit's register blocks as data: request numbers, registers, the reply a
// read expects, the texts the status bar shows, and the page's encoder and
// decoder. The dispatcher, the block buttons and the sequencer all read it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

class TForm1;

// Request numbers: stored in pendingRequest when a request went out, and
// matched against the reply the receiver hands over.
enum class Request : std::int32_t {
  None = 0,
  Coil = 1,
  WriteGeneral = 4,  // also the time setting's
  WriteSerialPort2 = 6,
  WriteSms = 9,
  ReadModbusDigital = 10,
  ReadModbusAnalog = 11,
  WriteModbusDigital = 12,
  WriteModbusAnalog = 13,
  ReadSms = 20,
  ReadSerialPort2 = 22,
  ReadGeneral = 24,
  Identify = 30,
  ResetUnit = 50,
  Defaults = 51,
  Disconnect = 52,
  ZeroCounters = 53,
  ReadDigitalInputs2 = 69,
  ReadDigitalInputs1 = 70,
  WriteDigitalInputs1 = 71,
  ReadDigitalOutput = 72,
  WriteDigitalOutput = 73,
  WriteDigitalInputs2 = 74,
  ClearGrid = 600,
  ReadAnalogInputs1 = 800,
  WriteAnalogInputs1 = 801,
  ReadAnalogInputs2 = 802,
  WriteAnalogInputs2 = 803,
  ReadTagsDigital = 900,
  ReadTagsAnalog = 901,
  WriteTagsDigital = 902,
  WriteTagsAnalog = 903,
};
constexpr std::int32_t Number(Request request) { return static_cast<std::int32_t>(request); }

// A function-3 reply: slave, function, byte count, the registers, CRC.
constexpr int ReadReplyLength(int registers) { return 5 + 2 * registers; }
// The acknowledgement of a function-16 or function-5 write.
constexpr int kWriteAckLength = 8;

using BlockDecoder = void (*)(TForm1&, std::span<const std::uint8_t> payload);
// The write's payload from the page fields; throws as the page's conversion does.
using BlockEncoder = std::vector<std::uint8_t> (*)(TForm1&);

// How a field's control shows its value.
enum class FieldKind {
  Text,    // an edit's text
  Check,   // "Si" or "No"
  Combo,   // the drop-down's item text
  Choice,  // the caption of `control` when checked, else that of `other`
  Group,   // the caption of the radio group's selected button
  Cell,    // a grid cell; its label is the row's and the column's headers
};

// A page field: as the page labels it, the control (object name) holding it,
// its place in a profile ("ip/0/address"; empty when profiles do not carry it)
// and whether a read-back is compared with what was sent.
struct FieldSpec {
  FieldSpec(std::string label_, FieldKind kind_, std::string control_, std::string key_,
            bool compared_ = true, std::string other_ = {}, int col_ = 0, int row_ = 0)
      : label(std::move(label_)), kind(kind_), control(std::move(control_)), key(std::move(key_)),
        compared(compared_), other(std::move(other_)), col(col_), row(row_) {}
  std::string label;
  FieldKind kind;
  std::string control;
  std::string key;
  bool compared = true;
  std::string other;  // Choice: the control shown when `control` is not checked
  int col = 0, row = 0;  // Cell
};

// Where a block lives on the configuration page and its fields, in the order
// the page reads them.
struct PageSpec {
  const char* sheet;  // the sub-page's object name
  const char* group;  // the group box on it, or null
  const char* readButton;
  const char* writeButton;
  std::vector<FieldSpec> fields;
};

struct BlockSpec {
  const char* name;  // the block as the summary names it
  Request read;
  Request write;
  std::uint16_t address;
  std::uint8_t registers;
  // Where a project-35 unit keeps the block (registerMapVariant 8).
  std::uint16_t variantReadAddress;
  std::uint16_t variantWriteAddress;
  const char* readStatus;   // shown when the read went out
  const char* readReceipt;  // shown for a good reply
  const char* writeStatus;
  const char* writeAck;
  bool receiptBeforeDecode;  // the receipt text goes before the decoder
  bool traceLength;          // "Configuracion recibida %d" before the length test
  bool purgeOnWrite;
  std::optional<std::uint8_t> byteCountField;  // what the unit expects instead of 2N
  BlockDecoder decode;
  BlockEncoder encode;
  const PageSpec& (*page)();

  int ReplyLength() const { return ReadReplyLength(registers); }
  std::size_t PayloadLength() const { return std::size_t(2 * registers); }
  std::uint16_t ReadAddress(std::uint8_t variant) const {
    return variant == 8 ? variantReadAddress : address;
  }
  std::uint16_t WriteAddress(std::uint8_t variant) const {
    return variant == 8 ? variantWriteAddress : address;
  }
};

// One description per block, each in the file of its block.
extern const BlockSpec kGeneralBlock;
extern const BlockSpec kDigitalOutputBlock;
extern const BlockSpec kSerialPort2Block;
extern const BlockSpec kSmsBlock;
extern const BlockSpec kDigitalInputs1Block;
extern const BlockSpec kDigitalInputs2Block;
extern const BlockSpec kAnalogInputs1Block;
extern const BlockSpec kAnalogInputs2Block;
extern const BlockSpec kModbusDigitalBlock;
extern const BlockSpec kModbusAnalogBlock;
extern const BlockSpec kTagsDigitalBlock;
extern const BlockSpec kTagsAnalogBlock;

// A grid's cells, rows and columns counted from 1, keyed "<array>/<row-1>/<key>".
void AddGridFields(PageSpec& page, const char* grid, int rows, std::span<const char* const> keys,
                   const char* array);

// Every block in the order a whole configuration is written: the general
// block before the digital output, whose on time it overwrites with 5.
std::span<const BlockSpec* const> AllBlocks();
// The block a request number reads or writes, or null.
const BlockSpec* BlockOfRequest(std::int32_t request);
