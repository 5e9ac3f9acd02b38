#pragma once

#include <ferry/binder/protocol.h>

#include <cstdint>
#include <string>

namespace ferry::binder {

class Reader;
class Writer;

// The status an AIDL reply starts with, as Android's Parcel writes it
// (writeNoException / writeException) and reads it (readException):
//   success:   int32 0, or int32 -128 and a reply header whose int32 size
//              counts itself; the results follow
//   exception: int32 code, String16 message, on SDK 28 and later an int32
//              stack-trace header size (0, or a String16 trace follows); a
//              service-specific exception then adds its int32 error code,
//              a parcelable one an int32 size (counting itself) and a blob
//
// Android's C service managers write no status at all; their clients
// read none.
class AidlStatus {
public:
    // Exception codes of android.os.Parcel.
    static constexpr int32_t kNone = 0;
    static constexpr int32_t kSecurity = -1;
    static constexpr int32_t kBadParcelable = -2;
    static constexpr int32_t kIllegalArgument = -3;
    static constexpr int32_t kNullPointer = -4;
    static constexpr int32_t kIllegalState = -5;
    static constexpr int32_t kNetworkMainThread = -6;
    static constexpr int32_t kUnsupportedOperation = -7;
    static constexpr int32_t kServiceSpecific = -8;
    static constexpr int32_t kParcelable = -9;
    static constexpr int32_t kHasReplyHeader = -128;
    static constexpr int32_t kTransactionFailed = -129;

    AidlStatus() = default;   // success
    static AidlStatus fromException(int32_t exception, std::string message = std::string());
    static AidlStatus fromServiceSpecificError(int32_t error, std::string message = std::string());

    bool isOk() const { return m_exception == kNone; }
    int32_t exception() const { return m_exception; }
    const std::string &message() const { return m_message; }
    int32_t serviceSpecificError() const { return m_serviceSpecificError; }

    // The success word alone, what most replies start with.
    static void writeNoException(Writer &writer);
    void writeTo(Writer &writer, Protocol protocol) const;
    // Reads the status; on success the reader stands at the results. A
    // malformed status (cut short, sizes past the end) gives false and
    // leaves the reader where it was.
    bool readFrom(Reader &reader, Protocol protocol);

private:
    int32_t m_exception = kNone;
    std::string m_message;
    int32_t m_serviceSpecificError = 0;
};

} // namespace ferry::binder
