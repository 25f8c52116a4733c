// SMS tags: a 16-byte text per digital input 1-8 (registers 50000-50063) and
// per analog alarm 1-4 (50064-50095), in the grids of the "SMS Tags" sub-page.
#include "app/Log.h"
#include "config/Config.h"

namespace {
constexpr std::size_t kTagSlot = 16;
struct TagBlock {
  std::uint16_t address;
  std::uint8_t registers;
  int tags;
};
constexpr TagBlock kDigitalTags{50000, 64, 8};
constexpr TagBlock kAnalogTags{50064, 32, 4};
}  // namespace

void TForm1::DecodeTagTexts(StringGrid* grid, int tags, const std::uint8_t* payload) {
  for (int n = 1; n <= tags; ++n) {
    const std::string text = DecodeTextSlot({payload + (n - 1) * kTagSlot, kTagSlot});
    grid->setCell(1, n, QString::fromUtf8(text.data(), qsizetype(text.size())));
  }
}

// An empty cell goes out as 16 zero bytes; a tag that does not fit is refused.
void TForm1::WriteTags(StringGrid* grid, std::uint16_t address, int tags, int request,
                       const char* status) {
  ByteVector payload;
  for (int n = 1; n <= tags; ++n) {
    const auto slot = TextSlotFor(grid->cell(1, n), kTagSlot);
    payload.insert(payload.end(), slot.begin(), slot.end());
  }
  SendFrame(BuildWriteRequest(kSlave, kWriteMultiple, address, payload), request, status);
}

void TForm1::BitBtn16Click() {
  SendFrame(BuildReadRequest(kSlave, kReadHolding, kDigitalTags.address, kDigitalTags.registers),
            900, "Estado: Lectura Tags Digitales pedido!");
}

void TForm1::BitBtn61Click() {
  SendFrame(BuildReadRequest(kSlave, kReadHolding, kAnalogTags.address, kAnalogTags.registers),
            901, "Estado: Lectura Tags Analogicos pedido!");
}

void TForm1::BitBtn62Click() {
  WriteTags(tagDigital, kDigitalTags.address, kDigitalTags.tags, 902,
            "Estado: Escritura Tags Digitales enviado!");
}

void TForm1::BitBtn63Click() {
  WriteTags(tagAnalog, kAnalogTags.address, kAnalogTags.tags, 903,
            "Estado: Escritura Tags Analogicos enviado!");
}
