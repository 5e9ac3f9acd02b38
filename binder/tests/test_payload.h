#pragma once

// The typed payload the two-process tests send and get back: one of each
// parcel type.

#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

#include <cstdint>
#include <string>
#include <vector>

namespace ferry::binder::test {

struct Point {
    int32_t x;
    int32_t y;
    int64_t z;
    bool operator==(const Point &o) const { return x == o.x && y == o.y && z == o.z; }
};

struct Payload {
    int8_t i8 = 0;
    int32_t i32 = 0;
    uint32_t u32 = 0;
    int64_t i64 = 0;
    uint64_t u64 = 0;
    float f = 0;
    double d = 0;
    bool b = false;
    std::string s16;
    bool s16Null = false;
    std::string s8;
    std::string cstring;
    std::vector<uint8_t> bytes;
    bool bytesNull = false;
    std::string hidlString;
    std::vector<std::string> hidlStrings;
    std::vector<Point> points;

    bool operator==(const Payload &o) const
    {
        return i8 == o.i8 && i32 == o.i32 && u32 == o.u32 && i64 == o.i64 && u64 == o.u64 && f == o.f && d == o.d
            && b == o.b && s16 == o.s16 && s16Null == o.s16Null && s8 == o.s8 && cstring == o.cstring
            && bytes == o.bytes && bytesNull == o.bytesNull && hidlString == o.hidlString
            && hidlStrings == o.hidlStrings && points == o.points;
    }
};

inline Payload samplePayload()
{
    Payload p;
    p.i8 = -128;
    p.i32 = -2000000000;
    p.u32 = 0xdeadbeef;
    p.i64 = -(int64_t(1) << 62);
    p.u64 = 0xfedcba9876543210ull;
    p.f = 3.25f;
    p.d = -1e300;
    p.b = true;
    p.s16 = "gr\xc3\xbc\xc3\x9f dich \xf0\x9f\x8c\x8d";
    p.s8 = "string8";
    p.cstring = "c-string";
    for (int i = 0; i < 37; ++i)
        p.bytes.push_back(uint8_t(i * 7));
    p.hidlString = "android.hardware.sensors@1.0::ISensors";
    p.hidlStrings = {"a", "", "vector of strings", std::string(300, 'x')};
    p.points = {{1, -1, 1ll << 40}, {2, -2, -5}, {0, 0, 0}};
    return p;
}

inline void writePayload(Writer &w, const Payload &p)
{
    w.appendInt8(p.i8);
    w.appendInt32(p.i32);
    w.appendUint32(p.u32);
    w.appendInt64(p.i64);
    w.appendUint64(p.u64);
    w.appendFloat(p.f);
    w.appendDouble(p.d);
    w.appendBool(p.b);
    if (p.s16Null)
        w.appendString16Null();
    else
        w.appendString16(p.s16);
    w.appendString16Null();
    w.appendString8(p.s8);
    w.appendCString(p.cstring);
    if (p.bytesNull)
        w.appendByteArray(nullptr, -1);
    else
        w.appendByteArray(p.bytes.data(), int32_t(p.bytes.size()));
    w.appendHidlString(p.hidlString);
    w.appendHidlStringVec(p.hidlStrings);
    w.appendHidlVec(p.points.data(), p.points.size(), sizeof(Point));
}

inline bool readPayload(Reader &r, Payload *p)
{
    bool null = false;
    std::string nullString;
    const void *elements = nullptr;
    size_t count = 0;
    if (!r.readInt8(&p->i8) || !r.readInt32(&p->i32) || !r.readUint32(&p->u32) || !r.readInt64(&p->i64)
        || !r.readUint64(&p->u64) || !r.readFloat(&p->f) || !r.readDouble(&p->d) || !r.readBool(&p->b)
        || !r.readString16(&p->s16, &p->s16Null) || !r.readString16(&nullString, &null) || !null
        || !r.readString8(&p->s8) || !r.readCString(&p->cstring) || !r.readByteArray(&p->bytes, &p->bytesNull)
        || !r.readHidlString(&p->hidlString) || !r.readHidlStringVec(&p->hidlStrings)
        || !r.readHidlVec(&elements, &count, sizeof(Point)))
        return false;
    const Point *points = static_cast<const Point *>(elements);
    p->points.assign(points, points + count);
    return true;
}

// Codes of the echo object served by binder_test_peer.
enum EchoCode : uint32_t {
    kEchoRaw = 1,       // reply: the request's bytes after the header
    kEchoTyped = 2,     // payload, object, null, fd -> payload, object, null, fd, bytes read from the fd
    kRecord = 3,        // one-way int32: remembered in order
    kGetRecorded = 4,   // reply: int32 count, int64 sum, bool in order
    kCallBack = 5,      // object, int32 x -> int32 (callback(x) + 1)
    kExit = 6,          // one-way: the peer exits normally
    kBlock = 7,         // held until kRelease; reply int32 42
    kRelease = 8,       // completes held kBlock requests
    kEchoObjects = 9,   // object, fd -> object, fd
    kPid = 10,          // reply: int32 pid
    kRaceReply = 11,    // object: held; calls object(1) from another thread; reply int32 7 after kRaceStarted
    kRaceStarted = 12,  // one-way: completes the held kRaceReply
    kManyObjects = 13,  // object, int32 n: asks object (code 2) for n objects, pings each -> int32 alive
    kFdArray = 14,      // int32 n -> a buffer of n fds of /dev/null in an fd array
    kNewObject = 15,    // -> a new echo object of the peer's
    kLiveObjects = 16,  // -> int32 count of the objects kNewObject made that are still alive
};

constexpr const char *kEchoAidl = "ferry.test.IEcho";
constexpr const char *kEchoHidl10 = "ferry.test@1.0::IEcho";
constexpr const char *kEchoHidl11 = "ferry.test@1.1::IEcho";
constexpr const char *kCallbackAidl = "ferry.test.ICallback";
constexpr const char *kCallbackHidl = "ferry.test@1.0::ICallback";

} // namespace ferry::binder::test
