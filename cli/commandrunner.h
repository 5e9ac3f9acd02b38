#pragma once

#include "commandline.h"

#include <QJsonObject>
#include <QTextStream>

class DaemonClient;

// Carries out one parsed command against the daemon and prints its result.
// Returns the exit status: 0 on success, 1 on any failure (with one line
// on err saying why).
class CommandRunner
{
public:
    CommandRunner(DaemonClient &client, QTextStream &out, QTextStream &err);

    int run(const CommandLine &line);

    static const char *refusedText();
    // The absolute form of a file operand, or empty with a reason.
    static QString checkedFile(const QString &operand, QString *error);

private:
    bool execute(const CommandLine &line, QJsonObject *result);
    bool fail(const QString &reason);
    bool requested(const QString &method, const QVariantList &args, const QString &text, QJsonObject *result);

    DaemonClient &m_client;
    QTextStream &m_out;
    QTextStream &m_err;
};
