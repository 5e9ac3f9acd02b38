// "notificationposter": Android's notification service as the poster of
// "novum.notification" on the host. Not an Android service: tests and the
// demo drive it (the simulator's "notify" command calls it), and killing
// its process is the death of the callback object it registered.
//
// Interface "ferry.sim.INotificationPoster", all answering 0 and the status
// of the call made to the host:
//   1 register()                          code 1 with a new callback object
//   2 post(String16 json, bool oneway)    code 2 with the record (below)
//   3 remove(String16 key, bool oneway)   code 3
//   4 raw(int32 code, byte[] data)        any code, the bytes after the header
//   5 postMany(String16 json, int32 n)    n posts of the record, key + "-" + i;
//                                         then int32 wall time, median and 99th
//                                         percentile of one post in µs
// The record: a JSON object with the 22 fields in Android's order (absent:
// empty, 0, false): key, appName, title, text, subText, color, smallIcon,
// largeIcon, package, extra, silent, vibrate, led, progressMax, progress,
// indeterminate, postTime, importance, number, category, channel, actions.
//
// The callback ("novum.notifications.INovumNativeNotificationCallback")
// logs what it receives under "notification-callback": code 1 args
// [key, action], code 2 args [key].
#include "novumparcel.h"
#include "simservice.h"
#include "transactionlog.h"

#include <ferry/binder/client.h>
#include <ferry/binder/local_object.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/protocol.h>
#include <ferry/binder/remote_object.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/service_manager.h>
#include <ferry/binder/writer.h>

#include <QElapsedTimer>
#include <QJsonDocument>

#include <algorithm>
#include <vector>

using namespace ferry::binder;

namespace {

const char kHostService[] = "novum.notification";
const char kHostInterface[] = "novum.notifications.INovumNativeNotification";
const char kCallbackInterface[] = "novum.notifications.INovumNativeNotificationCallback";
const char kDevice[] = "/dev/vororoveredi";

int32_t int32Of(const QJsonValue &v)
{
    // Colours come as unsigned ARGB.
    return int32_t(uint32_t(qint64(v.toDouble())));
}

void writeRecord(NovumParcel &p, const QJsonObject &r, const QString &key)
{
    const auto s = [&](const char *name) { p.writeString(r.value(QLatin1String(name)).toString()); };
    const auto i = [&](const char *name) { p.writeInt32(int32Of(r.value(QLatin1String(name)))); };
    const auto b = [&](const char *name) { p.writeBool(r.value(QLatin1String(name)).toBool()); };
    p.writeString(key);
    s("appName"), s("title"), s("text"), s("subText");
    i("color");
    s("smallIcon"), s("largeIcon"), s("package"), s("extra");
    b("silent"), b("vibrate");
    i("led"), i("progressMax"), i("progress");
    b("indeterminate");
    p.writeInt64(int64_t(r.value(QLatin1String("postTime")).toDouble()));
    i("importance"), i("number");
    s("category"), s("channel");
    p.writeStringList(r.value(QLatin1String("actions")).toVariant().toStringList());
}

class NotificationPoster : public SimService
{
public:
    QStringList interfaces() const override { return {QStringLiteral("ferry.sim.INotificationPoster")}; }

    Status handle(SimCall &call) override
    {
        Status status = kStatusFailed;
        switch (call.code) {
        case 1:
            status = registerCallback();
            call.args = {QStringLiteral("register")};
            break;
        case 2: {
            const QJsonObject record = QJsonDocument::fromJson(call.in.readString().toUtf8()).object();
            const bool oneway = call.in.readBool();
            const QString key = record.value(QStringLiteral("key")).toString();
            status = toHost(2, oneway, [&](NovumParcel &p, Writer &) { writeRecord(p, record, key); });
            call.args = {QStringLiteral("post"), key};
            break;
        }
        case 3: {
            const QString key = call.in.readString();
            const bool oneway = call.in.readBool();
            status = toHost(3, oneway, [&](NovumParcel &p, Writer &) { p.writeString(key); });
            call.args = {QStringLiteral("remove"), key};
            break;
        }
        case 4: {
            const int32_t code = call.in.readInt32();
            const QByteArray data = call.in.readByteArray();
            status = toHost(uint32_t(code), false, [&](NovumParcel &, Writer &w) {
                w.appendBytes(data.constData(), size_t(data.size()));
            });
            call.args = {QStringLiteral("raw"), code, QString::fromLatin1(data.toHex())};
            break;
        }
        case 5:
            return postMany(call);
        default:
            call.extra.insert(QStringLiteral("note"), QStringLiteral("Unknown code (%1)").arg(call.code));
            return kStatusFailed;
        }
        call.extra.insert(QStringLiteral("hostStatus"), status);
        call.out.writeNoException();
        call.out.writeInt32(status);
        return kStatusOk;
    }

private:
    using Fill = std::function<void(NovumParcel &, Writer &)>;

    std::shared_ptr<RemoteObject> host()
    {
        const std::shared_ptr<ServiceManager> manager = ServiceManager::get(kDevice);
        return manager ? manager->getServiceSync(kHostService) : nullptr;
    }

    Status toHost(uint32_t code, bool oneway, const Fill &fill, const std::shared_ptr<RemoteObject> &known = nullptr)
    {
        const std::shared_ptr<RemoteObject> remote = known ? known : host();
        if (!remote)
            return kStatusDeadObject;
        Client client(remote, kHostInterface);
        LocalRequest request = client.newRequest(code);
        NovumParcel parcel(&request);
        fill(parcel, request.writer());
        if (oneway)
            return client.transactOneway(code, request);
        std::unique_ptr<RemoteReply> reply;
        return client.transactSync(code, request, &reply);
    }

    Status registerCallback()
    {
        const std::shared_ptr<ServiceManager> manager = ServiceManager::get(kDevice);
        if (!manager)
            return kStatusDeadObject;
        m_callback = manager->newLocalObject(
            kCallbackInterface,
            [](const RemoteRequest &request, uint32_t code, uint32_t flags, LocalReply *) -> Status {
                NovumParcel in(&request);
                QJsonArray args{in.readString()};
                if (code == 1)
                    args.append(in.readString());
                TransactionLog::append({{QStringLiteral("service"), QStringLiteral("notification-callback")},
                                        {QStringLiteral("code"), qint64(code)},
                                        {QStringLiteral("oneway"), (flags & kFlagOneway) != 0},
                                        {QStringLiteral("args"), args}});
                return kStatusOk;
            });
        return toHost(1, false, [&](NovumParcel &p, Writer &) { p.writeLocalObject(m_callback); });
    }

    Status postMany(SimCall &call)
    {
        const QJsonObject record = QJsonDocument::fromJson(call.in.readString().toUtf8()).object();
        const int count = std::max(0, call.in.readInt32());
        const QString key = record.value(QStringLiteral("key")).toString();
        const std::shared_ptr<RemoteObject> remote = host();
        std::vector<qint64> us;
        us.reserve(size_t(count));
        Status status = remote ? kStatusOk : kStatusDeadObject;
        QElapsedTimer wall;
        wall.start();
        for (int i = 0; i < count && status == kStatusOk; ++i) {
            QElapsedTimer one;
            one.start();
            status = toHost(2, false,
                            [&](NovumParcel &p, Writer &) { writeRecord(p, record, key + '-' + QString::number(i)); },
                            remote);
            us.push_back(one.nsecsElapsed() / 1000);
        }
        const qint64 wallUs = wall.nsecsElapsed() / 1000;
        std::sort(us.begin(), us.end());
        const auto at = [&](double q) { return us.empty() ? 0 : us[std::min(us.size() - 1, size_t(q * us.size()))]; };
        call.args = {QStringLiteral("postMany"), key, count};
        call.extra.insert(QStringLiteral("hostStatus"), status);
        call.out.writeNoException();
        call.out.writeInt32(status);
        call.out.writeInt32(int32_t(wallUs));
        call.out.writeInt32(int32_t(at(0.5)));
        call.out.writeInt32(int32_t(at(0.99)));
        return kStatusOk;
    }

    std::shared_ptr<LocalObject> m_callback;
};

} // namespace

FERRY_SIM_SERVICE("notificationposter", NotificationPoster)
