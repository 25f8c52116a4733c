// Typical trace of a unit, endless: what the benches feed the receiver.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Takes cut from an endless stream of typical trace.
class TraceStream {
 public:
  TraceStream() {
    const char* kinds[] = {
        "GSM SE\xD1"
        "AL: -71 dBm",
        ">> DO -1 -0",
        ">> DI Status 1 -1 -0 -1 -0 -1 -0 -1 -0",
        ">> DI Status 2 -0 -0 -1 -1 -0 -0 -1 -1",
        ">> ADC 1 Med[-5218 -12 -7 -0] Val[-1134 -681 -1563 -103] Aus[-0 -0 -0 -0] Baj[-0 -0 -0 "
        "-1] Alt[-0 -0 -0 -0]",
        ">Serial TX 8 bytes en buffer",
        ">Serial RX 7 bytes esclavo 1",
        ">MODBUS TCP cliente 192.168.1.20 conectado",
        ">IEC 104 - I formato N(S)=12 N(R)=9",
        "Tx Data-->01 03 4C 0B 29 00 48 02 25 00 D5 01 12 00 00 01 91 02 BE 00 1D 00 00 00 00 00 "
        "00 <--Data",
    };
    for (int i = 0; i < 400; ++i) text_ += std::string(kinds[i % 10]) + "\r\n";
  }
  void Next(std::uint8_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      out[i] = std::uint8_t(text_[at_]);
      at_ = (at_ + 1) % text_.size();
    }
  }

 private:
  std::string text_;
  std::size_t at_ = 0;
};

inline double Percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[std::size_t(p * double(values.size() - 1))];
}
