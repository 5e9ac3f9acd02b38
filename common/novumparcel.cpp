#include "novumparcel.h"

#include "logging.h"
#include "runtimeproperties.h"

#include <ferry/binder/aidl_status.h>
#include <ferry/binder/local_reply.h>
#include <ferry/binder/local_request.h>
#include <ferry/binder/reader.h>
#include <ferry/binder/remote_reply.h>
#include <ferry/binder/remote_request.h>
#include <ferry/binder/writer.h>

#include <QDebug>

#include <limits>
#include <utility>

using ferry::binder::Reader;
using ferry::binder::Writer;

namespace {

constexpr int32_t kBundleMagic = 0x4C444E42; // "BNDL"
constexpr int32_t kUriNull = 0;
constexpr int32_t kUriString = 1;
constexpr int32_t kUriOpaque = 2;
constexpr int32_t kUriHierarchical = 3;
constexpr int32_t kPartBoth = 0;
constexpr int32_t kPartDecoded = 2;

enum ValueTag : int32_t {
    kTagNull = -1,
    kTagString = 0,
    kTagInt = 1,
    kTagParcelable = 4,
    kTagLong = 6,
    kTagDouble = 8,
    kTagBool = 9,
    kTagStringArray = 14,
    kTagParcelableArray = 16,
};

// Intents nest through selectors and clip items. Real ones go one or two
// levels deep; a parcel that nests further is built to exhaust the stack.
constexpr int kMaxNesting = 8;

// Smallest encodings, used to reject counts the remaining data cannot hold.
constexpr size_t kMinString = 4;        // a null String16
constexpr size_t kMinEntry = 8;         // key (int32 or null String16) + tag
constexpr size_t kMinClipItem = 16;     // text, html, intent flag, uri kind

const QString kUriClass = QStringLiteral("android.net.Uri");

QString fromUtf16(const std::u16string &units)
{
    if (units.empty())
        return QString(QLatin1String(""));
    return QString(reinterpret_cast<const QChar *>(units.data()), int(units.size()));
}

} // namespace

NovumParcel::NovumParcel() = default;

NovumParcel::NovumParcel(Writer *writer)
    : m_writer(writer)
{
}

NovumParcel::NovumParcel(Reader *reader)
    : m_reader(reader)
{
}

NovumParcel::NovumParcel(ferry::binder::LocalRequest *request)
    : m_writer(request ? &request->writer() : nullptr)
{
}

NovumParcel::NovumParcel(ferry::binder::LocalReply *reply)
    : m_writer(reply ? &reply->writer() : nullptr)
{
}

NovumParcel::NovumParcel(const ferry::binder::RemoteRequest *request)
{
    if (request) {
        m_ownedReader = std::make_unique<Reader>(request->reader());
        m_reader = m_ownedReader.get();
    }
}

NovumParcel::NovumParcel(const ferry::binder::RemoteReply *reply)
{
    if (reply) {
        m_ownedReader = std::make_unique<Reader>(reply->reader());
        m_reader = m_ownedReader.get();
    }
}

NovumParcel::NovumParcel(NovumParcel &&other) noexcept
{
    *this = std::move(other);
}

NovumParcel &NovumParcel::operator=(NovumParcel &&other) noexcept
{
    if (this == &other)
        return *this;
    m_ownedWriter = std::move(other.m_ownedWriter);
    m_ownedReader = std::move(other.m_ownedReader);
    m_writer = std::exchange(other.m_writer, nullptr);
    m_reader = std::exchange(other.m_reader, nullptr);
    m_state = std::exchange(other.m_state, State::Ok);
    return *this;
}
NovumParcel::~NovumParcel() = default;

bool NovumParcel::atEnd() const
{
    return !m_reader || m_state != State::Ok || m_reader->atEnd();
}

bool NovumParcel::readable() const
{
    return m_reader && m_state == State::Ok;
}

void NovumParcel::fail(State why)
{
    // Running out of data may turn out to be a lie about its size.
    if (m_state != State::Ok && !(m_state == State::Truncated && why == State::Hostile))
        return;
    m_state = why;
    switch (why) {
    case State::Truncated:
        qCDebug(lcParcel) << "Read past the end of the parcel";
        break;
    case State::Hostile:
        qCWarning(lcParcel) << "Malformed parcel, ignoring the rest of it";
        break;
    default:
        break;
    }
}

int32_t NovumParcel::capCount(int32_t count, size_t minBytes)
{
    const size_t room = m_reader ? m_reader->bytesRemaining() / minBytes : 0;
    if (count > 0 && size_t(count) > room) {
        qCWarning(lcParcel) << "Count" << count << "exceeds the parcel's data";
        return int32_t(room);
    }
    return count;
}

template <typename T>
T NovumParcel::readScalar(bool (ferry::binder::Reader::*read)(T *), T fallback)
{
    T value = fallback;
    if (!readable())
        return fallback;
    if (!(m_reader->*read)(&value)) {
        fail(State::Truncated);
        return fallback;
    }
    return value;
}

bool NovumParcel::rawInt32(int32_t *value)
{
    if (!readable())
        return false;
    if (!m_reader->readInt32(value)) {
        fail(State::Truncated);
        return false;
    }
    return true;
}

// Reading

QString NovumParcel::readString()
{
    if (!readable())
        return QString();
    std::u16string units;
    bool isNull = false;
    if (!m_reader->readString16(&units, &isNull)) {
        fail(State::Truncated);
        return QString();
    }
    return isNull ? QString() : fromUtf16(units);
}

QStringList NovumParcel::readStringList()
{
    QStringList list;
    int32_t count = 0;
    if (!rawInt32(&count) || count < 1)
        return list;
    const int32_t n = capCount(count, kMinString);
    for (int32_t i = 0; i < n; ++i) {
        const QString s = readString();
        if (m_state != State::Ok)
            break;
        list.append(s);
    }
    if (n < count)
        fail(State::Hostile);
    return list;
}

bool NovumParcel::readBool()
{
    return readScalar(&ferry::binder::Reader::readBool, false);
}

int32_t NovumParcel::readInt32()
{
    int32_t value = -1;
    if (!m_reader)
        return -1;
    if (!rawInt32(&value)) {
        qCCritical(lcParcel) << "Couldn't read result";
        return -1;
    }
    return value;
}

int64_t NovumParcel::readInt64()
{
    return readScalar<int64_t>(&ferry::binder::Reader::readInt64, -1);
}

double NovumParcel::readDouble()
{
    return readScalar(&ferry::binder::Reader::readDouble, -1.0);
}

QByteArray NovumParcel::readByteArray()
{
    if (!readable())
        return QByteArray();
    std::vector<uint8_t> bytes;
    bool isNull = false;
    if (!m_reader->readByteArray(&bytes, &isNull)) {
        fail(State::Truncated);
        return QByteArray();
    }
    qCDebug(lcParcel) << "ByteArray size read: " << bytes.size();
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

std::shared_ptr<ferry::binder::RemoteObject> NovumParcel::readObject()
{
    return readScalar<std::shared_ptr<ferry::binder::RemoteObject>>(&ferry::binder::Reader::readObject, nullptr);
}

QString NovumParcel::readUriPart()
{
    int32_t representation = 0;
    if (!rawInt32(&representation))
        return QString();
    if (representation == kPartBoth) {
        // Encoded form first, then the decoded one; the decoded form is the
        // one wanted, but both must be consumed to stay in step.
        const QString encoded = readString();
        const QString decoded = readString();
        if (!decoded.isNull() || encoded.isNull())
            return decoded;
        return QString::fromUtf8(QByteArray::fromPercentEncoding(encoded.toUtf8()));
    }
    const QString value = readString();
    if (representation == kPartDecoded || value.isNull())
        return value;
    return QString::fromUtf8(QByteArray::fromPercentEncoding(value.toUtf8()));
}

QUrl NovumParcel::readUri()
{
    int32_t kind = kUriNull;
    if (!rawInt32(&kind))
        return QUrl();
    QUrl url;
    switch (kind) {
    case kUriString: {
        const QString s = readString();
        if (m_state == State::Ok && !s.isEmpty())
            url = QUrl(s, QUrl::TolerantMode);
        break;
    }
    case kUriOpaque: {
        const QString scheme = readString();
        const QString ssp = readUriPart();
        const QString fragment = readUriPart();
        if (m_state != State::Ok)
            break;
        url.setScheme(scheme);
        url.setPath(ssp, QUrl::DecodedMode);
        if (!fragment.isNull())
            url.setFragment(fragment, QUrl::DecodedMode);
        break;
    }
    case kUriHierarchical: {
        const QString scheme = readString();
        const QString authority = readUriPart();
        const QString path = readUriPart();
        const QString query = readUriPart();
        const QString fragment = readUriPart();
        if (m_state != State::Ok)
            break;
        url.setScheme(scheme);
        if (!authority.isNull())
            url.setAuthority(authority);
        url.setPath(path, QUrl::DecodedMode);
        if (!query.isNull())
            url.setQuery(query);
        if (!fragment.isNull())
            url.setFragment(fragment, QUrl::DecodedMode);
        break;
    }
    default:
        break;
    }
    return url;
}

QVariant NovumParcel::readValue()
{
    int32_t tag = kTagNull;
    if (!rawInt32(&tag))
        return QVariant();
    QVariant value;
    switch (tag) {
    case kTagNull:
        return QVariant();
    case kTagString:
        value = readString();
        break;
    case kTagInt:
        value = readInt32();
        break;
    case kTagLong:
        value = qlonglong(readInt64());
        break;
    case kTagDouble:
        value = readDouble();
        break;
    case kTagBool:
        value = readBool();
        break;
    case kTagStringArray:
        value = readStringList();
        break;
    default:
        qCCritical(lcParcel) << "Unsupported read bundle type!" << tag;
        // The value's size is unknown: whatever follows cannot be trusted.
        fail(State::Unsupported);
        return QVariant();
    }
    return m_state == State::Ok ? value : QVariant();
}

QVariantMap NovumParcel::readBundle()
{
    QVariantMap map;
    int32_t length = 0;
    if (!rawInt32(&length))
        return map;
    if (length < 0) {
        qCDebug(lcParcel) << "Null bundle";
        return map;
    }
    // Android writes a bundle it never filled as the length alone: no magic,
    // no count. What follows already belongs to the next field.
    if (length == 0)
        return map;
    int32_t magic = 0;
    if (!rawInt32(&magic))
        return map;
    if (magic != kBundleMagic) {
        qCCritical(lcParcel, "Bad bundle magic number 0x%08x", unsigned(magic));
        // Neither the length nor anything after it can be trusted.
        fail(State::Hostile);
        return map;
    }
    const size_t remaining = m_reader->bytesRemaining();
    if (size_t(length) > remaining) {
        qCWarning(lcParcel) << "Bundle length" << length << "exceeds the" << remaining
                            << "bytes left";
        fail(State::Hostile);
        return map;
    }
    const size_t end = m_reader->position() + size_t(length);
    const size_t remainingAtEnd = remaining - size_t(length);

    int32_t count = 0;
    if (!rawInt32(&count))
        return map;
    qCDebug(lcParcel) << "Bundle size: " << count;

    const int32_t n = count < 1 ? 0 : capCount(count, kMinEntry);
    for (int32_t i = 0; i < n; ++i) {
        if (m_reader->bytesRemaining() <= remainingAtEnd)
            qCWarning(lcParcel) << "Bundle too big";
        const QString key = readString();
        const QVariant value = readValue();
        if (m_state == State::Truncated)
            break;
        qCDebug(lcParcel) << "Key: " << key;
        qCDebug(lcParcel) << "Value: " << value;
        map.insert(key, value);
        if (m_state != State::Ok)
            break;
    }
    if (n < count) {
        fail(State::Hostile);
        return map;
    }
    // The declared length says where the bundle ends: a value this codec
    // cannot read only costs the rest of the bundle, not of the parcel.
    if (m_state == State::Unsupported && m_reader->position() <= end)
        m_state = State::Ok;
    if (m_state == State::Ok && m_reader->position() < end)
        m_reader->skip(end - m_reader->position());
    return map;
}

QVariantMap NovumParcel::readMap()
{
    QVariantMap map;
    int32_t count = 0;
    if (!rawInt32(&count) || count < 1)
        return map;
    const int32_t n = capCount(count, kMinEntry);
    for (int32_t i = 0; i < n; ++i) {
        const QString key = readString();
        const QVariant value = readValue();
        if (m_state == State::Truncated)
            break;
        qCDebug(lcParcel) << "Key: " << key;
        qCDebug(lcParcel) << "Value: " << value;
        map.insert(key, value);
        if (m_state != State::Ok)
            break;
    }
    if (n < count)
        fail(State::Hostile);
    return map;
}

QMap<int, QVariant> NovumParcel::readIntMap()
{
    QMap<int, QVariant> map;
    int32_t count = 0;
    if (!rawInt32(&count) || count < 1)
        return map;
    const int32_t n = capCount(count, kMinEntry);
    for (int32_t i = 0; i < n; ++i) {
        int32_t key = 0;
        if (!rawInt32(&key))
            break;
        const QVariant value = readValue();
        if (m_state == State::Truncated)
            break;
        map.insert(key, value);
        if (m_state != State::Ok)
            break;
    }
    if (n < count)
        fail(State::Hostile);
    return map;
}

Intent NovumParcel::readIntent()
{
    Intent intent;
    readIntentInto(&intent, 0);
    return intent;
}

ClipData NovumParcel::readClipData()
{
    ClipData clip;
    readClipDataInto(&clip, 0);
    return clip;
}

void NovumParcel::readIntentInto(Intent *intent, int depth)
{
    if (!readable() || m_reader->atEnd())
        return;
    if (depth > kMaxNesting) {
        qCWarning(lcParcel) << "Intent nested deeper than" << kMaxNesting << "levels";
        fail(State::Hostile);
        return;
    }
    // Fields are taken only while the data holds out, so a short parcel
    // leaves the rest at their defaults.
    const auto ok = [this] { return m_state == State::Ok; };

    intent->action = readString();
    intent->data = readUri();
    intent->type = readString();
    if (sdkVersion() > 28)
        intent->identifier = readString();
    int32_t value = 0;
    if (rawInt32(&value))
        intent->flags = value;
    intent->package = readString();
    intent->componentPackage = readString();
    // The class follows whenever a component was written, i.e. the package
    // string is not null.
    if (!intent->componentPackage.isNull())
        intent->componentClass = readString();
    if (rawInt32(&value) && value == 1) {
        int32_t l = 0, t = 0, r = 0, b = 0;
        if (rawInt32(&l) && rawInt32(&t) && rawInt32(&r) && rawInt32(&b))
            intent->setBounds(l, t, r, b);
    }
    intent->categories = readStringList();
    if (rawInt32(&value) && value == 1) {
        auto selector = std::make_unique<Intent>();
        readIntentInto(selector.get(), depth + 1);
        if (ok())
            intent->selector = std::move(selector);
    }
    if (rawInt32(&value) && value == 1) {
        auto clip = std::make_unique<ClipData>();
        readClipDataInto(clip.get(), depth + 1);
        if (ok())
            intent->clipData = std::move(clip);
    }
    if (rawInt32(&value))
        intent->contentUserHint = value;
    intent->extras = readBundle();
}

void NovumParcel::readClipDataInto(ClipData *clip, int depth)
{
    if (!readable() || m_reader->atEnd())
        return;
    clip->label = readString();
    clip->mimeTypes = readStringList();
    clip->extras = readBundle();
    int64_t timestamp = readInt64();
    if (m_state == State::Ok)
        clip->timestamp = timestamp;
    clip->icon = readByteArray();
    int32_t count = 0;
    if (!rawInt32(&count) || count < 1)
        return;
    const int32_t n = capCount(count, kMinClipItem);
    for (int32_t i = 0; i < n; ++i) {
        ClipDataItem item;
        item.text = readString();
        item.htmlText = readString();
        int32_t hasIntent = 0;
        if (rawInt32(&hasIntent) && hasIntent == 1) {
            auto intent = std::make_unique<Intent>();
            readIntentInto(intent.get(), depth + 1);
            item.intent = std::move(intent);
        }
        item.uri = readUri();
        if (m_state != State::Ok)
            break;
        clip->items.append(std::move(item));
    }
    if (n < count)
        fail(State::Hostile);
}

// Writing

void NovumParcel::writeString(const QString &value)
{
    if (!m_writer)
        return;
    if (value.isNull())
        m_writer->appendString16Null();
    else
        m_writer->appendString16(reinterpret_cast<const char16_t *>(value.utf16()),
                                 size_t(value.size()));
}

void NovumParcel::writeStringList(const QStringList &value)
{
    if (!m_writer)
        return;
    m_writer->appendInt32(int32_t(value.size()));
    for (const QString &s : value)
        writeString(s);
}

void NovumParcel::writeBool(bool value)
{
    if (m_writer)
        m_writer->appendBool(value);
}

void NovumParcel::writeInt32(int32_t value)
{
    if (m_writer)
        m_writer->appendInt32(value);
}

void NovumParcel::writeNoException()
{
    if (m_writer)
        ferry::binder::AidlStatus::writeNoException(*m_writer);
}

void NovumParcel::writeInt64(int64_t value)
{
    if (m_writer)
        m_writer->appendInt64(value);
}

void NovumParcel::writeDouble(double value)
{
    if (m_writer)
        m_writer->appendDouble(value);
}

void NovumParcel::writeByteArray(const QByteArray &value)
{
    if (m_writer)
        m_writer->appendByteArray(value.constData(), int32_t(value.size()));
}

void NovumParcel::writeLocalObject(const std::shared_ptr<ferry::binder::LocalObject> &object)
{
    if (m_writer)
        m_writer->appendLocalObject(object);
}

void NovumParcel::writeRemoteObject(const std::shared_ptr<ferry::binder::RemoteObject> &object)
{
    if (m_writer)
        m_writer->appendRemoteObject(object);
}

void NovumParcel::writeUri(const QUrl &url)
{
    if (!m_writer)
        return;
    // The encoded form: it is what Android's URI parser takes apart.
    const QString s = url.toString(QUrl::FullyEncoded);
    if (s.isEmpty()) {
        m_writer->appendInt32(kUriNull);
        return;
    }
    m_writer->appendInt32(kUriString);
    writeString(s);
}

void NovumParcel::writeValue(const QVariant &value)
{
    if (!m_writer)
        return;
    if (!value.isValid() || value.isNull()) {
        m_writer->appendInt32(kTagNull);
        return;
    }
    switch (value.userType()) {
    case QMetaType::Bool:
        m_writer->appendInt32(kTagBool);
        m_writer->appendBool(value.toBool());
        return;
    case QMetaType::Int:
        m_writer->appendInt32(kTagInt);
        m_writer->appendInt32(value.toInt());
        return;
    case QMetaType::UInt:
        m_writer->appendInt32(kTagInt);
        m_writer->appendInt32(int32_t(value.toUInt()));
        return;
    case QMetaType::LongLong:
        m_writer->appendInt32(kTagLong);
        m_writer->appendInt64(value.toLongLong());
        return;
    case QMetaType::ULongLong:
        m_writer->appendInt32(kTagLong);
        m_writer->appendInt64(int64_t(value.toULongLong()));
        return;
    case QMetaType::Double:
        m_writer->appendInt32(kTagDouble);
        m_writer->appendDouble(value.toDouble());
        return;
    case QMetaType::QString:
        m_writer->appendInt32(kTagString);
        writeString(value.toString());
        return;
    case QMetaType::QStringList:
        m_writer->appendInt32(kTagStringArray);
        writeStringList(value.toStringList());
        return;
    case QMetaType::QUrl:
        m_writer->appendInt32(kTagParcelable);
        writeString(kUriClass);
        writeUri(value.toUrl());
        return;
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        m_writer->appendInt32(kTagParcelableArray);
        m_writer->appendInt32(int32_t(list.size()));
        for (const QVariant &element : list) {
            if (element.userType() == QMetaType::QUrl) {
                writeString(kUriClass);
                writeUri(element.toUrl());
            } else {
                qCCritical(lcParcel) << "Unsupported parcelable type!" << element.typeName();
                // A null element keeps the array's count true.
                writeString(QString());
            }
        }
        return;
    }
    default:
        qCCritical(lcParcel) << "Unsupported write bundle type!" << value.typeName();
        // A null keeps the surrounding bundle or map readable.
        m_writer->appendInt32(kTagNull);
        return;
    }
}

void NovumParcel::writeBundle(const QVariantMap &map)
{
    if (!m_writer)
        return;
    const size_t lengthAt = m_writer->bytesWritten();
    m_writer->appendInt32(1);
    m_writer->appendInt32(kBundleMagic);
    const size_t start = m_writer->bytesWritten();
    writeMap(map);
    const size_t length = m_writer->bytesWritten() - start;
    if (length <= size_t(std::numeric_limits<int32_t>::max()))
        m_writer->overwriteInt32(lengthAt, int32_t(length));
    else
        qCCritical(lcParcel) << "Bundle too long for signed int32!" << length;
}

void NovumParcel::writeMap(const QVariantMap &map)
{
    if (!m_writer)
        return;
    m_writer->appendInt32(int32_t(map.size()));
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        writeString(it.key());
        writeValue(it.value());
    }
}

void NovumParcel::writeIntMap(const QMap<int, QVariant> &map)
{
    if (!m_writer)
        return;
    m_writer->appendInt32(int32_t(map.size()));
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        m_writer->appendInt32(it.key());
        writeValue(it.value());
    }
}

void NovumParcel::writeIntent(const Intent &intent)
{
    if (!m_writer)
        return;
    writeString(intent.action);
    writeUri(intent.data);
    writeString(intent.type);
    if (sdkVersion() > 28)
        writeString(intent.identifier);
    m_writer->appendInt32(intent.flags);
    writeString(intent.package);
    // Android reads a class name after any non-null package name, so an
    // empty package goes out as null to keep the two sides in step.
    if (intent.componentPackage.isEmpty()) {
        writeString(QString());
    } else {
        writeString(intent.componentPackage);
        writeString(intent.componentClass);
    }
    if (intent.hasBounds()) {
        m_writer->appendInt32(1);
        m_writer->appendInt32(intent.left);
        m_writer->appendInt32(intent.top);
        m_writer->appendInt32(intent.right);
        m_writer->appendInt32(intent.bottom);
    } else {
        m_writer->appendInt32(0);
    }
    writeStringList(intent.categories);
    if (intent.selector) {
        m_writer->appendInt32(1);
        writeIntent(*intent.selector);
    } else {
        m_writer->appendInt32(0);
    }
    if (intent.clipData) {
        m_writer->appendInt32(1);
        writeClipData(*intent.clipData);
    } else {
        m_writer->appendInt32(0);
    }
    m_writer->appendInt32(intent.contentUserHint);
    if (intent.extras.isEmpty())
        m_writer->appendInt32(-1);
    else
        writeBundle(intent.extras);
}

void NovumParcel::writeClipData(const ClipData &clip)
{
    if (!m_writer)
        return;
    writeString(clip.label);
    writeStringList(clip.mimeTypes);
    writeBundle(clip.extras);
    m_writer->appendInt64(clip.timestamp);
    writeByteArray(clip.icon);
    m_writer->appendInt32(int32_t(clip.items.size()));
    for (const ClipDataItem &item : clip.items) {
        writeString(item.text);
        writeString(item.htmlText);
        if (item.intent) {
            m_writer->appendInt32(1);
            writeIntent(*item.intent);
        } else {
            m_writer->appendInt32(0);
        }
        writeUri(item.uri);
    }
}
