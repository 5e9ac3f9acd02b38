// How the bridge decides and maps: blacklist, category, colour, feedback
// hints, progress, priority and urgency, re-post comparison, icon files.
#include "logcapture.h"
#include "notification.h"
#include "notificationblacklist.h"
#include "notificationbuilder.h"
#include "notificationcomparison.h"
#include "notificationiconcache.h"
#include "notificationrecord.h"

#include <QBuffer>
#include <QDateTime>
#include <QImage>

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(NotificationBlacklist, Decisions)
{
    NotificationBlacklist list;
    list.parse(QStringLiteral("  com.all  \n"
                              "com.plus:+keep,also\n"
                              "com.minus:-drop\n"
                              "com.lone:+\n"
                              "com.empty:-a,,b\n"
                              "com.later:+old\n"
                              "com.later:+new\n"));
    const struct
    {
        const char *package;
        const char *channel;
        bool blocked;
    } cases[] = {
        {"com.all", "", true},         {"com.all", "any", true},       {"com.all ", "any", false},
        {"com.plus", "keep", false},   {"com.plus", "also", false},    {"com.plus", "other", true},
        {"com.plus", "", true},        {"com.minus", "drop", true},    {"com.minus", "other", false},
        {"com.minus", "", false},      {"com.lone", "", false},        {"com.lone", "x", true},
        {"com.empty", "", true},       {"com.empty", "a", true},       {"com.empty", "c", false},
        {"com.later", "new", false},   {"com.later", "old", true},     {"COM.ALL", "x", false},
        {"com.unknown", "x", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(list.blocks(c.package, c.channel), c.blocked) << c.package << " / " << c.channel;
}

TEST(NotificationBlacklist, BadLinesAreLoggedAndSkipped)
{
    const struct
    {
        const char *line;
        const char *message;
    } cases[] = {
        {"", "Bad blacklist entry: "},
        {"   ", "Bad blacklist entry: "},
        {":+a", "Bad blacklist entry: :+a"},
        {"p:", "Bad blacklist entry: p:"},
        {"p:+a:b", "Bad blacklist entry: p:+a:b"},
        {"p:*a", "Bad exception syntax in blacklist entry: *a"},
    };
    for (const auto &c : cases) {
        LogCapture log;
        NotificationBlacklist list;
        list.parseLine(QString::fromLatin1(c.line));
        EXPECT_EQ(log.count(QtCriticalMsg, c.message), 1) << c.line;
        EXPECT_TRUE(list.blockedPackages().isEmpty() && list.allowedPackages().isEmpty()) << c.line;
    }
    // Within a file an empty line is a bad entry too; the final newline is not.
    LogCapture log;
    NotificationBlacklist list;
    list.parse(QStringLiteral("a\n\nb\n"));
    EXPECT_EQ(log.count(QtCriticalMsg, "Bad blacklist entry"), 1);
    EXPECT_TRUE(list.blocks("a", "") && list.blocks("b", ""));
    list.load(QStringLiteral("/nonexistent/notif-blacklist"));
    EXPECT_EQ(list.blockedPackages().size(), 2);
}

TEST(NotificationBuilder, CategoriesColoursUrgency)
{
    const struct
    {
        const char *android, *host, *feedback;
    } categories[] = {
        {"msg", "chat", "chat"},          {"event", "calendar", "calendar"}, {"email", "email", "email"},
        {"alarm", "clock", "clock"},      {"reminder", "clock", "clock"},    {"Msg", "Msg", ""},
        {"social", "social", ""},         {"", "", ""},
    };
    for (const auto &c : categories) {
        EXPECT_EQ(NotificationBuilder::hostCategory(c.android), c.host) << c.android;
        EXPECT_EQ(NotificationBuilder::feedback(c.android), c.feedback) << c.android;
    }

    EXPECT_EQ(NotificationBuilder::colorHint(0), "auto");
    EXPECT_EQ(NotificationBuilder::colorHint(int32_t(0xff102030)), "#102030");
    EXPECT_EQ(NotificationBuilder::colorHint(0x00abcdef), "#abcdef");
    EXPECT_EQ(NotificationBuilder::colorHint(-1), "#ffffff");
    EXPECT_EQ(NotificationBuilder::colorHint(0x01000000), "#000000");

    const int max = std::numeric_limits<int>::max(), min = std::numeric_limits<int>::min();
    const struct
    {
        int32_t importance;
        Notification::Urgency urgency;
        int priority;
    } levels[] = {
        {min, Notification::Normal, min}, {-3, Notification::Normal, -75}, {-1, Notification::Normal, -25},
        {0, Notification::Low, 0},        {1, Notification::Low, 25},      {2, Notification::Normal, 50},
        {3, Notification::Normal, 75},    {4, Notification::Critical, 100}, {5, Notification::Critical, 125},
        {6, Notification::Normal, 150},   {max, Notification::Normal, max},
    };
    for (const auto &l : levels) {
        EXPECT_EQ(NotificationBuilder::urgency(l.importance), l.urgency) << l.importance;
        EXPECT_EQ(NotificationBuilder::priority(l.importance), l.priority) << l.importance;
    }
}

TEST(NotificationBuilder, FeedbackAndProgressHints)
{
    const struct
    {
        bool silent, vibrate;
        QVariant sound, vibrateHint, displayOn;
    } feedback[] = {
        {false, false, {}, {}, true},
        {false, true, {}, true, true},
        {true, false, true, {}, {}},
        {true, true, true, true, true},
    };
    for (const auto &f : feedback) {
        NotificationRecord r;
        r.silent = f.silent;
        r.vibrate = f.vibrate;
        Notification n;
        NotificationBuilder::fill(&n, r);
        EXPECT_EQ(n.hintValue("suppress-sound"), f.sound) << f.silent << f.vibrate;
        EXPECT_EQ(n.hintValue("x-nemo-vibrate"), f.vibrateHint) << f.silent << f.vibrate;
        EXPECT_EQ(n.hintValue("x-nemo-display-on"), f.displayOn) << f.silent << f.vibrate;
    }

    const struct
    {
        int32_t max, progress;
        bool indeterminate;
        QVariant hint;
    } progress[] = {
        {0, 5, false, {}}, {-1, 5, false, {}}, {0, 0, true, -1.0}, {100, 40, true, -1.0},
        {200, 50, false, 0.25}, {10, 10, false, 1.0},
    };
    for (const auto &p : progress) {
        NotificationRecord r;
        r.progressMax = p.max;
        r.progress = p.progress;
        r.progressIndeterminate = p.indeterminate;
        EXPECT_EQ(NotificationBuilder::progress(r), p.hint) << p.max << " " << p.progress;
    }
}

TEST(NotificationBuilder, AbsentValuesSetNothing)
{
    NotificationRecord bare;
    bare.postTime = -1;   // as a record cut short reads it
    Notification n;
    NotificationBuilder::fill(&n, bare);
    for (const char *hint : {"x-nemo-feedback", "x-nemo-led-argb", "x-nemo-progress", "x-nemo-item-count",
                             "x-nemo-timestamp"})
        EXPECT_FALSE(n.hintValue(hint).isValid()) << hint;
    ASSERT_EQ(n.remoteActions().size(), 1);
    EXPECT_EQ(n.remoteActions().first().toMap().value("name"), "app");
}

TEST(NotificationComparison, NamesEachChangedField)
{
    NotificationRecord r;
    r.title = "T";
    r.text = "B";
    r.importance = 3;
    Notification a, same;
    NotificationBuilder::fill(&a, r);
    NotificationBuilder::fill(&same, r);
    // Fields outside the comparison do not count.
    same.setSubText("other");
    same.setAppIcon("/x.png");
    EXPECT_TRUE(NotificationComparison::differences(a, same).isEmpty());

    const struct
    {
        const char *field;
        std::function<void(NotificationRecord &)> change;
    } changes[] = {
        {"summary", [](NotificationRecord &x) { x.title = "T2"; }},
        {"body", [](NotificationRecord &x) { x.text = "B2"; }},
        {"timestamp", [](NotificationRecord &x) { x.postTime = 5000; }},
        {"itemCount", [](NotificationRecord &x) { x.number = 2; }},
        {"color", [](NotificationRecord &x) { x.color = 1; }},
        {"led-argb", [](NotificationRecord &x) { x.ledColor = 1; }},
        {"progress", [](NotificationRecord &x) { x.progressMax = 4, x.progress = 1; }},
        {"priority", [](NotificationRecord &x) { x.importance = 4; }},
    };
    for (const auto &c : changes) {
        NotificationRecord changed = r;
        c.change(changed);
        Notification b;
        NotificationBuilder::fill(&b, changed);
        const QStringList diff = NotificationComparison::differences(a, b);
        ASSERT_EQ(diff.size(), 1) << c.field << ": " << qPrintable(diff.join('|'));
        EXPECT_TRUE(diff.first().startsWith(c.field)) << qPrintable(diff.first());
    }
}

TEST(NotificationIconCache, FileNamesStayInTheDirectory)
{
    NotificationIconCache cache("/cache/icons");
    const QString base = "/cache/icons/";
    const struct
    {
        QString key, file;
    } names[] = {
        {"0|com.example|1|null|10001", "0_com.example_1_null_10001.png"},
        {"../../etc/passwd", ".._.._etc_passwd.png"},
        {"a\nb\rc", "a_b_c.png"},
        {QString("x") + QChar(0) + "y", "x_y.png"},
        {"..", "...png"},
    };
    for (const auto &n : names)
        EXPECT_EQ(cache.path(n.key), base + n.file);
    // Too long for a file name: the hex SHA-1.
    EXPECT_EQ(cache.path(QString(300, QChar(0x00e9))).size(), base.size() + 40 + 4);
}

TEST(NotificationBuilder, HugePicturesAreNotDecoded)
{
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    QByteArray png;
    QBuffer buffer(&png);
    image.save(&buffer, "PNG");
    // A small PNG that claims a huge picture is not decoded.
    EXPECT_EQ(NotificationBuilder::decodeIcon(QString::fromLatin1(png.toBase64())).size(), QSize(4, 4));
    QByteArray bomb = png;
    bomb.replace(16, 8, QByteArray::fromHex("0000fff00000fff0"));   // IHDR width and height
    EXPECT_TRUE(NotificationBuilder::decodeIcon(QString::fromLatin1(bomb.toBase64())).isNull());
    EXPECT_TRUE(NotificationBuilder::decodeIcon("not an image").isNull());
}

} // namespace
