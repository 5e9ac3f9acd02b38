#include "wifi/macaddress.h"
#include "wifi/wifirecords.h"

#include <ferry/binder/writer.h>
#include <linux/android/binder.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

struct Buffer {
    size_t length;
    int parent;   // -1: top level
    size_t parentOffset;
    bool operator==(const Buffer &o) const
    {
        return length == o.length && parent == o.parent && parentOffset == o.parentOffset;
    }
};

void PrintTo(const Buffer &b, std::ostream *os)
{
    *os << '{' << b.length << ", " << b.parent << ", " << b.parentOffset << '}';
}

std::vector<Buffer> buffers(const ferry::binder::Writer &writer)
{
    std::vector<Buffer> list;
    for (uint64_t offset : writer.objectOffsets()) {
        binder_buffer_object object;
        std::memcpy(&object, writer.data().data() + offset, sizeof object);
        EXPECT_EQ(object.hdr.type, uint32_t(BINDER_TYPE_PTR));
        const bool child = object.flags & BINDER_BUFFER_FLAG_HAS_PARENT;
        list.push_back({size_t(object.length), child ? int(object.parent) : -1, child ? size_t(object.parent_offset) : 0});
    }
    return list;
}

// Where each embedded string's and vector's data hangs decides what
// Android reads: a wrong parent or offset is a corrupted record there.
TEST(WifiRecords, EmbeddedBuffersHangWhereAndroidLooks)
{
    const struct {
        const char *name;
        std::function<void(ferry::binder::Writer &)> write;
        std::vector<Buffer> expected;
    } cases[] = {
        {"status", [](auto &w) { WifiRecords::appendStatus(w, 4); }, {{24, -1, 0}, {1, 0, 8}}},
        {"chip modes", WifiRecords::appendChipModes, {{16, -1, 0}, {24, 0, 0}, {16, 1, 8}, {24, 2, 0}, {4, 3, 0}}},
        {"chip debug info", WifiRecords::appendChipDebugInfo, {{32, -1, 0}, {1, 0, 0}, {1, 0, 16}}},
        {"link layer stats", WifiRecords::appendLinkLayerStats, {{160, -1, 0}, {0, 0, 136}}},
        {"iface infos", WifiRecords::appendStationIfaceInfos, {{16, -1, 0}, {24, 0, 0}, {6, 1, 8}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ferry::binder::Writer writer;
        c.write(writer);
        EXPECT_EQ(buffers(writer), c.expected);
    }
}

TEST(MacAddress, OnlyAWellFormedAddressGivesItsBytes)
{
    const QByteArray zeros(6, '\0');
    const struct {
        const char *text;
        QByteArray bytes;
    } cases[] = {
        {"02:00:00:AB:cd:EF", QByteArray::fromHex("020000abcdef")},
        {" 020000abcdef\n", QByteArray::fromHex("020000abcdef")},
        {"", zeros},
        {"02:00:00:ab:cd", zeros},
        {"02:00:00:ab:cd:ef:01", zeros},
        {"02:00:00:ab:cd:eg", zeros},
        {"+2:00:00:ab:cd:ef", zeros},
        {"0x:00:00:ab:cd:ef", zeros},
    };
    for (const auto &c : cases)
        EXPECT_EQ(macAddressBytes(QString::fromLatin1(c.text)), c.bytes) << c.text;
}

} // namespace
