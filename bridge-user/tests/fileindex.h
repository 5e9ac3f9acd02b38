#pragma once

// The host's file index for the file observer's tests, benchmark and demo:
// a real Tracker SPARQL endpoint (tracker3 endpoint, nepomuk ontology, a
// database of its own) under the file miner's bus name on the world's
// session bus, and SPARQL updates into it made as the miner makes them, so
// that the change notices are Tracker's own.

#include "testworld.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QString>

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

    // Starts the endpoint as a process of the world (on its session bus)
    // on a copy of the build's empty database in databaseDir; ready()
    // waits for it.
    bool start(TestWorld &world, const QString &databaseDir)
    {
        QDir(databaseDir).removeRecursively();
        QDir().mkpath(databaseDir);
        for (const QString &name : QDir(QStringLiteral(FERRY_FILE_INDEX_TEMPLATE)).entryList(QDir::Files)) {
            if (!QFile::copy(QStringLiteral(FERRY_FILE_INDEX_TEMPLATE "/") + name, databaseDir + '/' + name))
                return false;
        }
        m_pid = world.startProcess(QStringLiteral("tracker3"),
                                   {QStringLiteral("endpoint"), QStringLiteral("--dbus-service"),
                                    QString::fromLatin1(kService), QStringLiteral("--ontology"),
                                    QStringLiteral("nepomuk"), QStringLiteral("--database"), databaseDir,
                                    QStringLiteral("--session")});
        return m_pid != 0;
    }
    // Waits until the endpoint owns the miner's name and connects to it.
    bool ready(QString *error)
    {
        const auto owned = [] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered(QString::fromLatin1(kService)).value();
        };
        if (!m_pid || !TestWorld::waitFor(owned, 30000)) {
            *error = QStringLiteral("tracker3 endpoint did not take %1").arg(QString::fromLatin1(kService));
            return false;
        }
        GError *e = nullptr;
        m_connection = tracker_sparql_connection_bus_new(kService, nullptr, nullptr, &e);
        if (!m_connection) {
            *error = QStringLiteral("no connection to the endpoint: %1").arg(QString::fromUtf8(e->message));
            g_error_free(e);
            return false;
        }
        return true;
    }
    qint64 pid() const { return m_pid; }

    // One SPARQL update, answered once the endpoint has stored it (and sent
    // its change notice).
    bool update(const QString &sparql, QString *error = nullptr)
    {
        GError *e = nullptr;
        tracker_sparql_connection_update(m_connection, sparql.toUtf8().constData(), nullptr, &e);
        if (e && error)
            *error = QString::fromUtf8(e->message);
        const bool ok = e == nullptr;
        g_clear_error(&e);
        return ok;
    }

    // A file as the file miner records it: a nfo:FileDataObject whose IRI
    // is its encoded file:// URL, in the file-system graph (or another).
    static QString insertFile(const QString &url, const QString &graph = QStringLiteral("tracker:FileSystem"))
    {
        const QString triples = QStringLiteral("<%1> a nfo:FileDataObject ; nie:url \"%1\" .").arg(url);
        if (graph.isEmpty())
            return QStringLiteral("INSERT DATA { %1 }").arg(triples);
        return QStringLiteral("INSERT DATA { GRAPH %1 { %2 } }").arg(graph, triples);
    }
    static QString deleteFile(const QString &url)
    {
        return QStringLiteral("DELETE DATA { GRAPH tracker:FileSystem { <%1> a rdfs:Resource } }").arg(url);
    }

private:
    qint64 m_pid = 0;
    TrackerSparqlConnection *m_connection = nullptr;
};
