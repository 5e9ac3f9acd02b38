#include "novumfileobserver.h"

#include "datapath.h"
#include "logging.h"
#include "novumbindertransaction.h"
#include "novumparcel.h"

#include <QDir>
#include <QUrl>

// GLib's headers name a structure member "signals", which Qt defines as a
// keyword.
#pragma push_macro("signals")
#undef signals
#include <libtracker-sparql/tracker-sparql.h>
#pragma pop_macro("signals")

#include <memory>

namespace {

const char kMinerService[] = "org.freedesktop.Tracker3.Miner.Files";

} // namespace

NovumFileObserver::NovumFileObserver(QObject *parent)
    : NovumBinderConnection(QStringLiteral("novum.media.file_observer"),
                            QStringLiteral("android.media.IMediaScannerService"), true, parent)
{
    GError *error = nullptr;
    m_tracker = tracker_sparql_connection_bus_new(kMinerService, nullptr, nullptr, &error);
    if (!m_tracker) {
        qCWarning(lcTracker) << "Error creating tracker connection:" << (error ? error->message : "");
        g_clear_error(&error);
    }
    connect(this, &NovumBinderConnection::connectionChanged, this, &NovumFileObserver::onServiceConnectionChanged);
    // A runtime that was up already got connected while the base was built.
    if (isConnected())
        onServiceConnectionChanged(true);
}

NovumFileObserver::~NovumFileObserver()
{
    disconnect(this, &NovumBinderConnection::connectionChanged, this, nullptr);
    releaseNotifier();
    if (m_tracker)
        g_object_unref(m_tracker);
}

void NovumFileObserver::onServiceConnectionChanged(bool connected)
{
    releaseNotifier();
    if (!connected || !m_tracker)
        return;
    m_notifier = tracker_sparql_connection_create_notifier(m_tracker);
    if (!m_notifier) {
        qCWarning(lcTracker) << "Couldn't create tracker notifier";
        return;
    }
    // The notifier's D-Bus subscription delivers through the GLib main
    // context, which Qt's event loop runs (as it does the binder library's
    // sources).
    m_eventsHandler = g_signal_connect(m_notifier, "events", G_CALLBACK(&NovumFileObserver::onEvents), this);
}

void NovumFileObserver::releaseNotifier()
{
    if (!m_notifier)
        return;
    if (m_eventsHandler)
        g_signal_handler_disconnect(m_notifier, m_eventsHandler);
    m_eventsHandler = 0;
    g_object_unref(m_notifier);
    m_notifier = nullptr;
}

void NovumFileObserver::onEvents(TrackerNotifier *notifier, const char *service, const char *graph,
                                 GPtrArray *events, void *self)
{
    Q_UNUSED(service);
    // Android going away while the events are sent releases the notifier;
    // both stay alive until this emission is over.
    g_object_ref(notifier);
    g_ptr_array_ref(events);
    static_cast<NovumFileObserver *>(self)->handleEvents(notifier, QString::fromUtf8(graph), events);
    g_ptr_array_unref(events);
    g_object_unref(notifier);
}

void NovumFileObserver::handleEvents(TrackerNotifier *notifier, const QString &graph, GPtrArray *events)
{
    qCDebug(lcTracker) << "Received tracker notification from " << graph;
    if (!isFileSystemGraph(graph)) {
        qCDebug(lcTracker) << "Ignoring tracker notification for non filesystem graph:" << graph;
        return;
    }
    for (guint i = 0; i < events->len; ++i) {
        // Once Android is gone the rest of the batch goes nowhere either.
        if (m_notifier != notifier || !isConnected())
            return;
        const char *urn = tracker_notifier_event_get_urn(static_cast<TrackerNotifierEvent *>(events->pdata[i]));
        if (urn)
            notifyScanner(QString::fromUtf8(urn));
    }
}

void NovumFileObserver::notifyScanner(const QString &urn)
{
    if (urn.size() > kMaxUrnLength) {
        qCDebug(lcTracker) << "Ignoring a tracker URN of" << urn.size() << "characters";
        return;
    }
    qCDebug(lcTracker) << "Notifying novum of " << urn;
    const QString url = androidMediaUrl(urn);
    if (url.isEmpty()) {
        qCDebug(lcTracker) << "Not a file Android can see:" << urn;
        return;
    }
    qCDebug(lcTracker) << "Android media path:" << url;
    std::unique_ptr<NovumBinderTransaction> t(newTransaction(ScanFileCode, true));
    if (!t)
        return;
    t->writer().writeString(url);
    t->writer().writeString(QString());
    t->writer().writeString(QString());
    t->execute();
}

bool NovumFileObserver::isFileSystemGraph(const QString &graph)
{
    const int hash = graph.lastIndexOf(QLatin1Char('#'));
    return hash < 0 || graph.midRef(hash) == QLatin1String("#FileSystem");
}

QString NovumFileObserver::androidMediaUrl(const QString &urn)
{
    if (urn.size() > kMaxUrnLength)
        return QString();
    const QUrl url(urn, QUrl::TolerantMode);
    // Only local files have a path Android could share; blank nodes,
    // urn:uuid: resources and remote URLs do not.
    if (!url.isValid() || url.scheme() != QLatin1String("file") || !url.host().isEmpty())
        return QString();
    const QString decoded = url.path(QUrl::FullyDecoded);
    if (!decoded.startsWith(QLatin1Char('/')) || decoded.contains(QChar(0)))
        return QString();
    // "/home/u/../../etc" must not reach Android as a path under its
    // storage that climbs out of it.
    const QString path = QDir::cleanPath(decoded);
    const QString androidPath = toAndroidPath(path);
    // Only the user's home and removable media are shared with Android;
    // any other host path means something else (or nothing) there.
    if (androidPath == path)
        return QString();
    return QUrl::fromLocalFile(androidPath).toString(QUrl::FullyEncoded);
}
