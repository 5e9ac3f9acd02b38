#pragma once

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
};
