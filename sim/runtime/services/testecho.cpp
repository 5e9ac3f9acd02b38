// "test.echo": a service for the binder layer's own tests.
//
// Interface "ferry.test.IEcho", codes:
//   1 echo(String16 s, int32 n)            -> 0, s, n + 1
//   2 note(String16 s)                      one-way; logged only
//   3 count()                               -> 0, number of calls so far (this one included)
//   4 callBack(binder cb, String16 iface, String16 s)
//        calls cb code 1 with s (two-way)   -> 0, status, first int32 of cb's reply (or -1)
//   5 callBackOneway(binder cb, String16 iface, String16 s)
//        calls cb code 1 with s (one-way)   -> 0, status
//   6 getObject()                           -> 0, a binder "ferry.test.IEchoChild" of this
//                                              process (code 1: String16 s -> 0, s)
// Other codes: logged "Unknown code", status failed.

#include "novumparcel.h"
#include "simservice.h"

#include <ferry/binder/client.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>

#include <QJsonArray>

using namespace ferry::binder;

namespace {

class TestEchoService : public SimService
{
public:
    QStringList interfaces() const override { return {QStringLiteral("ferry.test.IEcho")}; }

    Status handle(SimCall &call) override
    {
        ++m_calls;
        switch (call.code) {
        case 1: {
            const QString s = call.in.readString();
            const int32_t n = call.in.readInt32();
            call.args = {s, n};
            call.out.writeNoException();
            call.out.writeString(s);
            call.out.writeInt32(n + 1);
            return kStatusOk;
        }
        case 2:
            call.args = {call.in.readString()};
            call.out.writeNoException();
            return kStatusOk;
        case 3:
            call.out.writeNoException();
            call.out.writeInt32(m_calls);
            return kStatusOk;
        case 4:
        case 5:
            return callBack(call, call.code == 5);
        case 6: {
            if (!m_child) {
                m_child = ServiceManager::get(device().toStdString())
                              ->newLocalObject("ferry.test.IEchoChild",
                                               [](const RemoteRequest &request, uint32_t code, uint32_t,
                                                  LocalReply *reply) -> Status {
                                                   if (code != 1)
                                                       return kStatusFailed;
                                                   NovumParcel in(&request);
                                                   NovumParcel out(reply);
                                                   const QString s = in.readString();
                                                   out.writeNoException();
                                                   out.writeString(s);
                                                   return kStatusOk;
                                               });
            }
            call.out.writeNoException();
            call.out.writeLocalObject(m_child);
            return kStatusOk;
        }
        default:
            call.extra.insert(QStringLiteral("note"), QStringLiteral("Unknown code (%1)").arg(call.code));
            return kStatusFailed;
        }
    }

private:
    Status callBack(SimCall &call, bool oneway)
    {
        const std::shared_ptr<RemoteObject> callback = call.in.readObject();
        const QString interface = call.in.readString();
        const QString s = call.in.readString();
        call.args = {callback ? QStringLiteral("binder") : QStringLiteral("null"), interface, s};
        Status status = kStatusFailed;
        int32_t answer = -1;
        if (callback) {
            Client client(callback, interface.toStdString());
            LocalRequest request = client.newRequest(1);
            NovumParcel(&request).writeString(s);
            if (oneway) {
                status = client.transactOneway(1, request);
            } else {
                std::unique_ptr<RemoteReply> reply;
                status = client.transactSync(1, request, &reply);
                if (reply)
                    answer = NovumParcel(reply.get()).readInt32();
            }
        }
        call.extra.insert(QStringLiteral("callbackStatus"), status);
        call.out.writeNoException();
        call.out.writeInt32(status);
        if (!oneway)
            call.out.writeInt32(answer);
        return kStatusOk;
    }

    int32_t m_calls = 0;
    std::shared_ptr<LocalObject> m_child;
};

} // namespace

FERRY_SIM_SERVICE("test.echo", TestEchoService)
