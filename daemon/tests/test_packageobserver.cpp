// The install and delete observers: what Android's reports become, and
// requests that name no interface or another one.
#include "novumparcel.h"
#include "packageobserver.h"

#include <ferry/binder/reader.h>
#include <ferry/binder/writer.h>

#include <functional>

#include <gtest/gtest.h>

namespace {

struct Result
{
    QString kind;   // "install", "delete" or empty (nothing reported)
    bool success = false;
    QString package;
    QString msg;
};

// Runs one request through an observer of the given kind.
Result deliver(PackageObserver::Kind kind, const QString &interface, int32_t code,
               const std::function<void(NovumParcel &)> &fill, bool *handled)
{
    ferry::binder::Writer w;
    NovumParcel out(&w);
    fill(out);
    const std::vector<uint8_t> bytes = w.data();
    ferry::binder::Reader r(bytes.data(), bytes.size());
    NovumParcel in(&r);
    NovumParcel reply;
    PackageObserver observer(kind);
    Result result;
    QObject::connect(&observer, &PackageObserver::installationResultReceived,
                     [&](bool success, const QString &package, const QString &msg) {
                         result = {QStringLiteral("install"), success, package, msg};
                     });
    QObject::connect(&observer, &PackageObserver::uninstallationResultReceived,
                     [&](bool success, const QString &package) {
                         result = {QStringLiteral("delete"), success, package, QString()};
                     });
    *handled = observer.processRequestFor(interface, code, in, reply);
    return result;
}

const QString kInstall = QStringLiteral("android.content.pm.IPackageInstallObserver2");
const QString kDelete = QStringLiteral("android.content.pm.IPackageDeleteObserver");

void installed(NovumParcel &p, int32_t result, const QString &msg)
{
    p.writeString(QStringLiteral("com.example.app"));
    p.writeInt32(result);
    p.writeString(msg);
}

TEST(PackageObserver, ReportsAndRefusals)
{
    struct Case
    {
        const char *name;
        PackageObserver::Kind kind;
        QString interface;
        int32_t code;
        std::function<void(NovumParcel &)> fill;
        bool handled;
        Result expected;
    };
    const Case cases[] = {
        {"installed", PackageObserver::Install, kInstall, 2,
         [](NovumParcel &p) { installed(p, 1, QString()); p.writeInt32(0); }, true,
         {"install", true, "com.example.app", ""}},
        {"failed, Android's text", PackageObserver::Install, kInstall, 2,
         [](NovumParcel &p) { installed(p, -4, "Disk full"); p.writeInt32(0); }, true,
         {"install", false, "com.example.app", "Disk full"}},
        {"failed, own text", PackageObserver::Install, kInstall, 2,
         [](NovumParcel &p) { installed(p, -4, QString()); p.writeInt32(0); }, true,
         {"install", false, "com.example.app", "ferryd-install-fail-storage"}},
        // Android's empty extras: present, but written as the length 0 alone.
        {"empty extras", PackageObserver::Install, kInstall, 2,
         [](NovumParcel &p) { installed(p, 1, QString()); p.writeInt32(1); p.writeInt32(0); }, true,
         {"install", true, "com.example.app", ""}},
        {"user action", PackageObserver::Install, kInstall, 1, [](NovumParcel &) {}, true,
         {"install", false, "", "Package installation failed"}},
        {"unknown install code", PackageObserver::Install, kInstall, 3, [](NovumParcel &) {}, false, {}},
        {"deleted", PackageObserver::Delete, kDelete, 1,
         [](NovumParcel &p) { p.writeString("com.example.app"); p.writeInt32(1); }, true,
         {"delete", true, "com.example.app", ""}},
        {"unknown delete code", PackageObserver::Delete, kDelete, 2, [](NovumParcel &) {}, false, {}},
        // Results claimed under another interface, or none, report nothing.
        {"install under the delete interface", PackageObserver::Install, kDelete, 2,
         [](NovumParcel &p) { installed(p, 1, QString()); p.writeInt32(0); }, false, {}},
        {"install under a foreign interface", PackageObserver::Install, "android.os.IFoo", 1,
         [](NovumParcel &) {}, false, {}},
        {"delete under the install interface", PackageObserver::Delete, kInstall, 1,
         [](NovumParcel &p) { p.writeString("com.example.app"); p.writeInt32(1); }, false, {}},
        {"no interface", PackageObserver::Install, QString(), 2,
         [](NovumParcel &p) { installed(p, 1, QString()); p.writeInt32(0); }, true, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        bool handled = !c.handled;
        const Result r = deliver(c.kind, c.interface, c.code, c.fill, &handled);
        EXPECT_EQ(handled, c.handled);
        EXPECT_EQ(r.kind, c.expected.kind);
        EXPECT_EQ(r.success, c.expected.success);
        EXPECT_EQ(r.package, c.expected.package);
        EXPECT_EQ(r.msg, c.expected.msg);
    }
}

} // namespace
