#pragma once

// The host's file index for the file observer's tests, benchmark and demo:
// a real Tracker endpoint (tracker3 endpoint, nepomuk ontology) under the
// file miner's bus name on the world's session bus, changed with SPARQL
// updates as the miner makes them, so the change notices are Tracker's own.

#include "testworld.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>

#pragma push_macro("signals")
#undef signals
#include <libtracker-sparql/tracker-sparql.h>
#pragma pop_macro("signals")

class FileIndex
{
public:
    static constexpr const char *kService = "org.freedesktop.Tracker3.Miner.Files";

    ~FileIndex()
    {
        if (m_connection)
            g_object_unref(m_connection);
    }

    // Starts the endpoint in the world on a copy of the empty database the
    // build made (building the schema takes seconds in the guest).
    bool start(TestWorld &world, const QString &databaseDir)
    {
        QDir(databaseDir).removeRecursively();
        QDir().mkpath(databaseDir);
        const QDir empty(QStringLiteral(FERRY_FILE_INDEX_TEMPLATE));
        for (const QString &name : empty.entryList(QDir::Files))
            QFile::copy(empty.filePath(name), databaseDir + '/' + name);
        m_pid = world.startProcess(QStringLiteral("tracker3"),
                                   {"endpoint", "--session", "--ontology", "nepomuk", "--database", databaseDir,
                                    "--dbus-service", QString::fromLatin1(kService)});
        return m_pid != 0;
    }
    // Waits until the endpoint owns the miner's name and connects to it.
    bool ready(QString *error)
    {
        const auto owned = [] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(QString::fromLatin1(kService)).value();
        };
        GError *e = nullptr;
        if (m_pid && TestWorld::waitFor(owned, 30000))
            m_connection = tracker_sparql_connection_bus_new(kService, nullptr, nullptr, &e);
        *error = e ? QString::fromUtf8(e->message) : QStringLiteral("tracker3 endpoint did not start");
        g_clear_error(&e);
        return m_connection != nullptr;
    }
    qint64 pid() const { return m_pid; }

    // One SPARQL update, answered once the endpoint has stored it.
    bool update(const QString &sparql, QString *error = nullptr)
    {
        GError *e = nullptr;
        tracker_sparql_connection_update(m_connection, sparql.toUtf8().constData(), nullptr, &e);
        if (e && error)
            *error = QString::fromUtf8(e->message);
        const bool ok = !e;
        g_clear_error(&e);
        return ok;
    }

    // A file as the miner records it: its IRI is its encoded file:// URL.
    static QString insertFile(const QString &url, const QString &graph = QStringLiteral("tracker:FileSystem"))
    {
        const QString triples = QStringLiteral("<%1> a nfo:FileDataObject ; nie:url \"%1\" .").arg(url);
        return graph.isEmpty() ? QStringLiteral("INSERT DATA { %1 }").arg(triples)
                               : QStringLiteral("INSERT DATA { GRAPH %1 { %2 } }").arg(graph, triples);
    }

private:
    qint64 m_pid = 0;
    TrackerSparqlConnection *m_connection = nullptr;
};
