// Serial port 2 block, 7 registers at 20046 (20000 on a project-35 unit):
// baud rate, data bits, parity, stop bits, wait time and RS-232/RS-485.
#include "app/Convert.h"
#include "app/Log.h"
#include "config/Blocks.h"
#include "config/Config.h"

namespace {
constexpr int kParityCodes[] = {0, 1, 2};
}  // namespace

int TableIndex(std::span<const int> table, std::int64_t value) {
  for (std::size_t i = 0; i < table.size(); ++i)
    if (table[i] == value) return int(i);
  return -1;
}

std::array<std::uint8_t, 14> PackSerialPort2(const SerialPortBlock& block) {
  std::array<std::uint8_t, 14> payload{};
  payload[0] = block.rs485 ? 0x80 : 0x00;
  payload[1] = 0x01;
  PutRegister(&payload[2], block.dataBits);
  PutRegister(&payload[4], block.stopBitsCode);
  PutRegister(&payload[6], block.parity);
  // 32 bits in two registers, the low-order register first.
  PutRegister(&payload[8], int(block.baud & 0xFFFF));
  PutRegister(&payload[10], int((block.baud >> 16) & 0xFFFF));
  PutRegister(&payload[12], block.waitMs);
  return payload;
}

SerialPortBlock UnpackSerialPort2(ByteSpan payload) {
  SerialPortBlock block;
  block.rs485 = payload[0] & 0x80;
  block.dataBits = GetRegister(payload, 2);
  block.stopBitsCode = GetRegister(payload, 4);
  block.parity = GetRegister(payload, 6);
  block.baud = std::int64_t(GetRegister(payload, 10)) << 16 | GetRegister(payload, 8);
  block.waitMs = GetRegister(payload, 12);
  return block;
}

std::array<std::uint8_t, 14> TForm1::EncodeSerialPort2() {
  // A list left without a selection by a read has no code to send.
  for (auto [list, caption] : {std::pair{ComboBox5, "BaudRate"}, std::pair{ComboBox6, "Bits"},
                               std::pair{ComboBox7, "Paridad"}, std::pair{ComboBox8, "Stop bits"}})
    if (list->currentIndex() < 0)
      throw std::runtime_error(
          QString("Puerto Serie 2: elija un valor de \"%1\" antes de escribir.")
              .arg(caption)
              .toStdString());
  SerialPortBlock block;
  block.rs485 = SeleccionPuerto->itemIndex() == 1;
  block.dataBits = kDataBits[ComboBox6->currentIndex()];
  block.stopBitsCode = ComboBox8->currentIndex();
  block.parity = kParityCodes[ComboBox7->currentIndex()];
  block.baud = kBaudRates[ComboBox5->currentIndex()];
  block.waitMs = StrToInt(LabeledEdit5->text());
  return PackSerialPort2(block);
}

void TForm1::DecodeSerialPort2(const std::uint8_t* payload) {
  const SerialPortBlock block = UnpackSerialPort2({payload, 14});
  ComboBox5->setCurrentIndex(TableIndex(kBaudRates, block.baud));
  ComboBox7->setCurrentIndex(TableIndex(kParityCodes, block.parity));
  ComboBox6->setCurrentIndex(TableIndex(kDataBits, block.dataBits));
  ComboBox8->setCurrentIndex(block.stopBitsCode <= 1 ? block.stopBitsCode : -1);
  LabeledEdit5->setText(QString::number(block.waitMs));
  SeleccionPuerto->setItemIndex(block.rs485 ? 1 : 0);
}

// A project-35 unit keeps the block at register 20000. The unit expects 12 in
// the byte-count field although 14 bytes follow.
namespace {
const PageSpec& SerialPort2Page() {
  static const PageSpec page{"TabSheet7", "GroupBox9", "BitBtn28", "BitBtn29",
                             {{"BaudRate", FieldKind::Combo, "ComboBox5", "baudrate"},
                              {"Bits", FieldKind::Combo, "ComboBox6", "bits"},
                              {"Paridad", FieldKind::Combo, "ComboBox7", "paridad"},
                              {"Stop bits", FieldKind::Combo, "ComboBox8", "bitStop"},
                              {"Serial Wait (ms)", FieldKind::Text, "LabeledEdit5", "serialWait"},
                              {"Puerto a Usar", FieldKind::Group, "SeleccionPuerto", "serialPort"}}};
  return page;
}
}  // namespace

constinit const BlockSpec kSerialPort2Block{
    "Puerto Serie 2", Request::ReadSerialPort2, Request::WriteSerialPort2, 20046, 7, 20000, 20000,
    "Estado: Lectura Puerto Com 2 Pedido!", "Estado: Lectura Puerto Com 2 Recibido!",
    "Estado: escritura configuracion Puerto Serie 2 enviada!",
    "Estado: escritura configuracion Puerto Serie 2 ok!", false, true, true, std::uint8_t(12),
    [](TForm1& f, ByteSpan payload) { f.DecodeSerialPort2(payload.data()); },
    [](TForm1& f) { return ToVector(f.EncodeSerialPort2()); }, &SerialPort2Page};

void TForm1::BitBtn28Click() { ReadBlock(kSerialPort2Block); }
void TForm1::BitBtn29Click() { WriteBlock(kSerialPort2Block); }
