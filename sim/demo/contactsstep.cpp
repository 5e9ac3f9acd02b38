#include "contactsstep.h"

#include "runtimesimclient.h"
#include "testworld.h"

#include <QContactBirthday>
#include <QContactEmailAddress>
#include <QContactManager>
#include <QContactName>
#include <QContactPhoneNumber>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

using namespace QtContacts;

namespace {

const QString kService = QStringLiteral("novum.contacts");

int fail(const std::function<void(const QString &)> &say, const QString &why)
{
    say(QStringLiteral("FAILED: ") + why);
    return 1;
}

QString describe(const QJsonObject &record)
{
    QStringList rows;
    for (const QJsonValue &row : record.value(QStringLiteral("rows")).toArray()) {
        QStringList pairs;
        for (const QJsonValue &pair : row.toObject().value(QStringLiteral("pairs")).toArray())
            pairs << pair.toArray().at(0).toString() + '=' + pair.toArray().at(1).toString();
        rows << row.toObject().value(QStringLiteral("mime")).toString().section('/', 1) + " {" + pairs.join(", ") + '}';
    }
    QString text = QStringLiteral("code %1, operation %2, id %3")
                       .arg(record.value(QStringLiteral("code")).toInt())
                       .arg(record.value(QStringLiteral("operation")).toInt())
                       .arg(record.value(QStringLiteral("id")).toString());
    if (record.contains(QStringLiteral("flags")))
        text += QStringLiteral(", push flags %1").arg(record.value(QStringLiteral("flags")).toInt());
    return text + QStringLiteral(", %1 rows").arg(rows.size()) + (rows.isEmpty() ? QString() : ": " + rows.join("; "));
}


} // namespace

int showContactsThroughBridge(TestWorld &world, const RuntimeSimClient &sim, const QString &dir,
                              const std::function<void(const QString &)> &say)
{
    // The host's contacts store: the engine plug-in of this build, its
    // database in a private data folder shared with the bridge.
    const QString data = dir + QStringLiteral("/contacts-data");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    QCoreApplication::addLibraryPath(QStringLiteral(FERRY_PLUGIN_DIR));
    QContactManager manager(QStringLiteral("org.nemomobile.contacts.sqlite"));
    if (manager.managerName() != QLatin1String("org.nemomobile.contacts.sqlite"))
        return fail(say, QStringLiteral("the contacts store plug-in did not load"));

    QContact ada;
    QContactName name;
    name.setFirstName(QStringLiteral("Ada"));
    name.setLastName(QStringLiteral("Lovelace"));
    ada.saveDetail(&name);
    QContactPhoneNumber phone;
    phone.setNumber(QStringLiteral("+44 20 7946 0018"));
    phone.setSubTypes({QContactPhoneNumber::SubTypeMobile});
    phone.setContexts(QContactDetail::ContextWork);
    ada.saveDetail(&phone);
    QContactEmailAddress email;
    email.setEmailAddress(QStringLiteral("ada@example.org"));
    email.setContexts(QContactDetail::ContextHome);
    ada.saveDetail(&email);
    QContact alan;
    name.setFirstName(QStringLiteral("Alan"));
    name.setLastName(QStringLiteral("Turing"));
    alan.saveDetail(&name);
    QContactBirthday birthday;
    birthday.setDate(QDate(1912, 6, 23));
    alan.saveDetail(&birthday);
    if (!manager.saveContact(&ada) || !manager.saveContact(&alan))
        return fail(say, QStringLiteral("could not save the contacts"));
    say(QStringLiteral("contacts: saved Ada Lovelace and Alan Turing in the host address book through QtContacts"));

    if (!sim.command({{"cmd", "info"}}).value(QStringLiteral("services")).toArray().contains(kService)
        && !sim.command({{"cmd", "publish"}, {"service", kService}}).value(QStringLiteral("ok")).toBool())
        return fail(say, QStringLiteral("the runtime could not publish novum.contacts"));
    const qint64 bridge = world.startProcess(QStringLiteral(FERRY_BRIDGE_BIN), {},
                                             {QStringLiteral("XDG_DATA_HOME=") + data,
                                              QStringLiteral("QT_PLUGIN_PATH=" FERRY_PLUGIN_DIR)});
    if (!bridge)
        return fail(say, QStringLiteral("ferryd-bridge did not start"));
    say(QStringLiteral("contacts: started ferryd-bridge (pid %1)").arg(bridge));
    if (!TestWorld::waitFor([&] { return !sim.transactions(kService, 1).isEmpty(); }, 20000))
        return fail(say, QStringLiteral("the bridge never asked novum.contacts whether it is ready"));
    say(QStringLiteral("contacts: the bridge asked novum.contacts whether it is ready; the runtime answered %1 "
                       "(not yet), so it asks again every second")
            .arg(sim.transactions(kService, 1).first().value(QStringLiteral("readiness")).toInt()));

    const QJsonObject ready{{"cmd", "call"}, {"service", kService}, {"code", 0x5eed0001},
                            {"interface", "novum.contacts.INovumContacts"}, {"args", QJsonArray{QJsonObject{{"i32", 1}}}}};
    if (sim.command(ready).value(QStringLiteral("status")).toInt(-1) != 0)
        return fail(say, QStringLiteral("could not make novum.contacts ready"));
    if (!TestWorld::waitFor([&] { return sim.transactions(kService, 4).size() >= 2; }, 20000))
        return fail(say, QStringLiteral("the full push did not arrive"));
    say(QStringLiteral("contacts: novum.contacts is ready; the full push delivered:"));
    for (const QJsonObject &record : sim.transactions(kService, 4))
        say(QStringLiteral("    ") + describe(record));

    if (!manager.removeContact(alan.id()))
        return fail(say, QStringLiteral("could not remove a contact"));
    if (!TestWorld::waitFor([&] { return !sim.transactions(kService, 3).isEmpty(); }, 20000))
        return fail(say, QStringLiteral("the removal did not arrive"));
    say(QStringLiteral("contacts: removed Alan Turing on the host; Android received ")
        + describe(sim.transactions(kService, 3).first()));
    if (!world.stopProcess(bridge, 5000))
        return fail(say, QStringLiteral("ferryd-bridge did not stop"));
    return 0;
}
