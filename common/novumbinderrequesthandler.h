#pragma once

#include <QString>

#include <cstdint>

class NovumParcel;

// Serves the requests that Android sends to an anonymous local object
// (NovumBinderCallback). Returns true when the request was handled and the
// reply, if any, written.
class NovumBinderRequestHandler
{
public:
    virtual ~NovumBinderRequestHandler() = default;
    virtual bool processRequest(int32_t code, NovumParcel &reader, NovumParcel &writer) = 0;
    // The same with the interface descriptor the request's header named
    // (empty when it named none), for handlers that check it themselves.
    virtual bool processRequestFor(const QString &interface, int32_t code, NovumParcel &reader,
                                   NovumParcel &writer)
    {
        Q_UNUSED(interface);
        return processRequest(code, reader, writer);
    }
};
