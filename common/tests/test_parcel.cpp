#include "novumparcel.h"
#include "runtimeproperties.h"
#include "runtimeproperties_p.h"

#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using ferry::binder::Reader;
using ferry::binder::Writer;

namespace {

// Expected parcel bytes, built by hand so the tests do not share the codec's
// idea of the layout.
struct Bytes
{
    std::vector<uint8_t> b;

    Bytes &i32(int32_t v)
    {
        uint32_t u = uint32_t(v);
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(u >> (8 * i)));
        return *this;
    }
    Bytes &i64(int64_t v)
    {
        uint64_t u = uint64_t(v);
        for (int i = 0; i < 8; ++i)
            b.push_back(uint8_t(u >> (8 * i)));
        return *this;
    }
    Bytes &raw16(const std::u16string &s)
    {
        for (char16_t c : s) {
            b.push_back(uint8_t(c));
            b.push_back(uint8_t(c >> 8));
        }
        b.push_back(0);
        b.push_back(0);
        while (b.size() % 4)
            b.push_back(0);
        return *this;
    }
    Bytes &s16(const std::u16string &s) { return i32(int32_t(s.size())).raw16(s); }
    Bytes &null16() { return i32(-1); }
    Bytes &append(const Bytes &o)
    {
        b.insert(b.end(), o.b.begin(), o.b.end());
        return *this;
    }
};

struct LogLine
{
    QtMsgType type;
    QString category;
    QString text;
};

std::vector<LogLine> *g_log = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &ctx, const QString &msg)
{
    if (g_log)
        g_log->push_back({type, QString::fromLatin1(ctx.category), msg});
}

void useSdk(int sdk)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("build.prop"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("ro.build.version.sdk=" + QByteArray::number(sdk) + "\n");
    f.close();
    qputenv("FERRY_BUILD_PROP", QFile::encodeName(path));
    resetRuntimePropertiesCache();
    ASSERT_EQ(sdkVersion(), sdk);
}

class ParcelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QLoggingCategory::setFilterRules(QStringLiteral("com.kestrel.ferryd.parcel.debug=true"));
        g_log = &log;
        previous = qInstallMessageHandler(captureMessage);
        useSdk(29);
    }
    void TearDown() override
    {
        qInstallMessageHandler(previous);
        g_log = nullptr;
        QLoggingCategory::setFilterRules(QString());
    }

    int count(QtMsgType type, const QString &start) const
    {
        int n = 0;
        for (const LogLine &l : log)
            if (l.type == type && l.text.startsWith(start))
                ++n;
        return n;
    }

    // Reads `bytes` with a fresh parcel; the reader outlives the call.
    NovumParcel over(const std::vector<uint8_t> &bytes)
    {
        data = bytes;
        reader = std::make_unique<Reader>(data.data(), data.size());
        return NovumParcel(reader.get());
    }

    std::vector<LogLine> log;
    QtMessageHandler previous = nullptr;
    std::vector<uint8_t> data;
    std::unique_ptr<Reader> reader;
};

Bytes bundleA1()
{
    return Bytes().i32(20).i32(0x4C444E42).i32(1).s16(u"a").i32(1).i32(1);
}

} // namespace

TEST_F(ParcelTest, BundleLayoutMatchesAndroid)
{
    Writer w;
    NovumParcel p(&w);
    p.writeBundle({{QStringLiteral("a"), 1}});
    EXPECT_EQ(w.data(), bundleA1().b);

    NovumParcel r = over(w.data());
    const QVariantMap map = r.readBundle();
    ASSERT_EQ(map.size(), 1);
    EXPECT_EQ(map.value(QStringLiteral("a")), QVariant(1));
    EXPECT_TRUE(r.atEnd());
    EXPECT_FALSE(r.isMalformed());

    // Empty maps are still real bundles; only intents write null extras.
    Writer e;
    NovumParcel(&e).writeBundle(QVariantMap());
    EXPECT_EQ(e.data(), Bytes().i32(4).i32(0x4C444E42).i32(0).b);
}

TEST_F(ParcelTest, NullAndBadBundles)
{
    NovumParcel nullBundle = over(Bytes().i32(-1).i32(7).b);
    EXPECT_TRUE(nullBundle.readBundle().isEmpty());
    EXPECT_EQ(count(QtDebugMsg, QStringLiteral("Null bundle")), 1);
    EXPECT_EQ(nullBundle.readInt32(), 7);

    NovumParcel bad = over(Bytes().i32(8).i32(0x12345678).i32(1).i32(0).i32(7).b);
    EXPECT_TRUE(bad.readBundle().isEmpty());
    EXPECT_EQ(count(QtCriticalMsg, QStringLiteral("Bad bundle magic number 0x12345678")), 1);
    // Nothing behind a bad bundle can be placed: no misreads.
    EXPECT_EQ(bad.readInt32(), -1);
    EXPECT_TRUE(bad.isMalformed());
}

// Android writes an empty (or never filled) bundle as the length 0 alone,
// without magic: the next word is already the next field.
TEST_F(ParcelTest, AndroidsEmptyBundleLeavesTheRestIntact)
{
    NovumParcel bare = over(Bytes().i32(0).i32(7).b);
    EXPECT_TRUE(bare.readBundle().isEmpty());
    EXPECT_EQ(bare.readInt32(), 7);
    EXPECT_FALSE(bare.isMalformed());

    // Clip data: empty extras, then timestamp, icon and an item.
    const Bytes clip = Bytes().s16(u"L").i32(1).s16(u"text/plain").i32(0).i64(42).i32(2)
                           .append(Bytes().i32(0x6369)).i32(1).s16(u"t").null16().i32(0).i32(1).s16(u"content://a/b");
    NovumParcel c = over(Bytes().append(clip).i32(7).b);
    const ClipData cd = c.readClipData();
    EXPECT_TRUE(cd.extras.isEmpty());
    EXPECT_EQ(cd.timestamp, 42);
    EXPECT_EQ(cd.icon, QByteArray("ic"));
    ASSERT_EQ(cd.items.size(), 1);
    EXPECT_EQ(cd.items.at(0).text, QStringLiteral("t"));
    EXPECT_EQ(cd.items.at(0).uri, QUrl(QStringLiteral("content://a/b")));
    EXPECT_EQ(c.readInt32(), 7);

    // Intents (SDK 28: no identifier) with empty extras of their own, and
    // with clip data that has them, each followed by another field.
    const Bytes head = Bytes().s16(u"act").i32(0).null16().i32(0).null16().null16().i32(0).i32(0).i32(0);
    struct Case
    {
        const char *name;
        Bytes bytes;
        bool hasClip;
    };
    const Case cases[] = {
        {"empty extras", Bytes().append(head).i32(0).i32(-2).i32(0).i32(7), false},
        {"clip data with empty extras", Bytes().append(head).i32(1).append(clip).i32(-2).i32(-1).i32(7), true},
        {"both", Bytes().append(head).i32(1).append(clip).i32(-2).i32(0).i32(7), true},
    };
    useSdk(28);
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        NovumParcel p = over(k.bytes.b);
        const Intent i = p.readIntent();
        EXPECT_EQ(i.action, QStringLiteral("act"));
        EXPECT_EQ(i.contentUserHint, -2);
        EXPECT_TRUE(i.extras.isEmpty());
        ASSERT_EQ(bool(i.clipData), k.hasClip);
        if (k.hasClip) {
            ASSERT_EQ(i.clipData->items.size(), 1);
            EXPECT_EQ(i.clipData->items.at(0).uri, QUrl(QStringLiteral("content://a/b")));
        }
        EXPECT_EQ(p.readInt32(), 7);
        EXPECT_FALSE(p.isMalformed());
    }
    EXPECT_EQ(count(QtCriticalMsg, QStringLiteral("Bad bundle magic")), 0);
}

TEST_F(ParcelTest, BundleSkipsToItsDeclaredEnd)
{
    // Android places the next field after the declared length; trailing
    // bytes inside it are not taken for the following field.
    Bytes b = Bytes().i32(24).i32(0x4C444E42).i32(1).s16(u"a").i32(1).i32(1).i32(99).i32(7);
    NovumParcel p = over(b.b);
    EXPECT_EQ(p.readBundle().value(QStringLiteral("a")), QVariant(1));
    EXPECT_EQ(p.readInt32(), 7);

    // Entries that run past the declared length are still read, with a
    // warning.
    Bytes tooBig = Bytes().i32(4).i32(0x4C444E42).i32(2).s16(u"a").i32(1).i32(1).s16(u"b").i32(1).i32(2);
    NovumParcel q = over(tooBig.b);
    EXPECT_EQ(q.readBundle().size(), 2);
    EXPECT_GE(count(QtWarningMsg, QStringLiteral("Bundle too big")), 1);
}

TEST_F(ParcelTest, NullAndEmptyStrings)
{
    Writer w;
    NovumParcel p(&w);
    p.writeString(QString());
    p.writeString(QLatin1String(""));
    p.writeString(QStringLiteral("h\u00e9"));
    EXPECT_EQ(w.data(), Bytes().null16().s16(u"").s16(u"h\u00e9").b);

    NovumParcel r = over(w.data());
    const QString a = r.readString();
    const QString b = r.readString();
    EXPECT_TRUE(a.isNull());
    EXPECT_FALSE(b.isNull());
    EXPECT_TRUE(b.isEmpty());
    EXPECT_EQ(r.readString(), QStringLiteral("h\u00e9"));
    // Past the end every read answers its default.
    EXPECT_TRUE(r.readString().isNull());
    EXPECT_EQ(r.readInt32(), -1);
    EXPECT_EQ(count(QtCriticalMsg, QStringLiteral("Couldn't read result")), 1);
    EXPECT_EQ(r.readInt64(), -1);
    EXPECT_EQ(r.readDouble(), -1.0);
    EXPECT_FALSE(r.readBool());
    EXPECT_TRUE(r.readStringList().isEmpty());
    EXPECT_TRUE(r.readByteArray().isEmpty());
    EXPECT_FALSE(r.readObject());
    EXPECT_TRUE(r.readUri().isEmpty());
    EXPECT_FALSE(r.readValue().isValid());
    EXPECT_TRUE(r.readMap().isEmpty());
    EXPECT_TRUE(r.readIntMap().isEmpty());
    EXPECT_TRUE(r.readBundle().isEmpty());
    EXPECT_TRUE(r.atEnd());
    // Running out of data is not malformed data.
    EXPECT_FALSE(r.isMalformed());
}

TEST_F(ParcelTest, ParcelsWithoutReaderOrWriter)
{
    NovumParcel none;
    none.writeString(QStringLiteral("x"));
    none.writeBundle({{QStringLiteral("a"), 1}});
    EXPECT_EQ(none.readInt32(), -1);
    EXPECT_TRUE(none.readString().isNull());
    const Intent i = none.readIntent();
    EXPECT_EQ(i.flags, 0);
    EXPECT_EQ(i.contentUserHint, -2);
    EXPECT_FALSE(i.hasBounds());
    EXPECT_EQ(none.readClipData().timestamp, 0);
    EXPECT_TRUE(log.empty());
}

TEST_F(ParcelTest, PrimitivesAndLists)
{
    Writer w;
    NovumParcel p(&w);
    p.writeBool(true);
    p.writeInt32(-5);
    p.writeInt64(0x123456789LL);
    p.writeDouble(2.5);
    p.writeByteArray(QByteArray("abcde"));
    p.writeStringList({QStringLiteral("x"), QString()});
    Bytes e = Bytes().i32(1).i32(-5).i64(0x123456789LL);
    double d = 2.5;
    int64_t bits;
    std::memcpy(&bits, &d, 8);
    e.i64(bits).i32(5);
    for (char c : std::string("abcde"))
        e.b.push_back(uint8_t(c));
    e.b.insert(e.b.end(), {0, 0, 0});
    e.i32(2).s16(u"x").null16();
    EXPECT_EQ(w.data(), e.b);

    NovumParcel r = over(w.data());
    EXPECT_TRUE(r.readBool());
    EXPECT_EQ(r.readInt32(), -5);
    EXPECT_EQ(r.readInt64(), 0x123456789LL);
    EXPECT_EQ(r.readDouble(), 2.5);
    EXPECT_EQ(r.readByteArray(), QByteArray("abcde"));
    EXPECT_EQ(count(QtDebugMsg, QStringLiteral("ByteArray size read:")), 1);
    const QStringList list = r.readStringList();
    ASSERT_EQ(list.size(), 2);
    EXPECT_TRUE(list.at(1).isNull());

    // Counts below one are empty lists and consume nothing more.
    NovumParcel neg = over(Bytes().i32(-3).i32(7).b);
    EXPECT_TRUE(neg.readStringList().isEmpty());
    EXPECT_EQ(neg.readInt32(), 7);
}

TEST_F(ParcelTest, TaggedValues)
{
    Writer w;
    NovumParcel p(&w);
    p.writeValue(QVariant());
    p.writeValue(QVariant(QString()));
    p.writeValue(QVariant(QStringLiteral("s")));
    p.writeValue(QVariant(7u));
    p.writeValue(QVariant(qlonglong(-2)));
    p.writeValue(QVariant(qulonglong(3)));
    p.writeValue(QVariant(true));
    p.writeValue(QVariant(QStringList{QStringLiteral("a")}));
    p.writeValue(QVariant(QUrl(QStringLiteral("content://x/1"))));
    Bytes e = Bytes().i32(-1).i32(-1).i32(0).s16(u"s").i32(1).i32(7).i32(6).i64(-2).i32(6).i64(3);
    e.i32(9).i32(1).i32(14).i32(1).s16(u"a");
    e.i32(4).s16(u"android.net.Uri").i32(1).s16(u"content://x/1");
    EXPECT_EQ(w.data(), e.b);

    NovumParcel r = over(w.data());
    EXPECT_FALSE(r.readValue().isValid());
    EXPECT_FALSE(r.readValue().isValid());
    EXPECT_EQ(r.readValue(), QVariant(QStringLiteral("s")));
    EXPECT_EQ(r.readValue(), QVariant(7));
    EXPECT_EQ(r.readValue(), QVariant(qlonglong(-2)));
    EXPECT_EQ(r.readValue(), QVariant(qlonglong(3)));
    EXPECT_EQ(r.readValue(), QVariant(true));
    EXPECT_EQ(r.readValue(), QVariant(QStringList{QStringLiteral("a")}));
    // Parcelables cannot be read back: logged, and nothing after them is
    // trusted.
    EXPECT_FALSE(r.readValue().isValid());
    EXPECT_EQ(count(QtCriticalMsg, QStringLiteral("Unsupported read bundle type! 4")), 1);
    EXPECT_TRUE(r.readString().isNull());
    EXPECT_TRUE(r.isMalformed());

    Writer d;
    NovumParcel(&d).writeValue(QVariant(1.5));
    double v = 1.5;
    int64_t bits;
    std::memcpy(&bits, &v, 8);
    EXPECT_EQ(d.data(), Bytes().i32(8).i64(bits).b);
    NovumParcel rd = over(d.data());
    EXPECT_EQ(rd.readValue(), QVariant(1.5));
}

TEST_F(ParcelTest, UnsupportedWritesKeepTheLayout)
{
    Writer w;
    NovumParcel p(&w);
    QVariantMap map;
    map.insert(QStringLiteral("a"), QVariantMap{{QStringLiteral("x"), 1}});
    map.insert(QStringLiteral("b"), QVariantList{QUrl(QStringLiteral("file:///f")), 5});
    map.insert(QStringLiteral("c"), 3);
    p.writeMap(map);
    EXPECT_EQ(count(QtCriticalMsg, QStringLiteral("Unsupported write bundle type! QVariantMap")), 1);
    EXPECT_EQ(count(QtCriticalMsg, QStringLiteral("Unsupported parcelable type! int")), 1);
    Bytes e = Bytes().i32(3).s16(u"a").i32(-1);
    e.s16(u"b").i32(16).i32(2).s16(u"android.net.Uri").i32(1).s16(u"file:///f").null16();
    e.s16(u"c").i32(1).i32(3);
    EXPECT_EQ(w.data(), e.b);
}

TEST_F(ParcelTest, MapsAndIntMaps)
{
    Writer w;
    NovumParcel p(&w);
    p.writeMap({{QStringLiteral("b"), 2}, {QStringLiteral("a"), QStringLiteral("x")}});
    p.writeIntMap({{5, true}, {-1, QVariant()}});
    Bytes e = Bytes().i32(2).s16(u"a").i32(0).s16(u"x").s16(u"b").i32(1).i32(2);
    e.i32(2).i32(-1).i32(-1).i32(5).i32(9).i32(1);
    EXPECT_EQ(w.data(), e.b);

    NovumParcel r = over(w.data());
    const QVariantMap m = r.readMap();
    EXPECT_EQ(m.value(QStringLiteral("a")), QVariant(QStringLiteral("x")));
    EXPECT_EQ(m.value(QStringLiteral("b")), QVariant(2));
    EXPECT_EQ(count(QtDebugMsg, QStringLiteral("Key:")), 2);
    const QMap<int, QVariant> im = r.readIntMap();
    ASSERT_EQ(im.size(), 2);
    EXPECT_FALSE(im.value(-1).isValid());
    EXPECT_EQ(im.value(5), QVariant(true));
    EXPECT_TRUE(r.atEnd());
}

TEST_F(ParcelTest, UriKinds)
{
    Writer w;
    NovumParcel p(&w);
    p.writeUri(QUrl());
    p.writeUri(QUrl(QString()));
    p.writeUri(QUrl::fromLocalFile(QStringLiteral("/a b/c")));
    EXPECT_EQ(w.data(), Bytes().i32(0).i32(0).i32(1).s16(u"file:///a%20b/c").b);
    NovumParcel r = over(w.data());
    EXPECT_TRUE(r.readUri().isEmpty());
    EXPECT_TRUE(r.readUri().isEmpty());
    EXPECT_EQ(r.readUri().toLocalFile(), QStringLiteral("/a b/c"));

    // Opaque: scheme, scheme-specific part, fragment.
    Bytes opaque = Bytes().i32(2).s16(u"mailto").i32(1).s16(u"a%40b.c").i32(2).s16(u"x y").i32(7);
    NovumParcel o = over(opaque.b);
    const QUrl ou = o.readUri();
    EXPECT_EQ(ou.scheme(), QStringLiteral("mailto"));
    EXPECT_EQ(ou.path(), QStringLiteral("a@b.c"));
    EXPECT_EQ(ou.fragment(QUrl::FullyDecoded), QStringLiteral("x y"));
    EXPECT_EQ(o.readInt32(), 7);

    // Hierarchical, each part in another representation; the "both" form
    // carries two strings and both are consumed.
    Bytes h = Bytes().i32(3).s16(u"content");
    h.i32(0).s16(u"media").s16(u"media");
    h.i32(0).s16(u"/ext/a%20b").s16(u"/ext/a b");
    h.i32(1).s16(u"q=1%262");
    h.i32(2).null16();
    h.i32(7);
    NovumParcel hp = over(h.b);
    const QUrl hu = hp.readUri();
    EXPECT_EQ(hu.scheme(), QStringLiteral("content"));
    EXPECT_EQ(hu.host(), QStringLiteral("media"));
    EXPECT_EQ(hu.path(QUrl::FullyDecoded), QStringLiteral("/ext/a b"));
    EXPECT_EQ(hu.query(QUrl::FullyDecoded), QStringLiteral("q=1&2"));
    EXPECT_FALSE(hu.hasFragment());
    EXPECT_EQ(hp.readInt32(), 7);

    // A "both" part whose decoded string is missing falls back to decoding
    // the encoded one.
    Bytes f = Bytes().i32(3).null16().i32(2).s16(u"").i32(0).s16(u"/x%2By").null16();
    f.i32(2).null16().i32(2).null16().i32(7);
    NovumParcel fp = over(f.b);
    EXPECT_EQ(fp.readUri().path(), QStringLiteral("/x+y"));
    EXPECT_EQ(fp.readInt32(), 7);

    // Unknown kinds are empty.
    NovumParcel k = over(Bytes().i32(9).i32(7).b);
    EXPECT_TRUE(k.readUri().isEmpty());
    EXPECT_EQ(k.readInt32(), 7);
}

namespace {

Intent sampleIntent()
{
    Intent i(QStringLiteral("android.intent.action.VIEW"));
    i.data = QUrl(QStringLiteral("https://example.org/x"));
    i.type = QStringLiteral("text/html");
    i.identifier = QStringLiteral("id1");
    i.flags = 0x10004000;
    i.package = QStringLiteral("org.example");
    i.componentPackage = QStringLiteral("org.example");
    i.componentClass = QStringLiteral("org.example.Main");
    i.setBounds(1, 2, 3, 4);
    i.categories = QStringList{QStringLiteral("android.intent.category.BROWSABLE")};
    i.contentUserHint = 10;
    return i;
}

// The fields after the identifier, as Android lays them out.
Bytes sampleTail()
{
    return Bytes()
        .i32(0x10004000)
        .s16(u"org.example")
        .s16(u"org.example")
        .s16(u"org.example.Main")
        .i32(1).i32(1).i32(2).i32(3).i32(4)
        .i32(1).s16(u"android.intent.category.BROWSABLE")
        .i32(0) // selector
        .i32(0) // clip data
        .i32(10);
}

Bytes sampleHead()
{
    return Bytes().s16(u"android.intent.action.VIEW").i32(1).s16(u"https://example.org/x").s16(u"text/html");
}

} // namespace

TEST_F(ParcelTest, IntentLayoutFollowsSdkLevel)
{
    const Intent i = sampleIntent();

    useSdk(28);
    Writer w28;
    NovumParcel(&w28).writeIntent(i);
    EXPECT_EQ(w28.data(), sampleHead().append(sampleTail()).i32(-1).b);
    NovumParcel r28 = over(w28.data());
    const Intent back28 = r28.readIntent();
    EXPECT_TRUE(back28.identifier.isNull());
    EXPECT_EQ(back28.componentClass, i.componentClass);
    EXPECT_TRUE(r28.atEnd());
    EXPECT_FALSE(r28.isMalformed());

    useSdk(29);
    Writer w29;
    Intent withExtras = i;
    withExtras.extras.insert(QStringLiteral("a"), 1);
    NovumParcel(&w29).writeIntent(withExtras);
    EXPECT_EQ(w29.data(), sampleHead().s16(u"id1").append(sampleTail()).append(bundleA1()).b);
    NovumParcel r29 = over(w29.data());
    const Intent back = r29.readIntent();
    EXPECT_EQ(back.action, i.action);
    EXPECT_EQ(back.data, i.data);
    EXPECT_EQ(back.type, i.type);
    EXPECT_EQ(back.identifier, QStringLiteral("id1"));
    EXPECT_EQ(back.flags, i.flags);
    EXPECT_EQ(back.package, i.package);
    EXPECT_EQ(back.componentPackage, i.componentPackage);
    EXPECT_EQ(back.componentClass, i.componentClass);
    EXPECT_TRUE(back.hasBounds());
    EXPECT_EQ(back.right, 3);
    EXPECT_EQ(back.categories, i.categories);
    EXPECT_EQ(back.contentUserHint, 10);
    EXPECT_EQ(back.extras, withExtras.extras);
    EXPECT_TRUE(r29.atEnd());

    // A null identifier is still written on 29.
    Writer n;
    NovumParcel(&n).writeIntent(Intent());
    EXPECT_EQ(n.data(), Bytes().null16().i32(0).null16().null16().i32(0).null16().null16()
                            .i32(0).i32(0).i32(0).i32(0).i32(-2).i32(-1).b);
}

TEST_F(ParcelTest, IntentComponentAndSelector)
{
    // An empty package is sent as no component at all: Android reads a
    // class after every non-null package.
    Intent i;
    i.componentPackage = QLatin1String("");
    i.componentClass = QStringLiteral("C");
    Intent sel(QStringLiteral("sel"));
    i.setSelector(sel);
    Writer w;
    NovumParcel(&w).writeIntent(i);
    NovumParcel r = over(w.data());
    const Intent back = r.readIntent();
    EXPECT_TRUE(back.componentPackage.isNull());
    EXPECT_TRUE(back.componentClass.isNull());
    ASSERT_TRUE(back.selector);
    EXPECT_EQ(back.selector->action, QStringLiteral("sel"));
    EXPECT_TRUE(r.atEnd());
    EXPECT_FALSE(r.isMalformed());

    // Android's empty-but-present package is followed by its class.
    Bytes b = Bytes().null16().i32(0).null16().null16().i32(0).null16().s16(u"").s16(u"C")
                  .i32(0).i32(0).i32(0).i32(0).i32(-2).i32(-1).i32(7);
    NovumParcel a = over(b.b);
    EXPECT_EQ(a.readIntent().componentClass, QStringLiteral("C"));
    EXPECT_EQ(a.readInt32(), 7);

    const Intent copy = back;
    ASSERT_TRUE(copy.selector);
    EXPECT_NE(copy.selector.get(), back.selector.get());
    EXPECT_TRUE(copy.toString().contains(QStringLiteral("Selector: Intent: action:sel")));
}

TEST_F(ParcelTest, ClipDataWithAndWithoutItemIntents)
{
    ClipData clip;
    clip.label = QStringLiteral("L");
    clip.mimeTypes = QStringList{QStringLiteral("text/plain")};
    clip.timestamp = 42;
    clip.icon = QByteArray("ic");
    ClipDataItem plain;
    plain.text = QStringLiteral("t");
    plain.uri = QUrl(QStringLiteral("content://a/b"));
    ClipDataItem withIntent;
    withIntent.htmlText = QStringLiteral("<b>");
    withIntent.setIntent(Intent(QStringLiteral("act")));
    clip.items = {plain, withIntent};

    useSdk(28);
    Writer w;
    NovumParcel(&w).writeClipData(clip);
    Bytes e = Bytes().s16(u"L").i32(1).s16(u"text/plain").i32(4).i32(0x4C444E42).i32(0).i64(42);
    e.i32(2).b.insert(e.b.end(), {'i', 'c', 0, 0});
    e.i32(2);
    e.s16(u"t").null16().i32(0).i32(1).s16(u"content://a/b");
    e.null16().s16(u"<b>").i32(1);
    e.s16(u"act").i32(0).null16().i32(0).null16().null16().i32(0).i32(0).i32(0).i32(0).i32(-2).i32(-1);
    e.i32(0);
    EXPECT_EQ(w.data(), e.b);

    NovumParcel r = over(w.data());
    const ClipData back = r.readClipData();
    EXPECT_EQ(back.label, QStringLiteral("L"));
    EXPECT_EQ(back.mimeTypes, clip.mimeTypes);
    EXPECT_EQ(back.timestamp, 42);
    EXPECT_EQ(back.icon, QByteArray("ic"));
    ASSERT_EQ(back.items.size(), 2);
    EXPECT_FALSE(back.items.at(0).intent);
    EXPECT_EQ(back.items.at(0).uri, plain.uri);
    ASSERT_TRUE(back.items.at(1).intent);
    EXPECT_EQ(back.items.at(1).intent->action, QStringLiteral("act"));
    EXPECT_TRUE(back.items.at(1).uri.isEmpty());
    EXPECT_TRUE(r.atEnd());
    EXPECT_FALSE(r.isMalformed());

    // Inside an intent.
    Intent i(QStringLiteral("send"));
    i.setClipData(clip);
    Writer wi;
    NovumParcel(&wi).writeIntent(i);
    NovumParcel ri = over(wi.data());
    const Intent bi = ri.readIntent();
    ASSERT_TRUE(bi.clipData);
    EXPECT_EQ(bi.clipData->items.size(), 2);
    EXPECT_EQ(bi.contentUserHint, -2);
    EXPECT_TRUE(ri.atEnd());
    EXPECT_TRUE(bi.toString().contains(QStringLiteral("  Clipdata: label:L")));
    EXPECT_TRUE(bi.toString().contains(QStringLiteral("ClipDataItem intent: Intent: action:act")));
}

TEST_F(ParcelTest, UnsupportedValueInsideBundleCostsOnlyTheBundle)
{
    // A parcelable in a bundle (Android's own Uri extra, say) cannot be read,
    // but the bundle's length still tells where the next field starts.
    Bytes b = Bytes().i32(0).i32(0x4C444E42);
    Bytes body = Bytes().i32(2).s16(u"a").i32(4).s16(u"android.net.Uri").i32(1).s16(u"x:y")
                     .s16(u"b").i32(1).i32(5);
    b.b[0] = uint8_t(body.b.size());
    b.append(body).i32(7);
    NovumParcel p = over(b.b);
    const QVariantMap m = p.readBundle();
    EXPECT_TRUE(m.contains(QStringLiteral("a")));
    EXPECT_FALSE(m.value(QStringLiteral("a")).isValid());
    EXPECT_EQ(p.readInt32(), 7);

    // Without a length (a plain map) there is no way back.
    Bytes mb = Bytes().i32(2).s16(u"a").i32(4).s16(u"android.net.Uri").i32(1).s16(u"x:y")
                   .s16(u"b").i32(1).i32(5).i32(7);
    NovumParcel q = over(mb.b);
    EXPECT_EQ(q.readMap().size(), 1);
    EXPECT_EQ(q.readInt32(), -1);
}

TEST_F(ParcelTest, HostileCountsAndLengths)
{
    // Counts far beyond the data: read what fits, then stop.
    NovumParcel list = over(Bytes().i32(0x7fffffff).s16(u"a").s16(u"b").b);
    EXPECT_LE(list.readStringList().size(), 2);
    EXPECT_TRUE(list.isMalformed());
    EXPECT_EQ(list.readInt32(), -1);

    NovumParcel map = over(Bytes().i32(0x7fffffff).s16(u"k").i32(1).i32(1).b);
    EXPECT_LE(map.readMap().size(), 1);
    EXPECT_EQ(map.readInt32(), -1);

    NovumParcel intMap = over(Bytes().i32(0x7fffffff).i32(1).i32(1).i32(1).b);
    EXPECT_LE(intMap.readIntMap().size(), 1);
    EXPECT_EQ(intMap.readInt32(), -1);

    NovumParcel bundleCount = over(Bytes().i32(12).i32(0x4C444E42).i32(0x7fffffff).i32(0).i32(0).b);
    EXPECT_TRUE(bundleCount.readBundle().size() <= 1);
    EXPECT_EQ(bundleCount.readInt32(), -1);

    // A length larger than the parcel.
    NovumParcel longBundle = over(Bytes().i32(0x7ffffff0).i32(0x4C444E42).i32(1).s16(u"a").i32(1).i32(1).b);
    EXPECT_TRUE(longBundle.readBundle().isEmpty());
    EXPECT_TRUE(longBundle.isMalformed());
    EXPECT_EQ(longBundle.readInt32(), -1);

    // A clip with a huge item count.
    Bytes clip = Bytes().null16().i32(0).i32(4).i32(0x4C444E42).i32(0).i64(0).i32(0).i32(0x7fffffff);
    clip.null16().null16().i32(0).i32(0);
    NovumParcel cp = over(clip.b);
    EXPECT_LE(cp.readClipData().items.size(), 1);
    EXPECT_EQ(cp.readInt32(), -1);

    // Lying lengths of strings and byte arrays.
    NovumParcel s = over(Bytes().i32(1000).i32(0x00410041).b);
    EXPECT_TRUE(s.readString().isNull());
    EXPECT_EQ(s.readInt32(), -1);
    NovumParcel ba = over(Bytes().i32(0x7fffffff).i32(1).b);
    EXPECT_TRUE(ba.readByteArray().isEmpty());
    EXPECT_EQ(ba.readInt32(), -1);
}

TEST_F(ParcelTest, TruncatedIntentsAnswerDefaults)
{
    Intent i = sampleIntent();
    i.extras.insert(QStringLiteral("a"), 1);
    ClipData clip;
    clip.items.append(ClipDataItem());
    i.setClipData(clip);
    i.setSelector(sampleIntent());
    Writer w;
    NovumParcel(&w).writeIntent(i);
    const std::vector<uint8_t> full = w.data();
    for (size_t cut = 0; cut < full.size(); ++cut) {
        NovumParcel r = over(std::vector<uint8_t>(full.begin(), full.begin() + cut));
        const Intent back = r.readIntent();
        EXPECT_TRUE(r.atEnd()) << cut;
        EXPECT_EQ(r.readInt32(), -1) << cut;
        if (cut < 4) {
            EXPECT_EQ(back.flags, 0);
        }
    }
    NovumParcel whole = over(full);
    EXPECT_EQ(whole.readIntent().extras.size(), 1);
}

TEST_F(ParcelTest, DeeplyNestedIntentsAreRefused)
{
    // Every level is a selector of the one before: a stack-exhaustion
    // attempt. The codec gives up after a few levels.
    Bytes one = Bytes().null16().i32(0).null16().null16().i32(0).null16().null16().i32(0).i32(0);
    Bytes b;
    const int levels = 20000;
    for (int n = 0; n < levels; ++n)
        b.append(one).i32(1);
    NovumParcel p = over(b.b);
    const Intent back = p.readIntent();
    int depth = 0;
    for (const Intent *s = back.selector.get(); s; s = s->selector.get())
        ++depth;
    EXPECT_LT(depth, 16);
    EXPECT_TRUE(p.isMalformed());
    EXPECT_EQ(p.readInt32(), -1);
}

TEST_F(ParcelTest, RandomBytesNeverCrashOrRunAway)
{
    // Garbage shaped like parcels: small numbers, bundle magics, string
    // lengths and huge counts, in random order. Every read must end within
    // the data, whatever it says.
    const int32_t words[] = {0, 1, 2, 3, 4, 6, 8, 9, 14, 16, -1, -2, 0x4C444E42, 0x7fffffff,
                             int32_t(0x80000000), 0x00610061, 12, 20, 1000};
    uint32_t seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int round = 0; round < 3000; ++round) {
        Bytes b;
        const int n = int(next() % 64);
        for (int i = 0; i < n; ++i)
            b.i32(next() % 4 ? words[next() % (sizeof words / sizeof *words)] : int32_t(next()));
        if (next() % 2 && !b.b.empty())
            b.b.resize(b.b.size() - next() % 4);
        for (int what = 0; what < 5; ++what) {
            NovumParcel p = over(b.b);
            switch (what) {
            case 0: p.readIntent(); break;
            case 1: p.readClipData(); break;
            case 2: p.readBundle(); break;
            case 3: p.readMap(); break;
            case 4: p.readUri(); p.readValue(); p.readIntMap(); break;
            }
            EXPECT_LE(reader->position(), data.size());
        }
    }
    log.clear();
}
