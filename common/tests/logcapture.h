#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

// Collects the messages logged while it lives, with debug output of every
// ferry area switched on. One at a time per process.
class LogCapture
{
public:
    LogCapture()
    {
        s_current = this;
        QLoggingCategory::setFilterRules(QStringLiteral("com.kestrel.ferryd.*.debug=true"));
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        QLoggingCategory::setFilterRules(QString());
        s_current = nullptr;
    }

    // Messages of the given level (QtDebugMsg, QtCriticalMsg, ...) that
    // contain text.
    int count(QtMsgType type, const QString &text) const
    {
        int n = 0;
        for (const Entry &e : m_entries)
            n += (e.type == type && e.text.contains(text)) ? 1 : 0;
        return n;
    }
    QStringList all() const
    {
        QStringList out;
        for (const Entry &e : m_entries)
            out << e.text;
        return out;
    }
    void clear() { m_entries.clear(); }

private:
    struct Entry
    {
        QtMsgType type;
        QString text;
    };
    static void handler(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        if (s_current)
            s_current->m_entries.push_back({type, text});
    }

    static inline LogCapture *s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    QVector<Entry> m_entries;
};
