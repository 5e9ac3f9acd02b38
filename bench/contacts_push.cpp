// A full push of the host address book by ferryd-bridge: 5 000 contacts
// (name, mobile number, e-mail address, birthday) saved through
// QContactManager, then the simulated "novum.contacts" says it is ready and
// the bridge sends them one request at a time.
//
//   contacts_push [COUNT]      (guest only: it needs the binder driver)
//
// Prints name=value lines: the contacts pushed, the time from the readiness
// answer to the last record's arrival (as the simulated service logged
// them), records per second, the CPU time the bridge spent meanwhile, and
// its resident memory before the push and at its peak (VmHWM) after it.
#include "contactsworld.h"

#include <QContactBirthday>
#include <QContactEmailAddress>
#include <QContactName>
#include <QContactPhoneNumber>

#include <QThread>

#include <cstdio>
#include <unistd.h>

using namespace QtContacts;

namespace {

int fail(const char *why)
{
    std::fprintf(stderr, "contacts_push: %s\n", why);
    return 1;
}

long statusKiB(qint64 pid, const char *field)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// User plus system CPU time of a process so far.
double cpuMs(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // Fields after the command name, which ends with the last ')'.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return (fields.at(11).toLongLong() + fields.at(12).toLongLong()) * 1000.0 / sysconf(_SC_CLK_TCK);
}

QList<QContact> addressBook(int count)
{
    QList<QContact> list;
    for (int i = 0; i < count; ++i) {
        QContact c;
        QContactName name;
        name.setFirstName(QStringLiteral("First%1").arg(i));
        name.setLastName(QStringLiteral("Last%1").arg(i));
        c.saveDetail(&name);
        QContactPhoneNumber phone;
        phone.setNumber(QStringLiteral("+49170%1").arg(i, 7, 10, QLatin1Char('0')));
        phone.setSubTypes({QContactPhoneNumber::SubTypeMobile});
        c.saveDetail(&phone);
        QContactEmailAddress email;
        email.setEmailAddress(QStringLiteral("person%1@example.org").arg(i));
        email.setContexts(QContactDetail::ContextHome);
        c.saveDetail(&email);
        QContactBirthday birthday;
        birthday.setDate(QDate(1970, 1, 1).addDays(i));
        c.saveDetail(&birthday);
        list << c;
    }
    return list;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 5000;
    if (count < 1)
        return fail("COUNT must be positive");

    ContactsWorld world;
    QString error;
    if (!world.start(&error))
        return fail(qPrintable(error));
    QList<QContact> contacts = addressBook(count);
    if (!world.manager->saveContacts(&contacts))
        return fail("could not save the address book");
    if (!world.sim.bringUp() || !world.startBridge(false))
        return fail("could not start the runtime or the bridge");
    if (!world.publish())
        return fail("could not publish novum.contacts");
    if (!TestWorld::waitFor([&] { return !world.received(1).isEmpty(); }, 20000))
        return fail("the bridge never asked whether the service is ready");
    const long rssBefore = statusKiB(world.bridgePid(), "VmRSS:");
    const double cpuBefore = cpuMs(world.bridgePid());
    if (!world.setReadiness(1))
        return fail("could not make the service ready");

    // Reads only what the log gained since the last look, so that the
    // waiting takes little from the bridge and the service being measured.
    QFile log(QStringLiteral("/tmp/ferry-simworld-%1/sim.log").arg(QCoreApplication::applicationPid()));
    if (!log.open(QIODevice::ReadOnly))
        return fail("no simulator log");
    QByteArray pending;
    bool ended = false;
    const bool done = TestWorld::waitFor([&] {
        QThread::msleep(100);
        pending += log.readAll();
        const int cut = pending.lastIndexOf('\n') + 1;
        for (const QByteArray &line : pending.left(cut).split('\n')) {
            if (line.contains("\"code\":4") && (line.contains("\"flags\":2") || line.contains("\"flags\":3")))
                ended = true;
        }
        pending = pending.mid(cut);
        return ended;
    }, 600000);
    if (!done)
        return fail("the push did not end");
    const long peak = statusKiB(world.bridgePid(), "VmHWM:");
    const double cpu = cpuMs(world.bridgePid()) - cpuBefore;

    double readyAt = 0;
    for (const QJsonObject &check : world.received(1)) {
        if (check.value(QStringLiteral("readiness")).toInt() > 0) {
            readyAt = check.value(QStringLiteral("time")).toDouble();
            break;
        }
    }
    const QList<QJsonObject> records = world.received(4);
    const double ms = records.last().value(QStringLiteral("time")).toDouble() - readyAt;
    std::printf("contacts=%d\n", count);
    std::printf("records=%d\n", int(records.size()));
    std::printf("push_ms=%.0f\n", ms);
    std::printf("records_per_s=%.0f\n", ms > 0 ? records.size() * 1000.0 / ms : 0.0);
    std::printf("bridge_cpu_ms=%.0f\n", cpu);
    std::printf("bridge_rss_before_kib=%ld\n", rssBefore);
    std::printf("bridge_peak_rss_kib=%ld\n", peak);
    std::fflush(stdout);
    world.stop();
    return records.size() == count ? 0 : fail("not every contact was pushed");
}
