// The status at the start of AIDL replies: what is written, and what is
// accepted from Java and native senders of each SDK level.

#include <ferry/binder/aidl_status.h>
#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

#include <gtest/gtest.h>

using namespace ferry::binder;

namespace {

std::vector<uint8_t> int32le(int32_t v)
{
    uint32_t u = uint32_t(v);
    return {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
}

std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

const std::vector<uint8_t> kOops = {4, 0, 0, 0, 'o', 0, 'o', 0, 'p', 0, 's', 0, 0, 0, 0, 0};   // String16 "oops"

TEST(AidlStatus, WrittenBytesPerSdk)
{
    struct Case {
        const char *what;
        AidlStatus status;
        Protocol protocol;
        std::vector<uint8_t> expected;
    };
    const Case cases[] = {
        {"success", AidlStatus(), Protocol::Aidl28, int32le(0)},
        {"exception, SDK 27: no stack trace word", AidlStatus::fromException(AidlStatus::kIllegalState, "oops"),
         Protocol::Aidl27, cat({int32le(-5), kOops})},
        {"exception, SDK 29", AidlStatus::fromException(AidlStatus::kSecurity, "oops"), Protocol::Aidl29,
         cat({int32le(-1), kOops, int32le(0)})},
        {"service specific", AidlStatus::fromServiceSpecificError(17, "oops"), Protocol::Aidl28,
         cat({int32le(-8), kOops, int32le(0), int32le(17)})},
    };
    for (const Case &c : cases) {
        Writer w;
        c.status.writeTo(w, c.protocol);
        EXPECT_EQ(w.data(), c.expected) << c.what;
        Reader r(w.data().data(), w.data().size());
        AidlStatus back = AidlStatus::fromException(99);
        ASSERT_TRUE(back.readFrom(r, c.protocol)) << c.what;
        EXPECT_TRUE(r.atEnd()) << c.what;
        EXPECT_EQ(back.exception(), c.status.exception()) << c.what;
        EXPECT_EQ(back.message(), c.status.message()) << c.what;
        EXPECT_EQ(back.serviceSpecificError(), c.status.serviceSpecificError()) << c.what;
    }
    Writer w;
    AidlStatus::writeNoException(w);
    EXPECT_EQ(w.data(), int32le(0));
}

TEST(AidlStatus, ReadsWhatAndroidSendsAndRefusesWhatLies)
{
    const std::vector<uint8_t> result = int32le(0x1234);
    // Java's stack trace: size counting itself, then the trace as String16.
    const std::vector<uint8_t> trace = {2, 0, 0, 0, 'a', 0, 't', 0, 0, 0, 0, 0};
    struct Case {
        const char *what;
        Protocol protocol;
        std::vector<uint8_t> bytes;
        bool ok;              // parsed
        int32_t exception;
        size_t resultsAt;     // where the reader stands afterwards
    };
    const Case cases[] = {
        {"plain success", Protocol::Aidl29, cat({int32le(0), result}), true, 0, 4},
        {"reply header skipped, still success", Protocol::Aidl28,
         cat({int32le(-128), int32le(12), int32le(1), int32le(2), result}), true, 0, 16},
        {"Java stack trace skipped", Protocol::Aidl29, cat({int32le(-3), kOops, int32le(16), trace, result}), true,
         -3, 36},
        {"parcelable blob skipped", Protocol::Aidl29, cat({int32le(-9), kOops, int32le(0), int32le(8), int32le(7)}),
         true, -9, 32},
        {"SDK 27 has no stack trace word", Protocol::Aidl27, cat({int32le(-4), kOops, result}), true, -4, 20},
        {"empty reply", Protocol::Aidl29, {}, false, 0, 0},
        {"reply header past the end", Protocol::Aidl29, cat({int32le(-128), int32le(64), result}), false, 0, 0},
        {"reply header smaller than its size word", Protocol::Aidl29, cat({int32le(-128), int32le(-4)}), false, 0, 0},
        {"message cut short", Protocol::Aidl29, cat({int32le(-1), int32le(40), int32le(0)}), false, 0, 0},
        {"negative stack trace size", Protocol::Aidl29, cat({int32le(-1), kOops, int32le(-1)}), false, 0, 0},
        {"service specific error missing", Protocol::Aidl28, cat({int32le(-8), kOops, int32le(0)}), false, 0, 0},
    };
    for (const Case &c : cases) {
        Reader r(c.bytes.data(), c.bytes.size());
        AidlStatus status;
        EXPECT_EQ(status.readFrom(r, c.protocol), c.ok) << c.what;
        EXPECT_EQ(r.position(), c.resultsAt) << c.what;
        if (c.ok) {
            EXPECT_EQ(status.exception(), c.exception) << c.what;
            EXPECT_EQ(status.isOk(), c.exception == 0) << c.what;
        } else {
            EXPECT_TRUE(status.isOk()) << c.what << ": a failed read leaves the status alone";
        }
    }
}

} // namespace
