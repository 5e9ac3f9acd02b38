#pragma once

#include <QObject>
#include <QStringList>

// MCE's request object ("/com/nokia/mce/request" of "com.nokia.mce") for
// tests: records the display-blanking requests, "pause" and "cancel".
class MceRequestRecorder : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.nokia.mce.request")
public:
    QStringList calls;
public slots:
    void req_display_blanking_pause() { calls << QStringLiteral("pause"); }
    void req_display_cancel_blanking_pause() { calls << QStringLiteral("cancel"); }
};
