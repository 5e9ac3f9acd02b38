// "novum.contacts": Android's contacts provider as the host's contacts
// bridge feeds it.
//
// Interface "novum.contacts.INovumContacts":
//   1 readiness()                      -> int32 0, int32 readiness (> 0 ready,
//                                         0 not yet, < 0 not available)
//   3 contactChanged(record)           -> 0
//   4 contactPushed(record, int32 pushFlags) -> 0   (1 first of a full push, 2 last)
// A record: int32 1, int32 operation (1 added, 2 changed, 3 removed),
// String16 id, String16 timestamp, int32 row count, then per row String16
// mime type, int32 pair count and the pairs (String16 column, String16 value).
// Each record goes into the log line: "operation", "id", "timestamp",
// "rows" ([{"mime", "pairs": [[column, value], ...]}]) and, for code 4,
// "flags".
// Test control (not Android):
//   0x5eed0001 setReadiness(int32) -> 0   (a fresh service answers 0)
//   0x5eed0002 setReplyDelay(int32 ms) -> 0   codes 3 and 4 answer that much
//              later (at most 5 s), as a busy provider would
#include "novumparcel.h"
#include "simservice.h"

#include <QThread>

using namespace ferry::binder;

namespace {

// More than any real contact has; a record beyond is refused.
const int32_t kMaxRows = 1000;
const int32_t kMaxPairs = 64;
const int32_t kMaxDelayMs = 5000;

class NovumContactsService : public SimService
{
public:
    QStringList interfaces() const override { return {QStringLiteral("novum.contacts.INovumContacts")}; }

    Status handle(SimCall &call) override
    {
        switch (call.code) {
        case 1:
            call.args = {QStringLiteral("readiness")};
            call.extra.insert(QStringLiteral("readiness"), m_readiness);
            call.out.writeInt32(0);
            call.out.writeInt32(m_readiness);
            return kStatusOk;
        case 3:
        case 4: {
            call.args = {call.code == 3 ? QStringLiteral("contactChanged") : QStringLiteral("contactPushed")};
            if (!readRecord(call))
                return kStatusFailed;
            if (call.code == 4) {
                if (call.in.atEnd()) {
                    call.extra.insert(QStringLiteral("note"), QStringLiteral("no push flags"));
                    return kStatusFailed;
                }
                call.extra.insert(QStringLiteral("flags"), call.in.readInt32());
            }
            if (m_delayMs > 0)
                QThread::msleep(ulong(m_delayMs));
            call.out.writeInt32(0);
            return kStatusOk;
        }
        case 0x5eed0001:
            m_readiness = call.in.readInt32();
            call.args = {QStringLiteral("setReadiness"), m_readiness};
            call.out.writeInt32(0);
            return kStatusOk;
        case 0x5eed0002:
            m_delayMs = qBound(0, call.in.readInt32(), kMaxDelayMs);
            call.args = {QStringLiteral("setReplyDelay"), m_delayMs};
            call.out.writeInt32(0);
            return kStatusOk;
        default:
            call.extra.insert(QStringLiteral("note"), QStringLiteral("Unknown code (%1)").arg(call.code));
            return kStatusFailed;
        }
    }

private:
    static bool refuse(SimCall &call, const QString &why)
    {
        call.extra.insert(QStringLiteral("note"), why);
        return false;
    }

    static bool readRecord(SimCall &call)
    {
        NovumParcel &in = call.in;
        // Every item of a record is there, even when empty: running out
        // before one is a truncated record.
        bool truncated = false;
        auto int32 = [&] {
            truncated = truncated || in.atEnd();
            return in.readInt32();
        };
        auto string = [&] {
            truncated = truncated || in.atEnd();
            return in.readString();
        };
        const int32_t constant = int32();
        const int32_t operation = int32();
        const QString id = string();
        const QString timestamp = string();
        const int32_t rowCount = int32();
        if (truncated)
            return refuse(call, QStringLiteral("truncated record"));
        if (constant != 1)
            return refuse(call, QStringLiteral("record does not start with 1"));
        if (rowCount < 0 || rowCount > kMaxRows)
            return refuse(call, QStringLiteral("row count %1").arg(rowCount));
        QJsonArray rows;
        for (int32_t r = 0; r < rowCount; ++r) {
            const QString mime = string();
            const int32_t pairCount = int32();
            if (truncated)
                return refuse(call, QStringLiteral("truncated row"));
            if (pairCount < 0 || pairCount > kMaxPairs)
                return refuse(call, QStringLiteral("pair count %1").arg(pairCount));
            QJsonArray pairs;
            for (int32_t p = 0; p < pairCount; ++p) {
                const QString column = string();
                const QString value = string();
                pairs.append(QJsonArray{column, value});
            }
            if (truncated)
                return refuse(call, QStringLiteral("truncated row"));
            rows.append(QJsonObject{{QStringLiteral("mime"), mime}, {QStringLiteral("pairs"), pairs}});
        }
        call.extra.insert(QStringLiteral("operation"), operation);
        call.extra.insert(QStringLiteral("id"), id);
        call.extra.insert(QStringLiteral("timestamp"), timestamp.isNull() ? QJsonValue() : QJsonValue(timestamp));
        call.extra.insert(QStringLiteral("rows"), rows);
        return true;
    }

    int32_t m_readiness = 0;
    int32_t m_delayMs = 0;
};

} // namespace

FERRY_SIM_SERVICE("novum.contacts", NovumContactsService)
