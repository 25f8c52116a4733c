// The 500 ms dispatcher tick: a reply of the length its request expects goes
// to the decoder of its register block, and the status bar says so.
#include <cstring>

#include "app/Log.h"
#include "config/Blocks.h"
#include "protocol/Protocol.h"

namespace {
using Decoder = void (*)(TForm1&, ByteSpan payload);

struct RequestEntry {
  std::int32_t request;
  int expected;         // reply length; -1 takes any length
  const char* status;   // receipt text, or none
  Decoder decode;       // block decoder, or none
  bool statusFirst;     // the receipt text goes before the decoder
  bool traceLength;     // "Configuracion recibida %d" before the length test
};

constexpr int kAny = -1;

// Requests that belong to no configuration block; the blocks describe their own.
constexpr RequestEntry kCommands[] = {
    {Number(Request::Identify), ReadReplyLength(45),
     "Estado: Identificación de Hardware Recibido OK! ",
     [](TForm1& f, ByteSpan p) { f.DecodeHardwareId(p.data()); }, true, false},
    {Number(Request::ResetUnit), kAny, nullptr, nullptr, true, false},
    {Number(Request::Defaults), kWriteAckLength, "Estado: Configuracion puesta en default ok!",
     nullptr, true, false},
    {Number(Request::Disconnect), kWriteAckLength, "Estado: desconexion del servidor ok!", nullptr,
     true, false},
    {Number(Request::ZeroCounters), kWriteAckLength, "Estado: Contadores a 0 ok!", nullptr, true,
     false},
};

std::optional<RequestEntry> FindRequest(std::int32_t request) {
  if (const BlockSpec* block = BlockOfRequest(request)) {
    if (request == Number(block->read))
      return RequestEntry{request,
                          block->ReplyLength(),
                          block->readReceipt,
                          block->decode,
                          block->receiptBeforeDecode,
                          block->traceLength};
    return RequestEntry{request, kWriteAckLength, block->writeAck, nullptr, true, false};
  }
  for (const RequestEntry& entry : kCommands)
    if (entry.request == request) return entry;
  return std::nullopt;
}

// Each tick works on a copy, as long as the longest reply the receiver can hand over.
std::uint8_t replyCopy[sizeof replyBuffer];
}  // namespace

std::optional<int> ExpectedReplyLength(int request) {
  const auto entry = FindRequest(request);
  if (!entry || entry->expected == kAny) return std::nullopt;
  return entry->expected;
}

void TForm1::Timer2Timer() {
  RefreshWindow();
  if (replyLength == 0) {
    replyType = 0;  // an empty reply's number must not meet a later reply
    return;
  }
  if (capture.IsOpen()) capture.Dispatched();
  std::memcpy(replyCopy, replyBuffer, std::size_t(replyLength));

  const auto entry = FindRequest(replyType);
  const std::int32_t answered = replyType;
  bool accepted = false;
  if (entry && entry->traceLength)
    InterpretTraceLine("Configuracion recibida " + std::to_string(replyLength));
  if (!entry) {
    // Only when nothing was sent since the hand-over: a newer request's reply
    // must still find its number pending.
    if (requestSerial == handOverSerial) pendingRequest = 0;
  } else if (entry->expected == kAny) {
    accepted = true;
  } else if (entry->expected == replyLength) {
    const ByteSpan frame(replyCopy, std::size_t(replyLength));
    // A reply spoiled on the line must not reach a decoder: the pages would
    // take its values as the unit's, and the next "Escribir" would send them back.
    if (!CrcHolds(frame)) {
      InterpretTraceLine("Chk Incorrecto");
    } else {
      accepted = true;
      const ByteSpan payload = frame.subspan(3, frame.size() - 5);
      if (entry->statusFirst && entry->status) SetStatus(QString::fromUtf8(entry->status));
      if (entry->decode) entry->decode(*this, payload);
      if (!entry->statusFirst && entry->status) SetStatus(QString::fromUtf8(entry->status));
    }
  }
  replyType = 0;
  replyLength = 0;
  if (entry) ReplyDispatched(answered, accepted);
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
