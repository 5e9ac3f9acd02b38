#include "transactionlog.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonDocument>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace TransactionLog {

void append(const QJsonObject &line)
{
    static int fd = -2;
    if (fd == -2) {
        const QByteArray path = qgetenv("FERRY_SIM_LOG");
        fd = path.isEmpty() ? -1 : ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    }
    if (fd < 0)
        return;
    QJsonObject stamped = line;
    stamped.insert(QStringLiteral("pid"), qint64(::getpid()));
    stamped.insert(QStringLiteral("time"), QDateTime::currentMSecsSinceEpoch());
    QByteArray bytes = QJsonDocument(stamped).toJson(QJsonDocument::Compact);
    bytes.append('\n');
    ssize_t n;
    do {
        n = ::write(fd, bytes.constData(), size_t(bytes.size()));
    } while (n < 0 && errno == EINTR);
}

} // namespace TransactionLog
