// The record of a posted notification against parcels laid out by hand as
// Android writes them, whole, cut short and lying.
#include "notificationrecord.h"
#include "novumparcel.h"

#include <ferry/binder/reader.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

struct Bytes
{
    std::vector<uint8_t> b;

    Bytes &i32(int32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(uint32_t(v) >> (8 * i)));
        return *this;
    }
    Bytes &i64(int64_t v)
    {
        for (int i = 0; i < 8; ++i)
            b.push_back(uint8_t(uint64_t(v) >> (8 * i)));
        return *this;
    }
    Bytes &s16(const std::u16string &s)
    {
        i32(int32_t(s.size()));
        for (char16_t c : s) {
            b.push_back(uint8_t(c));
            b.push_back(uint8_t(c >> 8));
        }
        b.push_back(0);
        b.push_back(0);
        while (b.size() % 4)
            b.push_back(0);
        return *this;
    }
};

// Every field, in Android's order; the actions list last.
Bytes fullRecord(const std::function<void(Bytes &)> &actions)
{
    Bytes r;
    r.s16(u"0|com.example|7|null|10001").s16(u"Example").s16(u"Title \u00e9").s16(u"Text").s16(u"Sub");
    r.i32(int32_t(0xff336699)).s16(u"c21hbGw=").s16(u"bGFyZ2U=").s16(u"com.example").s16(u"ignored");
    r.i32(1).i32(0).i32(int32_t(0xff00ff00)).i32(100).i32(40).i32(0).i64(1700000000123).i32(4).i32(3);
    r.s16(u"msg").s16(u"chat-channel");
    actions(r);
    return r;
}

NotificationRecord read(const std::vector<uint8_t> &bytes)
{
    ferry::binder::Reader reader(bytes.data(), bytes.size());
    NovumParcel parcel(&reader);
    return NotificationRecord::read(parcel);
}

TEST(NotificationRecord, ReadsEveryFieldInOrder)
{
    const NotificationRecord r = read(fullRecord([](Bytes &b) { b.i32(2).s16(u"Reply").s16(u"Archive"); }).b);
    EXPECT_EQ(r.key, "0|com.example|7|null|10001");
    EXPECT_EQ(r.appName, "Example");
    EXPECT_EQ(r.title, QString::fromUtf8("Title \xc3\xa9"));
    EXPECT_EQ(r.text, "Text");
    EXPECT_EQ(r.subText, "Sub");
    EXPECT_EQ(uint32_t(r.color), 0xff336699u);
    EXPECT_EQ(r.smallIcon, "c21hbGw=");
    EXPECT_EQ(r.largeIcon, "bGFyZ2U=");
    EXPECT_EQ(r.packageName, "com.example");
    EXPECT_TRUE(r.silent);
    EXPECT_FALSE(r.vibrate);
    EXPECT_EQ(uint32_t(r.ledColor), 0xff00ff00u);
    EXPECT_EQ(r.progressMax, 100);
    EXPECT_EQ(r.progress, 40);
    EXPECT_FALSE(r.progressIndeterminate);
    EXPECT_EQ(r.postTime, 1700000000123);
    EXPECT_EQ(r.importance, 4);
    EXPECT_EQ(r.number, 3);
    EXPECT_EQ(r.category, "msg");
    EXPECT_EQ(r.channelId, "chat-channel");
    EXPECT_EQ(r.actions, (QStringList{"Reply", "Archive"}));
}

TEST(NotificationRecord, CutShortGivesDefaults)
{
    const std::vector<uint8_t> whole = fullRecord([](Bytes &b) { b.i32(1).s16(u"Reply"); }).b;
    // Byte offsets: after the key (60), in the middle of the title, after
    // the package name, in the middle of the post time, before the actions.
    const struct
    {
        size_t size;
        const char *title;
        int32_t color, importance;
        int64_t postTime;
        int actions;
    } cuts[] = {
        {0, "", -1, -1, -1, 0},
        {60, "", -1, -1, -1, 0},
        {90, "", -1, -1, -1, 0},
        {whole.size() - 76, "Title \u00e9", int32_t(0xff336699), -1, -1, 0},
        {whole.size() - 20, "Title \u00e9", int32_t(0xff336699), 4, 1700000000123, 0},
        {whole.size() - 4, "Title \u00e9", int32_t(0xff336699), 4, 1700000000123, 0},
        {whole.size(), "Title \u00e9", int32_t(0xff336699), 4, 1700000000123, 1},
    };
    for (const auto &c : cuts) {
        const NotificationRecord r = read(std::vector<uint8_t>(whole.begin(), whole.begin() + long(c.size)));
        EXPECT_EQ(r.title, QString::fromUtf8(c.title)) << c.size;
        EXPECT_EQ(r.color, c.color) << c.size;
        EXPECT_EQ(r.importance, c.importance) << c.size;
        EXPECT_EQ(r.postTime, c.postTime) << c.size;
        EXPECT_EQ(r.actions.size(), c.actions) << c.size;
        EXPECT_FALSE(r.malformed) << c.size;
    }
}

TEST(NotificationRecord, BoundsWhatAnAppHandsOver)
{
    // A count that the data cannot hold makes the record unusable.
    EXPECT_TRUE(read(fullRecord([](Bytes &b) { b.i32(0x7fffffff).s16(u"x"); }).b).malformed);
    // Past the limit, empty names and the bridge's own "app" are left out.
    const NotificationRecord many = read(fullRecord([](Bytes &b) {
                                             b.i32(14).s16(u"app").s16(u"");
                                             for (int i = 0; i < 12; ++i)
                                                 b.s16(std::u16string(u"a") + char16_t(u'0' + i));
                                         }).b);
    EXPECT_FALSE(many.malformed);
    ASSERT_EQ(many.actions.size(), NotificationRecord::kMaxActions);
    EXPECT_EQ(many.actions.first(), "a0");
    EXPECT_EQ(many.actions.last(), "a9");

    // Icons: as much Base64 as decodes to the limit, not a character more.
    const int limit = (NotificationRecord::kMaxIconBytes + 2) / 3 * 4;
    for (int extra : {0, 4}) {
        const std::u16string icon(size_t(limit + extra), u'A');
        Bytes b;
        b.s16(u"k").s16(u"").s16(u"").s16(u"").s16(u"").i32(0).s16(icon).s16(icon);
        const NotificationRecord r = read(b.b);
        EXPECT_EQ(r.smallIcon.size(), extra ? 0 : limit);
        EXPECT_EQ(r.largeIcon.size(), extra ? 0 : limit);
    }
}

} // namespace
