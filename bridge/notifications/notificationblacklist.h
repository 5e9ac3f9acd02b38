#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The integrator's list of notifications not to show, one entry a line:
//
//   com.example.app                  nothing of the package
//   com.example.app:+ch1,ch2         only the channels ch1 and ch2
//   com.example.app:-ch1,ch2         everything but the channels ch1 and ch2
//
// Lines are trimmed; a later line for a package replaces an earlier one of
// the same kind. Matching is exact. Bad lines are logged and skipped.
class NotificationBlacklist
{
public:
    // A file that cannot be opened is an empty list.
    void load(const QString &path);
    void parse(const QString &text);
    void parseLine(const QString &line);

    bool blocks(const QString &package, const QString &channelId) const;

    // Package to the channels let through.
    const QHash<QString, QStringList> &blockedPackages() const { return m_blocked; }
    // Package to the channels dropped.
    const QHash<QString, QStringList> &allowedPackages() const { return m_allowed; }

private:
    QHash<QString, QStringList> m_blocked;
    QHash<QString, QStringList> m_allowed;
};
