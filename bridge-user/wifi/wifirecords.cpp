#include "wifirecords.h"

#include <ferry/binder/writer.h>

#include <cstring>
#include <string_view>

using ferry::binder::BufferParent;
using ferry::binder::Writer;

namespace {

// hidl_string and hidl_vec headers: pointer, length or count, owns-buffer.
// The pointer is patched by the kernel through the child buffer's parent
// link, so the one written here does not matter.
constexpr size_t kHeaderSize = 16;

void putHeader(uint8_t *at, uint32_t count)
{
    std::memset(at, 0, kHeaderSize);
    std::memcpy(at + 8, &count, sizeof count);
    at[12] = 1;
}

void appendChars(Writer &writer, std::string_view text, uint32_t parent, size_t offset)
{
    const BufferParent where {parent, offset};
    std::string chars(text);
    writer.appendBufferObject(chars.c_str(), chars.size() + 1, &where);
}

} // namespace

namespace WifiRecords {

void appendStatus(Writer &writer, uint32_t code)
{
    uint8_t record[kStatusSize] = {};
    std::memcpy(record, &code, sizeof code);
    putHeader(record + 8, 0);
    const uint32_t index = writer.appendBufferObject(record, sizeof record, nullptr);
    appendChars(writer, {}, index, 8);
}

void appendEmptyVector(Writer &writer)
{
    writer.appendHidlVec(nullptr, 0, 0);
}

void appendChipModes(Writer &writer)
{
    // vec<ChipMode> -> ChipMode {uint32 id; vec<ChipIfaceCombination>}
    // -> ChipIfaceCombination {vec<ChipIfaceCombinationLimit>}
    // -> ChipIfaceCombinationLimit {vec<IfaceType> types; uint32 maxIfaces}.
    uint8_t modes[kHeaderSize];
    putHeader(modes, 1);
    const uint32_t modesIndex = writer.appendBufferObject(modes, sizeof modes, nullptr);

    uint8_t mode[24] = {};   // id 0
    putHeader(mode + 8, 1);
    const BufferParent modeParent {modesIndex, 0};
    const uint32_t modeIndex = writer.appendBufferObject(mode, sizeof mode, &modeParent);

    uint8_t combination[kHeaderSize];
    putHeader(combination, 1);
    const BufferParent combinationParent {modeIndex, 8};
    const uint32_t combinationIndex = writer.appendBufferObject(combination, sizeof combination, &combinationParent);

    uint8_t limit[24] = {};
    putHeader(limit, 1);
    const uint32_t maxIfaces = 1;
    std::memcpy(limit + 16, &maxIfaces, sizeof maxIfaces);
    const BufferParent limitParent {combinationIndex, 0};
    const uint32_t limitIndex = writer.appendBufferObject(limit, sizeof limit, &limitParent);

    const uint32_t stationType = 0;
    const BufferParent typesParent {limitIndex, 0};
    writer.appendBufferObject(&stationType, sizeof stationType, &typesParent);
}

void appendChipDebugInfo(Writer &writer)
{
    uint8_t record[kChipDebugInfoSize];
    putHeader(record, 0);
    putHeader(record + 16, 0);
    const uint32_t index = writer.appendBufferObject(record, sizeof record, nullptr);
    appendChars(writer, {}, index, 0);
    appendChars(writer, {}, index, 16);
}

void appendLinkLayerStats(Writer &writer)
{
    uint8_t record[kLinkLayerStatsSize] = {};
    putHeader(record + kLinkLayerStatsRadiosOffset, 0);
    const uint32_t index = writer.appendBufferObject(record, sizeof record, nullptr);
    const BufferParent radios {index, kLinkLayerStatsRadiosOffset};
    writer.appendBufferObject(nullptr, 0, &radios);
}

void appendStationIfaceInfos(Writer &writer)
{
    // IfaceInfo {uint32 type (0: station); hidl_string name}: 24 bytes.
    static const char kName[] = "wlan0";
    uint8_t infos[kHeaderSize];
    putHeader(infos, 1);
    const uint32_t infosIndex = writer.appendBufferObject(infos, sizeof infos, nullptr);
    uint8_t info[24] = {};
    putHeader(info + 8, sizeof kName - 1);
    const BufferParent infoParent {infosIndex, 0};
    const uint32_t infoIndex = writer.appendBufferObject(info, sizeof info, &infoParent);
    appendChars(writer, kName, infoIndex, 8);
}

} // namespace WifiRecords
