// The 500 ms dispatcher tick: a reply of the length its request expects goes
// to the decoder of its register block, and the status bar says so.
#include <cstring>

#include "app/Log.h"
#include "protocol/Protocol.h"

namespace {
using Decoder = void (*)(TForm1&, const std::uint8_t* payload);

struct RequestEntry {
  int request;
  int expected;         // reply length; -1 takes any length
  const char* status;   // receipt text, or none
  Decoder decode;       // block decoder, or none
  bool statusFirst;     // the receipt text goes before the decoder
  bool traceLength;     // "Configuracion recibida %d" before the length test
};

constexpr int kAny = -1;

constexpr RequestEntry kRequests[] = {
    {4, 8, "Estado: Escritura CONFIGURACION TSD ok!", nullptr, true, false},
    {6, 8, "Estado: escritura configuracion Puerto Serie 2 ok!", nullptr, true, false},
    {9, 8, "Estado: Encritura SMS Configuracion OK!", nullptr, true, false},
    {10, 261, "Estado: Configuracion Modbus Digital Recibido!",
     [](TForm1& f, const std::uint8_t* p) { f.DecodeModbusTable(0, p); }, false, false},
    {11, 293, "Estado: Configuracion Modbus Analogico Recibido!",
     [](TForm1& f, const std::uint8_t* p) { f.DecodeModbusTable(1, p); }, false, false},
    {12, 8, "Estado: Configuracion Modbus Digital escrito OK!", nullptr, true, false},
    {13, 8, "Estado: Configuracion Modbus Analogico escrito OK!", nullptr, true, false},
    {20, 75, "Estado: Lectura SMS Configuracion Recibido!",
     [](TForm1& f, const std::uint8_t* p) { f.DecodeSmsConfig(p); }, false, false},
    {22, 19, "Estado: Lectura Puerto Com 2 Recibido!",
     [](TForm1& f, const std::uint8_t* p) { f.DecodeSerialPort2(p); }, false, true},
    {24, 83, "Estado: Lectura TSD Configuracion Recibido!",
     [](TForm1& f, const std::uint8_t* p) { f.DecodeTsdConfig(p); }, false, true},
    {30, 95, "Estado: Identificación de Hardware Recibido OK! ",
     [](TForm1& f, const std::uint8_t* p) { f.DecodeHardwareId(p); }, true, false},
    {50, kAny, nullptr, nullptr, true, false},
    {51, 8, "Estado: Configuracion puesta en default ok!", nullptr, true, false},
    {52, 8, "Estado: desconexion del servidor ok!", nullptr, true, false},
    {53, 8, "Estado: Contadores a 0 ok!", nullptr, true, false},
    {69, 17, "Estado: Lectura Configuracion DI 2 Recibido",
     [](TForm1& f, const std::uint8_t* p) { f.DecodeDigitalInputs(2, p); }, true, false},
    {70, 17, "Estado: Lectura Configuracion DI 1 Recibido",
     [](TForm1& f, const std::uint8_t* p) { f.DecodeDigitalInputs(1, p); }, true, false},
    {71, 8, "Estado: escritura de configuracion Di 1 OK!", nullptr, true, false},
    {72, 11, "Estado: Lectura Configuracion DOut Recibido!",
     [](TForm1& f, const std::uint8_t* p) { f.DecodeDigitalOutput(p); }, true, false},
    {73, 8, "Estado: escritura de Do configuracion OK!", nullptr, true, false},
    {74, 8, "Estado: escritura de configuracion Di 2 OK!", nullptr, true, false},
    {800, 45, "Estado: Configuracion Ai 1 recibida",
     [](TForm1& f, const std::uint8_t* p) { f.DecodeAnalogInputs(1, p); }, true, false},
    {801, 8, "Estado: escritura Ai 1 cfg OK!", nullptr, true, false},
    {802, 45, "Estado: Configuracion Ai 2 recibida",
     [](TForm1& f, const std::uint8_t* p) { f.DecodeAnalogInputs(2, p); }, true, false},
    {803, 8, "Estado: escritura Ai 2 cfg OK!", nullptr, true, false},
    {900, 133, "Estado: Tags Digitales Recibidos OK!",
     [](TForm1& f, const std::uint8_t* p) { f.DecodeTagTexts(f.tagDigital, 8, p); }, false,
     false},
    {901, 69, "Estado: Tags Analogicos Recibidos OK!",
     [](TForm1& f, const std::uint8_t* p) { f.DecodeTagTexts(f.tagAnalog, 4, p); }, false,
     false},
    {902, 8, "Estado: escritura de Tags Digitales OK!", nullptr, true, false},
    {903, 8, "Estado: escritura de Tags Analogicos OK!", nullptr, true, false},
};

const RequestEntry* FindRequest(int request) {
  for (const RequestEntry& entry : kRequests)
    if (entry.request == request) return &entry;
  return nullptr;
}

// Each tick works on a copy, as long as the longest reply the receiver can hand over.
std::uint8_t replyCopy[sizeof replyBuffer];
}  // namespace

std::optional<int> ExpectedReplyLength(int request) {
  const RequestEntry* entry = FindRequest(request);
  if (!entry || entry->expected == kAny) return std::nullopt;
  return entry->expected;
}

void TForm1::Timer2Timer() {
  RefreshWindow();
  if (replyLength == 0) return;
  if (capture.IsOpen()) capture.Dispatched();
  std::memcpy(replyCopy, replyBuffer, std::size_t(replyLength));

  const RequestEntry* entry = FindRequest(replyType);
  if (entry && entry->traceLength)
    InterpretTraceLine("Configuracion recibida " + std::to_string(replyLength));
  if (!entry) {
    // Only when nothing was sent since the hand-over: a newer request's reply
    // must still find its number pending.
    if (requestSerial == handOverSerial) pendingRequest = 0;
  } else if (entry->expected == kAny || entry->expected == replyLength) {
    const std::uint8_t* payload = replyCopy + 3;
    if (entry->statusFirst && entry->status) SetStatus(QString::fromUtf8(entry->status));
    if (entry->decode) entry->decode(*this, payload);
    if (!entry->statusFirst && entry->status) SetStatus(QString::fromUtf8(entry->status));
  }
  replyType = 0;
  replyLength = 0;
}

// Window adjustments re-applied every tick; the first one shows the
// configuration sub-pages.
void TForm1::RefreshWindow() {
  VeskAnalog->setProperty("sheetVisible", true);
  PageControl2->setVisible(true);
  PageControl2->setTabVisible(PageControl2->indexOf(TabSheet7), true);
  for (QWidget* widget : std::initializer_list<QWidget*>{Label217, ComboBox10, ComboBox11,
                                                         ComboBox12, ComboBox17})
    widget->setVisible(false);
  for (QLabel* label : pulsoLabels) label->setText("Pulsos");
  for (QCheckBox* box : {CheckBox42, CheckBox43, CheckBox44, CheckBox25}) box->setVisible(true);
}
