// SMS tags: a 16-byte text per digital input 1-8 (registers 50000-50063) and
// per analog alarm 1-4 (50064-50095), in the grids of the "SMS Tags" sub-page.
#include "app/Log.h"
#include "config/Blocks.h"
#include "config/Config.h"

namespace {
constexpr std::size_t kTagSlot = 16;

// An empty cell goes out as 16 zero bytes; a tag that does not fit is refused.
ByteVector TagPayload(StringGrid* grid, int tags) {
  ByteVector payload;
  for (int n = 1; n <= tags; ++n) {
    const auto slot = TextSlotFor(grid->cell(1, n), kTagSlot);
    payload.insert(payload.end(), slot.begin(), slot.end());
  }
  return payload;
}

const PageSpec& TagsDigitalPage() {
  static const PageSpec page = [] {
    PageSpec p{"tagPage", nullptr, "BitBtn16", "BitBtn62", {}};
    const char* keys[] = {"digital"};
    AddGridFields(p, "tagDigital", 8, keys, "tagDigital");
    return p;
  }();
  return page;
}
const PageSpec& TagsAnalogPage() {
  static const PageSpec page = [] {
    PageSpec p{"tagPage", nullptr, "BitBtn61", "BitBtn63", {}};
    const char* keys[] = {"analog"};
    AddGridFields(p, "tagAnalog", 4, keys, "tagAnalog");
    return p;
  }();
  return page;
}
}  // namespace

constinit const BlockSpec kTagsDigitalBlock{
    "Tags Digitales", Request::ReadTagsDigital, Request::WriteTagsDigital, 50000, 64, 50000, 50000,
    "Estado: Lectura Tags Digitales pedido!", "Estado: Tags Digitales Recibidos OK!",
    "Estado: Escritura Tags Digitales enviado!", "Estado: escritura de Tags Digitales OK!", false,
    false, true, std::nullopt,
    [](TForm1& f, ByteSpan payload) { f.DecodeTagTexts(f.tagDigital, 8, payload.data()); },
    [](TForm1& f) { return TagPayload(f.tagDigital, 8); }, &TagsDigitalPage};

constinit const BlockSpec kTagsAnalogBlock{
    "Tags Analogicos", Request::ReadTagsAnalog, Request::WriteTagsAnalog, 50064, 32, 50064, 50064,
    "Estado: Lectura Tags Analogicos pedido!", "Estado: Tags Analogicos Recibidos OK!",
    "Estado: Escritura Tags Analogicos enviado!", "Estado: escritura de Tags Analogicos OK!", false,
    false, true, std::nullopt,
    [](TForm1& f, ByteSpan payload) { f.DecodeTagTexts(f.tagAnalog, 4, payload.data()); },
    [](TForm1& f) { return TagPayload(f.tagAnalog, 4); }, &TagsAnalogPage};

void TForm1::DecodeTagTexts(StringGrid* grid, int tags, const std::uint8_t* payload) {
  for (int n = 1; n <= tags; ++n) {
    const std::string text = DecodeTextSlot({payload + (n - 1) * kTagSlot, kTagSlot});
    grid->setCell(1, n, QString::fromUtf8(text.data(), qsizetype(text.size())));
  }
}

void TForm1::BitBtn16Click() { ReadBlock(kTagsDigitalBlock); }
void TForm1::BitBtn61Click() { ReadBlock(kTagsAnalogBlock); }
void TForm1::BitBtn62Click() { WriteBlock(kTagsDigitalBlock); }
void TForm1::BitBtn63Click() { WriteBlock(kTagsAnalogBlock); }
