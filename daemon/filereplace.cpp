#include "filereplace.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ReplaceResult replaceFile(const QString &path, const QByteArray &content)
{
    const QByteArray target = QFile::encodeName(path);
    const int slash = target.lastIndexOf('/');
    QByteArray temp = target.left(slash + 1) + '.' + target.mid(slash + 1) + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return ReplaceResult::OpenFailed;
    bool ok = fchmod(fd, 0644) == 0;
    const char *data = content.constData();
    qint64 left = content.size();
    while (ok && left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        data += n;
        left -= n;
    }
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.constData(), target.constData()) == 0;
    if (!ok) {
        ::unlink(temp.constData());
        return ReplaceResult::WriteFailed;
    }
    return ReplaceResult::Written;
}

bool fileHasContent(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (file.size() != content.size())
        return false;
    // One byte more than expected tells a file that grew since size().
    return file.read(content.size() + 1) == content;
}
