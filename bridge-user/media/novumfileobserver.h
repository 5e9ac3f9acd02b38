#pragma once

#include "novumbinderconnection.h"

typedef struct _TrackerSparqlConnection TrackerSparqlConnection;
typedef struct _TrackerNotifier TrackerNotifier;
typedef struct _GPtrArray GPtrArray;

// Keeps Android's media library in step with the host's file index: every
// change Tracker's file miner reports in its file-system graph becomes a
// scan request to Android's media scanner ("novum.media.file_observer")
// for the file's Android path. Changes are only listened to while the
// scanner is reachable; what happens meanwhile is not replayed.
class NovumFileObserver : public NovumBinderConnection
{
    Q_OBJECT

public:
    // Code of the scanner: the file's URL and two null strings, one-way.
    enum ScannerCode { ScanFileCode = 1 };
    // Longer URNs are not file paths anyone indexes (PATH_MAX is 4096).
    static constexpr int kMaxUrnLength = 4096;

    explicit NovumFileObserver(QObject *parent = nullptr);
    ~NovumFileObserver() override;

    bool hasTrackerConnection() const { return m_tracker != nullptr; }
    bool hasNotifier() const { return m_notifier != nullptr; }

    // Whether changes of this graph are file changes: the file-system
    // graph, or a graph whose name has no fragment at all.
    static bool isFileSystemGraph(const QString &graph);
    // The encoded file URL under which Android sees the file that a Tracker
    // URN (an encoded file:// URL) names. Empty when the URN names nothing
    // Android can see: not a local file URL, over-long, or a path outside
    // the user's home and removable media.
    static QString androidMediaUrl(const QString &urn);

private slots:
    void onServiceConnectionChanged(bool connected);

private:
    static void onEvents(TrackerNotifier *notifier, const char *service, const char *graph, GPtrArray *events,
                         void *self);
    void handleEvents(TrackerNotifier *notifier, const QString &graph, GPtrArray *events);
    void notifyScanner(const QString &urn);
    void releaseNotifier();

    TrackerSparqlConnection *m_tracker = nullptr;
    TrackerNotifier *m_notifier = nullptr;
    unsigned long m_eventsHandler = 0;
};
