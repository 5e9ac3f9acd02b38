#include <ferry/binder/aidl_status.h>

#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

namespace ferry::binder {

namespace {

// Skips a block whose int32 size, read at the current position, counts
// itself and what follows.
bool skipSizedBlock(Reader &r)
{
    size_t start = r.position();
    int32_t size;
    if (!r.readInt32(&size) || size < 4)
        return false;
    return r.skip(size_t(size) - (r.position() - start));
}

} // namespace

AidlStatus AidlStatus::fromException(int32_t exception, std::string message)
{
    AidlStatus status;
    status.m_exception = exception;
    status.m_message = std::move(message);
    return status;
}

AidlStatus AidlStatus::fromServiceSpecificError(int32_t error, std::string message)
{
    AidlStatus status = fromException(kServiceSpecific, std::move(message));
    status.m_serviceSpecificError = error;
    return status;
}

void AidlStatus::writeNoException(Writer &writer)
{
    writer.appendInt32(kNone);
}

void AidlStatus::writeTo(Writer &writer, Protocol protocol) const
{
    if (isOk()) {
        writeNoException(writer);
        return;
    }
    writer.appendInt32(m_exception);
    writer.appendString16(m_message);
    if (protocol != Protocol::Aidl27)
        writer.appendInt32(0);   // no stack trace
    if (m_exception == kServiceSpecific)
        writer.appendInt32(m_serviceSpecificError);
    else if (m_exception == kParcelable)
        writer.appendInt32(4);   // an empty blob: the size word alone
}

bool AidlStatus::readFrom(Reader &reader, Protocol protocol)
{
    Reader r = reader;
    AidlStatus status;
    if (!r.readInt32(&status.m_exception))
        return false;
    if (status.m_exception == kHasReplyHeader) {
        // Only ever sent with success; what it carries (strict-mode
        // violations) is of no use here.
        if (!skipSizedBlock(r))
            return false;
        status.m_exception = kNone;
    } else if (status.m_exception != kNone) {
        bool isNull;
        if (!r.readString16(&status.m_message, &isNull))
            return false;
        if (protocol != Protocol::Aidl27) {
            // Java writes a size (counting itself) and a String16 of the
            // trace, native code a bare 0; Java reads the string when the
            // size is positive, and so do we.
            int32_t stackTraceSize;
            std::string trace;
            if (!r.readInt32(&stackTraceSize) || stackTraceSize < 0
                || (stackTraceSize > 0 && !r.readString16(&trace, &isNull)))
                return false;
        }
        if (status.m_exception == kServiceSpecific) {
            if (!r.readInt32(&status.m_serviceSpecificError))
                return false;
        } else if (status.m_exception == kParcelable) {
            if (!skipSizedBlock(r))
                return false;
        }
    }
    *this = std::move(status);
    reader = r;
    return true;
}

} // namespace ferry::binder
