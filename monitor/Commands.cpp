// One-shot commands: each is a single coil write the unit acknowledges, or
// the clock write. Nothing is read back; the trace shows the effect.
#include <chrono>

#include "app/Log.h"
#include "monitor/Monitor.h"

namespace {
enum Coil : std::uint16_t {
  kRelay1 = 0,
  kRelay2 = 1,
  kManualMode = 2,
  kResetUnit = 8,
  kDefaults = 9,
  kDisconnect = 10,
  kInput2Reset = 13,
  kZeroCounters = 14,
  kInputReset = 15,
};
constexpr std::uint16_t kClockRegister = 30000;
constexpr SendOptions kAlwaysLocal{.purge = true, .remote = false};

// The "Reset" buttons beside the inputs, each once.
QList<QPushButton*> InputResets(const TForm1& f) {
  QList<QPushButton*> resets = {f.BitBtn26, f.BitBtn6,  f.BitBtn3,  f.BitBtn78, f.BitBtn79,
                                f.BitBtn80, f.BitBtn81, f.BitBtn45, f.BitBtn46, f.BitBtn47,
                                f.BitBtn48, f.BitBtn49, f.BitBtn50, f.BitBtn14};
  for (QPushButton* reset : f.inputResetButtons)
    if (reset && !resets.contains(reset)) resets.append(reset);
  return resets;
}
}  // namespace

std::array<std::uint8_t, 8> ClockBytes(std::int64_t secondsSince1970) {
  // The calendar of the standard library: the same on every platform, no
  // gmtime_r or gmtime_s.
  using namespace std::chrono;
  const sys_seconds moment{seconds(secondsSince1970)};
  const sys_days day = floor<days>(moment);
  const year_month_day date{day};
  const hh_mm_ss time{moment - day};
  return {std::uint8_t(time.seconds().count()),
          std::uint8_t(time.minutes().count()),
          std::uint8_t(time.hours().count()),
          std::uint8_t(unsigned(date.day())),
          std::uint8_t(unsigned(date.month())),
          std::uint8_t(int(date.year()) - 1900),
          std::uint8_t(weekday(day).c_encoding()),
          0};
}

void TForm1::ConnectMonitorCommands() {
  On(botonOnButtons[0], &QPushButton::clicked, &TForm1::botonOn1Click);
  On(botonOffButtons[0], &QPushButton::clicked, &TForm1::botonOff1Click);
  On(botonOnButtons[1], &QPushButton::clicked, &TForm1::botonOn2Click);
  On(botonOffButtons[1], &QPushButton::clicked, &TForm1::botonOff2Click);
  On(BitBtn19, &QPushButton::clicked, &TForm1::BitBtn19Click);
  On(BitBtn20, &QPushButton::clicked, &TForm1::BitBtn20Click);
  On(BitBtn36, &QPushButton::clicked, &TForm1::BitBtn36Click);
  On(BitBtn17, &QPushButton::clicked, &TForm1::BitBtn17Click);
  On(BitBtn18, &QPushButton::clicked, &TForm1::BitBtn18Click);
  On(BitBtn15, &QPushButton::clicked, &TForm1::BitBtn15Click);
  On(BitBtn30, &QPushButton::clicked, &TForm1::BitBtn30Click);
  On(BitBtn7, &QPushButton::clicked, &TForm1::BitBtn7Click);
  On(BitBtn26, &QPushButton::clicked, &TForm1::BitBtn3Click);
  // Every other "Reset" beside an input sends the input reset the unit offers.
  for (QPushButton* reset : InputResets(*this))
    if (reset != BitBtn26) On(reset, &QPushButton::clicked, &TForm1::BitBtn6Click);
}

QList<QWidget*> TForm1::OneShotButtons() const {
  QList<QWidget*> buttons = {BitBtn19, BitBtn20, BitBtn36, BitBtn17, BitBtn18, BitBtn15, BitBtn30,
                             BitBtn7};
  for (QPushButton* reset : InputResets(*this)) buttons.append(reset);
  return buttons;
}

void TForm1::SendCoil(std::uint16_t coil, bool on, int request, const char* status,
                      SendOptions options) {
  SendFrame(BuildCoilRequest(coil, on), request, status, options);
}

void TForm1::botonOn1Click() { SendCoil(kRelay1, true, 1, nullptr); }
void TForm1::botonOff1Click() { SendCoil(kRelay1, false, 1, nullptr); }
void TForm1::botonOn2Click() { SendCoil(kRelay2, true, 1, nullptr); }
void TForm1::botonOff2Click() { SendCoil(kRelay2, false, 1, nullptr); }
void TForm1::BitBtn19Click() { SendCoil(kManualMode, false, 1, nullptr); }
void TForm1::BitBtn20Click() { SendCoil(kManualMode, true, 1, nullptr); }
void TForm1::BitBtn36Click() { SendCoil(kResetUnit, true, 50, "Estado: Reset Pedido!"); }
void TForm1::BitBtn17Click() { SendCoil(kDefaults, true, 51, "Estado: Cfg default Pedido!"); }
void TForm1::BitBtn18Click() {
  SendCoil(kDisconnect, true, 52, "Estado: Desconexion forzosa Pedido!");
}
void TForm1::BitBtn15Click() {
  SendCoil(kZeroCounters, true, 53, "Estado: Restore de contadores pedido!");
}
// The input resets always go to the unit on the cable, also in remote mode.
void TForm1::BitBtn3Click() { SendCoil(kInput2Reset, true, 1, nullptr, kAlwaysLocal); }
void TForm1::BitBtn6Click() { SendCoil(kInputReset, true, 1, nullptr, kAlwaysLocal); }

void TForm1::BitBtn30Click() {
  const auto clock = ClockBytes(std::time(nullptr));
  SendFrame(BuildWriteRequest(kSlave, kWriteMultiple, kClockRegister, clock), 4,
            "Estado: escritura de Hora enviada!", kAlwaysLocal);
}
