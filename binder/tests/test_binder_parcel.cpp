// Parcel writer and reader: layouts, round trips, and hostile input.

#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

#include "kernel_emulation.h"
#include "parcel_copy_p.h"
#include "parcel_data_p.h"
#include "string16_p.h"

#include <gtest/gtest.h>
#include <linux/android/binder.h>
#include <unistd.h>

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <limits>

using namespace ferry::binder;

namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> list)
{
    std::vector<uint8_t> out;
    for (int b : list)
        out.push_back(uint8_t(b));
    return out;
}

void writeEverything(Writer &w)
{
    w.appendInt8(-5);
    w.appendInt32(-123456);
    w.appendUint32(0xfedcba98u);
    w.appendInt64(std::numeric_limits<int64_t>::min());
    w.appendUint64(0x0123456789abcdefull);
    w.appendFloat(1.5f);
    w.appendDouble(-2.25);
    w.appendBool(true);
    w.appendString16("h\xc3\xa9llo \xf0\x9f\x98\x80");
    w.appendString16Null();
    w.appendString16("");
    w.appendString8("eight");
    w.appendCString("android.hardware.foo@1.0::IFoo");
    const uint8_t blob[5] = {1, 2, 3, 4, 5};
    w.appendByteArray(blob, 5);
    w.appendByteArray(nullptr, -1);
    w.appendByteArray(blob, 0);
}

// Reads what writeEverything wrote; false at the first failed read.
bool readEverything(Reader &r)
{
    int8_t i8;
    int32_t i32;
    uint32_t u32;
    int64_t i64;
    uint64_t u64;
    float f;
    double d;
    bool b, null;
    std::string s;
    std::vector<uint8_t> blob;
    if (!r.readInt8(&i8) || i8 != -5)
        return false;
    if (!r.readInt32(&i32) || i32 != -123456)
        return false;
    if (!r.readUint32(&u32) || u32 != 0xfedcba98u)
        return false;
    if (!r.readInt64(&i64) || i64 != std::numeric_limits<int64_t>::min())
        return false;
    if (!r.readUint64(&u64) || u64 != 0x0123456789abcdefull)
        return false;
    if (!r.readFloat(&f) || f != 1.5f || !r.readDouble(&d) || d != -2.25)
        return false;
    if (!r.readBool(&b) || !b)
        return false;
    if (!r.readString16(&s, &null) || null || s != "h\xc3\xa9llo \xf0\x9f\x98\x80")
        return false;
    if (!r.readString16(&s, &null) || !null)
        return false;
    if (!r.readString16(&s, &null) || null || !s.empty())
        return false;
    if (!r.readString8(&s) || s != "eight")
        return false;
    if (!r.readCString(&s) || s != "android.hardware.foo@1.0::IFoo")
        return false;
    if (!r.readByteArray(&blob, &null) || null || blob != bytes({1, 2, 3, 4, 5}))
        return false;
    if (!r.readByteArray(&blob, &null) || !null)
        return false;
    if (!r.readByteArray(&blob, &null) || null || !blob.empty())
        return false;
    return r.atEnd();
}

TEST(BinderParcel, LayoutsAreLittleEndianAndPaddedToFour)
{
    Writer w;
    w.appendString16("ab");
    EXPECT_EQ(w.data(), bytes({2, 0, 0, 0, 'a', 0, 'b', 0, 0, 0, 0, 0}));

    Writer n;
    n.appendString16Null();
    n.appendInt8(-1);
    n.appendBool(true);
    EXPECT_EQ(n.data(), bytes({0xff, 0xff, 0xff, 0xff, 0xff, 0, 0, 0, 1, 0, 0, 0}));

    Writer c;
    c.appendCString("abc");
    c.appendCString("abcd");
    EXPECT_EQ(c.data(), bytes({'a', 'b', 'c', 0, 'a', 'b', 'c', 'd', 0, 0, 0, 0}));

    Writer e;
    e.appendString8("xyz");
    const uint8_t three[3] = {7, 8, 9};
    e.appendByteArray(three, 3);
    EXPECT_EQ(e.data(), bytes({3, 0, 0, 0, 'x', 'y', 'z', 0, 3, 0, 0, 0, 7, 8, 9, 0}));

    Writer o;
    o.appendNullObject();
    EXPECT_EQ(o.bytesWritten(), sizeof(flat_binder_object));
    EXPECT_TRUE(o.objectOffsets().empty()) << "a null binder is not listed as an object";
}

TEST(BinderParcel, EveryTypeRoundTrips)
{
    Writer w;
    writeEverything(w);
    Reader r(w.data().data(), w.data().size());
    EXPECT_TRUE(readEverything(r));
    EXPECT_EQ(r.bytesRemaining(), 0u);
    EXPECT_EQ(w.bytesWritten(), w.data().size());
}

TEST(BinderParcel, OverwriteInt32PatchesOnlyInsideTheData)
{
    Writer w;
    w.appendInt32(0);
    w.appendInt32(7);
    EXPECT_TRUE(w.overwriteInt32(0, 42));
    EXPECT_FALSE(w.overwriteInt32(5, 1));
    EXPECT_FALSE(w.overwriteInt32(8, 1));
    EXPECT_FALSE(w.overwriteInt32(size_t(-1), 1));
    Reader r(w.data().data(), w.data().size());
    int32_t a, b;
    ASSERT_TRUE(r.readInt32(&a) && r.readInt32(&b));
    EXPECT_EQ(a, 42);
    EXPECT_EQ(b, 7);
}

TEST(BinderParcel, TruncatedDataFailsWithoutReadingPastTheEnd)
{
    Writer w;
    writeEverything(w);
    const std::vector<uint8_t> &full = w.data();
    for (size_t size = 0; size < full.size(); ++size) {
        // An exact-size heap copy lets the sanitizer catch any overread.
        std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
        memcpy(copy.get(), full.data(), size);
        Reader r(copy.get(), size);
        EXPECT_FALSE(readEverything(r)) << "prefix of " << size << " bytes";
        EXPECT_LE(r.position(), size);
    }
}

TEST(BinderParcel, MalformedStringsAndArraysAreRefused)
{
    struct Case {
        const char *what;
        std::vector<uint8_t> data;
    };
    const Case cases[] = {
        {"String16 of INT32_MAX units", bytes({0xff, 0xff, 0xff, 0x7f, 'a', 0, 0, 0})},
        {"String16 of -2 units", bytes({0xfe, 0xff, 0xff, 0xff, 0, 0, 0, 0})},
        {"String16 without terminator", bytes({1, 0, 0, 0, 'a', 0, 'b', 0})},
        {"String8 without terminator", bytes({2, 0, 0, 0, 'a', 'b', 'c', 'd'})},
        {"String8 longer than the data", bytes({0x10, 0, 0, 0, 'a', 'b', 0, 0})},
    };
    for (const Case &c : cases) {
        std::u16string s16;
        std::string s8;
        bool null;
        Reader r16(c.data.data(), c.data.size());
        Reader r8(c.data.data(), c.data.size());
        if (std::string(c.what).rfind("String16", 0) == 0) {
            EXPECT_FALSE(r16.readString16(&s16, &null)) << c.what;
            EXPECT_EQ(r16.position(), 0u) << "a failed read leaves the position";
        } else {
            EXPECT_FALSE(r8.readString8(&s8)) << c.what;
            EXPECT_EQ(r8.position(), 0u);
        }
    }
    auto huge = bytes({0xff, 0xff, 0xff, 0x7f, 1, 2, 3, 4});
    Reader ra(huge.data(), huge.size());
    std::vector<uint8_t> out;
    bool null;
    EXPECT_FALSE(ra.readByteArray(&out, &null));
    auto negative = bytes({0xfe, 0xff, 0xff, 0xff});
    Reader rn(negative.data(), negative.size());
    EXPECT_FALSE(rn.readByteArray(&out, &null));
    auto unterminated = bytes({'a', 'b', 'c', 'd'});
    Reader rc(unterminated.data(), unterminated.size());
    std::string s;
    EXPECT_FALSE(rc.readCString(&s));
    Reader empty(nullptr, 0);
    int32_t v;
    EXPECT_FALSE(empty.readInt32(&v));
    EXPECT_FALSE(empty.skip(1));
    EXPECT_TRUE(empty.skip(0));
}

TEST(BinderParcel, Utf16ConversionReplacesMalformedInput)
{
    EXPECT_EQ(utf8ToUtf16("\xf0\x9f\x98\x80"), std::u16string(u"\U0001F600"));
    EXPECT_EQ(utf8ToUtf16("a\xff" "b"), std::u16string(u"a\uFFFDb"));
    EXPECT_EQ(utf8ToUtf16("\xe2\x82"), std::u16string(u"\uFFFD\uFFFD"));
    EXPECT_EQ(utf8ToUtf16("\xc0\xaf"), std::u16string(u"\uFFFD\uFFFD")) << "overlong";
    EXPECT_EQ(utf8ToUtf16("\xed\xa0\x80"), std::u16string(u"\uFFFD\uFFFD\uFFFD")) << "surrogate";
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xd800))), "\xef\xbf\xbd") << "lone surrogate";
    EXPECT_EQ(utf16ToUtf8(u"\u00e9\U0001F600"), "\xc3\xa9\xf0\x9f\x98\x80");
}

// Objects need the offsets array: plain bytes carry none.
TEST(BinderParcel, ObjectsMustBeListedInTheOffsets)
{
    flat_binder_object handle {};
    handle.hdr.type = BINDER_TYPE_HANDLE;
    handle.handle = 3;
    binder_fd_object fd {};
    fd.hdr.type = BINDER_TYPE_FD;
    fd.fd = 0;
    std::vector<uint8_t> data(sizeof handle + sizeof fd);
    memcpy(data.data(), &handle, sizeof handle);
    memcpy(data.data() + sizeof handle, &fd, sizeof fd);

    Reader plain(data.data(), data.size());
    std::shared_ptr<RemoteObject> remote;
    EXPECT_FALSE(plain.readObject(&remote));
    EXPECT_TRUE(plain.skip(sizeof handle));
    int out = -1;
    EXPECT_FALSE(plain.readFd(&out));

    // Listed, but at positions that are not where the reader is.
    Reader shifted(ParcelData::withObjects(data, {4, 28}, nullptr, 0));
    EXPECT_FALSE(shifted.readObject(&remote));
    // Listed offsets beyond the data.
    Reader beyond(ParcelData::withObjects(data, {1000, uint64_t(-8)}, nullptr, 0));
    EXPECT_FALSE(beyond.readObject(&remote));
    // Listed correctly, but a handle without a device to resolve it.
    Reader listed(ParcelData::withObjects(data, {sizeof handle, 0}, nullptr, 0));
    EXPECT_FALSE(listed.readObject(&remote));
    EXPECT_EQ(listed.position(), 0u);
    ASSERT_TRUE(listed.skip(sizeof handle));
    EXPECT_TRUE(listed.readFd(&out));
    EXPECT_EQ(out, 0);

    // A null binder needs no listing.
    Writer w;
    w.appendNullObject();
    w.appendInt32(9);
    Reader nulls(w.data().data(), w.data().size());
    EXPECT_TRUE(nulls.readObject(&remote));
    EXPECT_EQ(remote, nullptr);
    int32_t nine;
    EXPECT_TRUE(nulls.readInt32(&nine));
    EXPECT_EQ(nine, 9);
}

TEST(BinderParcel, HidlStringsAndVectorsRoundTripThroughTheDriversLayout)
{
    struct Point {
        int32_t x, y;
    };
    const Point points[3] = {{1, 2}, {3, 4}, {-5, 6}};
    const std::vector<std::string> names = {"android.hardware.foo@1.0::IFoo", "", "x"};
    Writer w;
    w.appendInt32(0);
    w.appendHidlString("default_novum");
    w.appendHidlVec(points, 3, sizeof(Point));
    w.appendHidlStringVec(names);
    w.appendHidlStringVec({});
    w.appendHidlVec(nullptr, 0, sizeof(Point));
    w.appendHidlString("");
    EXPECT_EQ(w.objectCount(), 2u + 2u + (2u + 3u) + 2u + 2u + 2u);

    auto delivered = test::deliver(w);
    Reader r(delivered->parcel);
    int32_t status;
    std::string s;
    const void *elements;
    size_t count;
    std::vector<std::string> strings;
    ASSERT_TRUE(r.readInt32(&status));
    ASSERT_TRUE(r.readHidlString(&s));
    EXPECT_EQ(s, "default_novum");
    ASSERT_TRUE(r.readHidlVec(&elements, &count, sizeof(Point)));
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(memcmp(elements, points, sizeof points), 0);
    ASSERT_TRUE(r.readHidlStringVec(&strings));
    EXPECT_EQ(strings, names);
    ASSERT_TRUE(r.readHidlStringVec(&strings));
    EXPECT_TRUE(strings.empty());
    ASSERT_TRUE(r.readHidlVec(&elements, &count, sizeof(Point)));
    EXPECT_EQ(count, 0u);
    ASSERT_TRUE(r.readHidlString(&s));
    EXPECT_EQ(s, "");
    EXPECT_TRUE(r.atEnd());
}

// Damage one field of a delivered hidl_string and expect refusal.
class HidlDamage : public ::testing::Test {
protected:
    void SetUp() override
    {
        w.appendHidlString("hello");
        delivered = test::deliver(w);
        data.assign(delivered->parcel->data(), delivered->parcel->data() + delivered->parcel->size());
        offsets = w.objectOffsets();
    }
    binder_buffer_object object(size_t index)
    {
        binder_buffer_object o;
        memcpy(&o, data.data() + offsets[index], sizeof o);
        return o;
    }
    void setObject(size_t index, const binder_buffer_object &o) { memcpy(data.data() + offsets[index], &o, sizeof o); }
    bool read()
    {
        Reader r(ParcelData::withObjects(data, offsets, delivered->region.data(), delivered->region.size()));
        std::string s;
        bool ok = r.readHidlString(&s);
        if (!ok) {
            EXPECT_EQ(r.position(), 0u);
        }
        return ok;
    }

    Writer w;
    std::unique_ptr<test::DeliveredParcel> delivered;
    std::vector<uint8_t> data;
    std::vector<uint64_t> offsets;
};

TEST_F(HidlDamage, IntactStringReads)
{
    EXPECT_TRUE(read());
}

TEST_F(HidlDamage, BufferOutsideTheReceivedRegion)
{
    auto o = object(1);
    o.buffer = reinterpret_cast<uint64_t>(&o);
    setObject(1, o);
    EXPECT_FALSE(read());
    auto h = object(0);
    h.length = 1u << 30;
    setObject(0, h);
    EXPECT_FALSE(read());
}

TEST_F(HidlDamage, LengthDisagreesWithTheHeader)
{
    auto o = object(1);
    o.length = 3;
    setObject(1, o);
    EXPECT_FALSE(read());
}

TEST_F(HidlDamage, ParentIndexNotEarlier)
{
    auto o = object(1);
    o.parent = 1;
    setObject(1, o);
    EXPECT_FALSE(read());
    o.parent = 12345;
    setObject(1, o);
    EXPECT_FALSE(read());
}

TEST_F(HidlDamage, ParentOffsetOutsideTheParent)
{
    auto o = object(1);
    o.parent_offset = 16;
    setObject(1, o);
    EXPECT_FALSE(read());
    o.parent_offset = uint64_t(-4);
    setObject(1, o);
    EXPECT_FALSE(read());
}

TEST_F(HidlDamage, ChildNotListed)
{
    offsets.pop_back();
    EXPECT_FALSE(read());
}

TEST_F(HidlDamage, MissingTerminator)
{
    auto o = object(1);
    const_cast<uint8_t *>(reinterpret_cast<const uint8_t *>(o.buffer))[5] = 'x';
    EXPECT_FALSE(read());
}

TEST(BinderParcel, HidlVectorWithHugeCountIsRefused)
{
    struct Big {
        uint8_t b[64];
    };
    Writer w;
    Big one {};
    w.appendHidlVec(&one, 1, sizeof one);
    auto delivered = test::deliver(w);
    std::vector<uint8_t> data(delivered->parcel->data(), delivered->parcel->data() + delivered->parcel->size());
    // Claim 2^31 elements in the vec header inside the delivered region.
    binder_buffer_object header;
    memcpy(&header, data.data() + w.objectOffsets()[0], sizeof header);
    uint32_t count = 0x80000000u;
    memcpy(reinterpret_cast<uint8_t *>(header.buffer) + 8, &count, sizeof count);
    Reader r(ParcelData::withObjects(data, w.objectOffsets(), delivered->region.data(), delivered->region.size()));
    const void *elements;
    size_t n;
    EXPECT_FALSE(r.readHidlVec(&elements, &n, sizeof(Big)));
    EXPECT_FALSE(r.readHidlVec(&elements, &n, 0)) << "zero-sized elements make no sense";
    std::vector<std::string> strings;
    EXPECT_FALSE(r.readHidlStringVec(&strings));
}

TEST(BinderParcel, WriterOwnsDuplicatedFds)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    size_t before;
    {
        Writer w;
        EXPECT_TRUE(w.appendFd(fds[0]));
        EXPECT_TRUE(w.isValid());
        ASSERT_EQ(w.objectCount(), 1u);
        binder_fd_object object;
        memcpy(&object, w.data().data(), sizeof object);
        EXPECT_NE(int(object.fd), fds[0]) << "the parcel carries its own copy";
        EXPECT_EQ(fcntl(int(object.fd), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
        before = object.fd;
        Writer moved(std::move(w));
        EXPECT_GE(fcntl(int(before), F_GETFD), 0);
    }
    EXPECT_EQ(fcntl(int(before), F_GETFD), -1) << "closed with the writer";
    close(fds[0]);
    close(fds[1]);

    // A failed dup (a closed or bogus fd) writes nothing and spoils the
    // parcel at once, rather than sending fd -1 to fail far away.
    for (int bad : {-1, fds[0]}) {
        Writer w;
        w.appendInt32(1);
        EXPECT_FALSE(w.appendFd(bad)) << bad;
        EXPECT_FALSE(w.isValid());
        EXPECT_EQ(w.objectCount(), 0u);
        Writer moved(std::move(w));
        EXPECT_FALSE(moved.isValid()) << "moving keeps the failure";
    }
}

// A relayed fd array (a native handle) must name fds inside its parent
// buffer; the copy carries duplicates of its own, never the received ones,
// which the kernel closes with the received buffer.
TEST(BinderParcel, RelayedFdArraysAreDuplicatedOrRefused)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    struct Case {
        const char *what;
        uint32_t parent;
        uint64_t parentOffset;
        uint64_t count;
        bool copied;
    } cases[] = {
        {"intact", 0, 0, 2, true},
        {"empty", 0, 8, 0, true},
        {"parent is itself", 1, 0, 2, false},
        {"misaligned", 0, 2, 1, false},
        {"runs past the parent", 0, 4, 2, false},
        {"starts past the parent", 0, 12, 0, false},
        {"count wraps the bound", 0, 4, 0x40000000, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Writer w;
        uint32_t parent = w.appendBufferObject(fds, sizeof fds, nullptr);
        w.appendFdArray(BufferParent {parent, 0}, 2);
        auto delivered = test::deliver(w);
        std::vector<uint8_t> data(delivered->parcel->data(), delivered->parcel->data() + delivered->parcel->size());
        binder_fd_array_object fda;
        memcpy(&fda, data.data() + w.objectOffsets()[1], sizeof fda);
        fda.parent = c.parent;
        fda.parent_offset = c.parentOffset;
        fda.num_fds = c.count;
        memcpy(data.data() + w.objectOffsets()[1], &fda, sizeof fda);
        Reader r(ParcelData::withObjects(data, w.objectOffsets(), delivered->region.data(), delivered->region.size()));
        Writer out;
        EXPECT_EQ(copyParcel(r, &out), c.copied);
        if (!c.copied || !c.count)
            continue;
        ASSERT_EQ(out.objectCount(), 2u);
        binder_buffer_object buffer;
        memcpy(&buffer, out.data().data() + out.objectOffsets()[0], sizeof buffer);
        int32_t copies[2];
        memcpy(copies, reinterpret_cast<const void *>(buffer.buffer), sizeof copies);
        for (int i = 0; i < 2; ++i) {
            struct stat original, copy;
            ASSERT_EQ(fstat(fds[i], &original), 0);
            ASSERT_EQ(fstat(copies[i], &copy), 0);
            EXPECT_NE(copies[i], fds[i]);
            EXPECT_EQ(copy.st_ino, original.st_ino);
        }
    }
    close(fds[0]);
    close(fds[1]);
}

} // namespace
