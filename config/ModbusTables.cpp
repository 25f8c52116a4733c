// Modbus gateway tables: 64 digital tags (11000-11063) at register 40000 and
// 48 analog tags (5000-5047) at 40128, each read and written whole.
#include "app/Convert.h"
#include "app/Log.h"
#include "config/Blocks.h"
#include "config/Config.h"
#include "profile/Profile.h"

namespace {
struct Table {
  std::uint16_t address;
  std::uint8_t registers;
  int rows;
  int rowBytes;
  bool analog;
};
constexpr Table kTables[2] = {{40000, 128, 64, 4, false}, {40128, 144, 48, 6, true}};

enum Column { kEnable = 1, kSlaveColumn, kAddress, kAlarmHigh, kAlarmLow, kThreshold, kDataType };

// Cells that only take digits; every other column, and row 0, keep their texts.
bool GridKey(QChar key) { return IsDecimalDigit(key) || key == QChar(13) || key == QChar(8); }
}  // namespace

void PackGatewayRow(const GatewayRow& row, bool analog, std::uint8_t* out) {
  // Enable 0-2 only; compared unsigned, so negative values are no enable either.
  std::uint8_t head = unsigned(row.enable) <= 2 ? std::uint8_t(row.enable << 6) : 0;
  if (analog) {
    if (row.alarmHigh != 0) head |= 0x20;
    if (row.alarmLow != 0) head |= 0x10;
    if (row.dataType != 0 && (row.dataType & 0x0F) != 0) head |= std::uint8_t((row.dataType & 0x0F) - 1);
  }
  out[0] = head;
  out[1] = std::uint8_t(row.slave);
  PutRegister(out + 2, row.address);
  if (analog) PutRegister(out + 4, row.threshold);
}

GatewayRow UnpackGatewayRow(ByteSpan bytes, bool analog) {
  GatewayRow row;
  row.enable = bytes[0] >> 6;
  row.slave = bytes[1];
  row.address = GetRegister(bytes, 2);
  if (analog) {
    row.alarmHigh = (bytes[0] >> 5) & 1;
    row.alarmLow = (bytes[0] >> 4) & 1;
    row.dataType = (bytes[0] & 0x0F) + 1;
    row.threshold = GetRegister(bytes, 4);
  }
  return row;
}

ByteVector TForm1::BuildModbusTableWrite(int table) {
  return BuildWriteRequest(kSlave, kWriteMultiple, kTables[table].address,
                           ModbusTablePayload(table));
}

ByteVector TForm1::ModbusTablePayload(int table) {
  const Table& t = kTables[table];
  StringGrid* grid = modbusGrids[table];
  const int columns = t.analog ? kDataType : kAddress;
  ByteVector payload(std::size_t(t.rows * t.rowBytes));
  for (int r = 1; r <= t.rows; ++r) {
    // Empty cells are filled in the grid itself before anything is read.
    for (int col = kEnable; col <= columns; ++col)
      if (grid->cell(col, r).isEmpty()) grid->setCell(col, r, col == kDataType ? "1" : "0");
    GatewayRow row;
    row.enable = StrToInt(grid->cell(kEnable, r));
    if (t.analog) {
      row.alarmHigh = StrToInt(grid->cell(kAlarmHigh, r));
      row.alarmLow = StrToInt(grid->cell(kAlarmLow, r));
      row.dataType = StrToInt(grid->cell(kDataType, r));
    }
    row.slave = StrToInt(grid->cell(kSlaveColumn, r));
    row.address = StrToInt(grid->cell(kAddress, r));
    if (t.analog) row.threshold = StrToInt(grid->cell(kThreshold, r));
    PackGatewayRow(row, t.analog, payload.data() + (r - 1) * t.rowBytes);
  }
  return payload;
}

void TForm1::DecodeModbusTable(int table, const std::uint8_t* payload) {
  const Table& t = kTables[table];
  StringGrid* grid = modbusGrids[table];
  for (int r = 1; r <= t.rows; ++r) {
    const GatewayRow row =
        UnpackGatewayRow({payload + (r - 1) * t.rowBytes, std::size_t(t.rowBytes)}, t.analog);
    grid->setCell(kEnable, r, QString::number(row.enable));
    grid->setCell(kSlaveColumn, r, QString::number(row.slave));
    grid->setCell(kAddress, r, QString::number(row.address));
    if (!t.analog) continue;
    grid->setCell(kAlarmHigh, r, QString::number(row.alarmHigh));
    grid->setCell(kAlarmLow, r, QString::number(row.alarmLow));
    grid->setCell(kThreshold, r, QString::number(row.threshold));
    grid->setCell(kDataType, r, QString::number(row.dataType));
  }
}

namespace {
const PageSpec& ModbusDigitalPage() {
  static const PageSpec page = [] {
    PageSpec p{"TabModbus", nullptr, "BitBtn9", "BitBtn12", {}};
    AddGridFields(p, "modbusGrid1", 64, std::span(kGatewayKeys).first(3), "modbusDigital");
    return p;
  }();
  return page;
}
// The seventh column goes to the unit but profiles do not carry it; profiles
// carry 64 rows of which the unit's table has 48.
const PageSpec& ModbusAnalogPage() {
  static const PageSpec page = [] {
    PageSpec p{"TabModbus", nullptr, "BitBtn10", "BitBtn13", {}};
    const char* keys[7] = {kGatewayKeys[0], kGatewayKeys[1], kGatewayKeys[2], kGatewayKeys[3],
                           kGatewayKeys[4], kGatewayKeys[5], nullptr};
    AddGridFields(p, "modbusGrid2", 48, keys, "modbusAnalog");
    return p;
  }();
  return page;
}
}  // namespace

constinit const BlockSpec kModbusDigitalBlock{
    "Modbus Digital", Request::ReadModbusDigital, Request::WriteModbusDigital, 40000, 128, 40000,
    40000, "Estado: Lectura de configuracion Modbus Digital PEDIDO!",
    "Estado: Configuracion Modbus Digital Recibido!", "Estado: escritura Modbus digitales enviada!",
    "Estado: Configuracion Modbus Digital escrito OK!", false, false, true, std::nullopt,
    [](TForm1& f, ByteSpan payload) { f.DecodeModbusTable(0, payload.data()); },
    [](TForm1& f) { return f.ModbusTablePayload(0); }, &ModbusDigitalPage};

constinit const BlockSpec kModbusAnalogBlock{
    "Modbus Analogico", Request::ReadModbusAnalog, Request::WriteModbusAnalog, 40128, 144, 40128,
    40128, "Estado: Lectura de configuracion Modbus Analogico PEDIDO!",
    "Estado: Configuracion Modbus Analogico Recibido!",
    "Estado: escritura Modbus analogicas enviada!",
    "Estado: Configuracion Modbus Analogico escrito OK!", false, false, true, std::nullopt,
    [](TForm1& f, ByteSpan payload) { f.DecodeModbusTable(1, payload.data()); },
    [](TForm1& f) { return f.ModbusTablePayload(1); }, &ModbusAnalogPage};

void TForm1::BitBtn9Click() { ReadBlock(kModbusDigitalBlock); }
void TForm1::BitBtn10Click() { ReadBlock(kModbusAnalogBlock); }
void TForm1::BitBtn12Click() { WriteBlock(kModbusDigitalBlock); }
void TForm1::BitBtn13Click() { WriteBlock(kModbusAnalogBlock); }

// "Limpiar" under the digital grid: its cells back to "0"; nothing is sent.
void TForm1::BitBtn64Click() {
  for (int r = 1; r <= kTables[0].rows; ++r)
    for (int col = kEnable; col <= kAddress; ++col) modbusGrid1->setCell(col, r, "0");
}

// "Limpiar" under the analog grid.
void TForm1::BitBtn65Click() {
  for (int r = 1; r <= kTables[1].rows; ++r) {
    for (int col = kEnable; col <= kThreshold; ++col) modbusGrid2->setCell(col, r, "0");
    modbusGrid2->setCell(kDataType, r, "1");
  }
}

void TForm1::modbusGrid1KeyPress(QChar& key) {
  if (!GridKey(key)) key = QChar();
}

void TForm1::modbusGrid2KeyPress(QChar& key) {
  if (!GridKey(key)) key = QChar();
}
