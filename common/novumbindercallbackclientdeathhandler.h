#pragma once

class NovumBinderCallbackClient;

// Told when the Android object behind a NovumBinderCallbackClient dies.
// The client deletes itself right after this call returns to the event
// loop; forget the pointer, do not delete it.
class NovumBinderCallbackClientDeathHandler
{
public:
    virtual ~NovumBinderCallbackClientDeathHandler() = default;
    virtual void clientDied(NovumBinderCallbackClient *client) = 0;
};
