// The status at the start of AIDL replies: written as Android writes it,
// read from Java and native senders of each SDK level, lies refused.

#include <ferry/binder/aidl_status.h>
#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

#include <gtest/gtest.h>

using namespace ferry::binder;

namespace {

std::vector<uint8_t> words(std::initializer_list<int32_t> values, const std::vector<uint8_t> &tail = {})
{
    std::vector<uint8_t> out;
    for (int32_t v : values)
        for (int shift : {0, 8, 16, 24})
            out.push_back(uint8_t(uint32_t(v) >> shift));
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

// String16 "oops".
const std::vector<uint8_t> kOops = {4, 0, 0, 0, 'o', 0, 'o', 0, 'p', 0, 's', 0, 0, 0, 0, 0};
std::vector<uint8_t> withTail(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(AidlStatus, WrittenAsAndroidWritesIt)
{
    Writer ok, sdk27, sdk29, specific;
    AidlStatus::writeNoException(ok);
    AidlStatus::fromException(AidlStatus::kIllegalState, "oops").writeTo(sdk27, Protocol::Aidl27);
    AidlStatus::fromException(AidlStatus::kSecurity, "oops").writeTo(sdk29, Protocol::Aidl29);
    AidlStatus::fromServiceSpecificError(17, "oops").writeTo(specific, Protocol::Aidl28);
    EXPECT_EQ(ok.data(), words({0}));
    EXPECT_EQ(sdk27.data(), words({-5}, kOops)) << "no stack trace word before SDK 28";
    EXPECT_EQ(sdk29.data(), withTail(words({-1}, kOops), words({0})));
    EXPECT_EQ(specific.data(), withTail(words({-8}, kOops), words({0, 17})));
}

TEST(AidlStatus, ReadsWhatAndroidSendsAndRefusesLies)
{
    // Java's stack trace: a size word, then String16 "at".
    const std::vector<uint8_t> trace = withTail(words({16, 2}), {'a', 0, 't', 0, 0, 0, 0, 0});
    struct Case {
        const char *what;
        Protocol protocol;
        std::vector<uint8_t> bytes;
        int32_t exception;   // 1: refused, the reader stays at 0
        size_t resultsAt;
    };
    const Case cases[] = {
        {"success", Protocol::Aidl29, words({0, 77}), 0, 4},
        {"reply header skipped", Protocol::Aidl28, words({-128, 12, 1, 2, 77}), 0, 16},
        {"Java stack trace skipped", Protocol::Aidl29, withTail(words({-3}, kOops), trace), -3, 36},
        {"parcelable blob skipped", Protocol::Aidl29, withTail(words({-9}, kOops), words({0, 8, 7})), -9, 32},
        {"service specific", Protocol::Aidl29, withTail(words({-8}, kOops), words({0, 17})), -8, 28},
        {"SDK 27: no stack trace word", Protocol::Aidl27, withTail(words({-4}, kOops), words({77})), -4, 20},
        {"empty", Protocol::Aidl29, {}, 1, 0},
        {"reply header past the end", Protocol::Aidl29, words({-128, 64, 77}), 1, 0},
        {"reply header shorter than its size", Protocol::Aidl29, words({-128, -4}), 1, 0},
        {"message cut short", Protocol::Aidl29, words({-1, 40, 0}), 1, 0},
        {"negative stack trace size", Protocol::Aidl29, withTail(words({-1}, kOops), words({-1})), 1, 0},
        {"service specific code missing", Protocol::Aidl28, withTail(words({-8}, kOops), words({0})), 1, 0},
    };
    for (const Case &c : cases) {
        Reader r(c.bytes.data(), c.bytes.size());
        AidlStatus status = AidlStatus::fromException(99);
        EXPECT_EQ(status.readFrom(r, c.protocol), c.exception != 1) << c.what;
        EXPECT_EQ(status.exception(), c.exception == 1 ? 99 : c.exception) << c.what;
        EXPECT_EQ(r.position(), c.resultsAt) << c.what;
        EXPECT_EQ(status.message(), c.exception < 0 ? "oops" : "") << c.what;
        EXPECT_EQ(status.serviceSpecificError(), c.exception == AidlStatus::kServiceSpecific ? 17 : 0) << c.what;
    }
}

} // namespace
