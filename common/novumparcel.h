#pragma once

#include "intent.h"
#include "clipdata.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QVariantMap>

#include <memory>

namespace ferry::binder {
class Writer;
class Reader;
class LocalObject;
class RemoteObject;
class LocalRequest;
class LocalReply;
class RemoteRequest;
class RemoteReply;
}

// Reads or writes Android parcel layouts (strings, URIs, tagged values,
// bundles, maps, intents, clip data) over a binder parcel.
//
// A parcel without writer drops writes; a parcel without reader answers
// every read with a default. Input is untrusted: a read that would pass the
// end of the data, a count that cannot fit in the bytes left, or a value the
// codec cannot skip over marks the parcel as spent, and every later read
// answers its default instead of misreading what follows.
class NovumParcel
{
public:
    NovumParcel();
    explicit NovumParcel(ferry::binder::Writer *writer);
    explicit NovumParcel(ferry::binder::Reader *reader);
    explicit NovumParcel(ferry::binder::LocalRequest *request);
    explicit NovumParcel(ferry::binder::LocalReply *reply);
    explicit NovumParcel(const ferry::binder::RemoteRequest *request);
    explicit NovumParcel(const ferry::binder::RemoteReply *reply);
    NovumParcel(NovumParcel &&other) noexcept;
    NovumParcel &operator=(NovumParcel &&other) noexcept;
    NovumParcel(const NovumParcel &) = delete;
    NovumParcel &operator=(const NovumParcel &) = delete;
    ~NovumParcel();

    ferry::binder::Writer *writer() const { return m_writer; }
    ferry::binder::Reader *reader() const { return m_reader; }
    bool hasWriter() const { return m_writer != nullptr; }
    bool hasReader() const { return m_reader != nullptr; }
    // True when nothing more can be read: no reader, end of data, or the
    // data turned out malformed.
    bool atEnd() const;
    // True when the data turned out malformed or unreadable (a lying count
    // or length, a bad bundle, a value of unknown type, nesting beyond
    // reason), as opposed to merely reading past the end.
    bool isMalformed() const { return m_state == State::Hostile || m_state == State::Unsupported; }

    QString readString();
    QStringList readStringList();
    bool readBool();
    int32_t readInt32();
    int64_t readInt64();
    double readDouble();
    QByteArray readByteArray();
    std::shared_ptr<ferry::binder::RemoteObject> readObject();
    QUrl readUri();
    QVariant readValue();
    QVariantMap readBundle();
    QVariantMap readMap();
    QMap<int, QVariant> readIntMap();
    Intent readIntent();
    ClipData readClipData();

    void writeString(const QString &value);
    void writeStringList(const QStringList &value);
    void writeBool(bool value);
    void writeInt32(int32_t value);
    void writeInt64(int64_t value);
    void writeDouble(double value);
    void writeByteArray(const QByteArray &value);
    void writeLocalObject(const std::shared_ptr<ferry::binder::LocalObject> &object);
    void writeRemoteObject(const std::shared_ptr<ferry::binder::RemoteObject> &object);
    void writeUri(const QUrl &url);
    void writeValue(const QVariant &value);
    void writeBundle(const QVariantMap &map);
    void writeMap(const QVariantMap &map);
    void writeIntMap(const QMap<int, QVariant> &map);
    void writeIntent(const Intent &intent);
    void writeClipData(const ClipData &clip);
    // The success status an AIDL reply starts with (Parcel.writeNoException).
    void writeNoException();

private:
    enum class State { Ok, Truncated, Unsupported, Hostile };

    bool readable() const;
    void fail(State why);
    bool rawInt32(int32_t *value);
    // One fixed-size value, or fallback (and the parcel marked truncated)
    // when it is not there.
    template <typename T>
    T readScalar(bool (ferry::binder::Reader::*read)(T *), T fallback);
    QString readUriPart();
    void readIntentInto(Intent *intent, int depth);
    void readClipDataInto(ClipData *clip, int depth);
    // Number of entries of at least minBytes each that the data can still
    // hold; a larger count is a lie.
    int32_t capCount(int32_t count, size_t minBytes);

    ferry::binder::Writer *m_writer = nullptr;
    ferry::binder::Reader *m_reader = nullptr;
    std::unique_ptr<ferry::binder::Writer> m_ownedWriter;
    std::unique_ptr<ferry::binder::Reader> m_ownedReader;
    State m_state = State::Ok;
};
