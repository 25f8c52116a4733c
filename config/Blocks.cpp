// The table of blocks, and the one way a block's "Leer" and "Escribir" go out.
#include "config/Blocks.h"

#include "app/Log.h"
#include "config/Config.h"

namespace {
constexpr const BlockSpec* kBlocks[] = {
    &kGeneralBlock,        &kDigitalOutputBlock, &kSerialPort2Block,    &kSmsBlock,
    &kDigitalInputs1Block, &kDigitalInputs2Block, &kAnalogInputs1Block, &kAnalogInputs2Block,
    &kModbusDigitalBlock,  &kModbusAnalogBlock,  &kTagsDigitalBlock,    &kTagsAnalogBlock};
}  // namespace

std::span<const BlockSpec* const> AllBlocks() { return kBlocks; }

// Row by row; a column without a key goes to the unit but not into profiles.
void AddGridFields(PageSpec& page, const char* grid, int rows, std::span<const char* const> keys,
                   const char* array) {
  for (int row = 1; row <= rows; ++row)
    for (int col = 1; col <= int(keys.size()); ++col) {
      const char* key = keys[std::size_t(col - 1)];
      page.fields.emplace_back(std::string(), FieldKind::Cell, grid,
                               key ? std::string(array) + "/" + std::to_string(row - 1) + "/" + key
                                   : std::string(),
                               true, std::string(), col, row);
    }
}

const BlockSpec* BlockOfRequest(std::int32_t request) {
  for (const BlockSpec* block : kBlocks)
    if (Number(block->read) == request || Number(block->write) == request) return block;
  return nullptr;
}

bool TForm1::ReadBlock(const BlockSpec& block) {
  return SendFrame(BuildReadRequest(kSlave, kReadHolding, block.ReadAddress(registerMapVariant),
                                    block.registers),
                   Number(block.read), block.readStatus);
}

bool TForm1::SendBlockWrite(const BlockSpec& block) {
  return SendFrame(BuildWriteRequest(kSlave, kWriteMultiple, block.WriteAddress(registerMapVariant),
                                     block.encode(*this), block.byteCountField),
                   Number(block.write), block.writeStatus, {.purge = block.purgeOnWrite});
}
