#include "safedir.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
const int kMaxTreeDepth = 32;
// A directory that keeps being replaced while it is made is given up on.
const int kOwnAttempts = 4;

// The name as one path component, or empty (errno EINVAL).
QByteArray component(const QString &name)
{
    const QByteArray encoded = QFile::encodeName(name);
    if (encoded.isEmpty() || encoded == "." || encoded == ".." || encoded.contains('/') ||
        encoded.contains('\0')) {
        errno = EINVAL;
        return QByteArray();
    }
    return encoded;
}

bool removeTreeAt(int dirFd, const char *name, int depth)
{
    if (unlinkat(dirFd, name, 0) == 0 || errno == ENOENT)
        return true;
    if (errno != EISDIR)
        return false;
    if (depth >= kMaxTreeDepth) {
        errno = ELOOP;
        return false;
    }
    const int fd = openat(dirFd, name, kDirFlags);
    if (fd < 0)
        return errno == ENOENT;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return false;
    }
    bool ok = true;
    int err = 0;
    while (const dirent *entry = readdir(dir)) {
        const char *child = entry->d_name;
        if (strcmp(child, ".") == 0 || strcmp(child, "..") == 0)
            continue;
        if (!removeTreeAt(fd, child, depth + 1)) {
            ok = false;
            err = errno;
        }
    }
    closedir(dir);
    if (unlinkat(dirFd, name, AT_REMOVEDIR) != 0 && errno != ENOENT)
        return false;
    errno = err;
    return ok;
}

} // namespace

SafeDir::~SafeDir()
{
    if (m_fd >= 0)
        close(m_fd);
}

SafeDir::SafeDir(SafeDir &&other) noexcept : m_fd(other.m_fd), m_path(std::move(other.m_path))
{
    other.m_fd = -1;
}

SafeDir &SafeDir::operator=(SafeDir &&other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = other.m_fd;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
    }
    return *this;
}

SafeDir SafeDir::openRoot(const QString &path)
{
    const QString root = path.isEmpty() ? QStringLiteral("/") : path;
    QDir().mkpath(root);
    const int fd = open(QFile::encodeName(root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return SafeDir();
    QString clean = root;
    while (clean.endsWith(QLatin1Char('/')))
        clean.chop(1);
    return SafeDir(fd, clean);
}

QString SafeDir::childPath(const QString &name) const
{
    return m_path + QLatin1Char('/') + name;
}

SafeDir SafeDir::openChild(const QString &name, mode_t mode) const
{
    const QByteArray n = component(name);
    if (n.isEmpty() || !isValid())
        return SafeDir();
    int fd = openat(m_fd, n.constData(), kDirFlags);
    if (fd < 0 && errno == ENOENT) {
        if (mkdirat(m_fd, n.constData(), mode) != 0 && errno != EEXIST)
            return SafeDir();
        fd = openat(m_fd, n.constData(), kDirFlags);
    }
    if (fd < 0)
        return SafeDir();
    return SafeDir(fd, childPath(name));
}

SafeDir SafeDir::ownChild(const QString &name, mode_t mode, uid_t owner) const
{
    const QByteArray n = component(name);
    if (n.isEmpty() || !isValid())
        return SafeDir();
    bool made = false;
    for (int attempt = 0; attempt < kOwnAttempts; ++attempt) {
        const int fd = openat(m_fd, n.constData(), kDirFlags);
        if (fd >= 0) {
            struct stat st;
            if (fstat(fd, &st) == 0 && st.st_uid == owner) {
                SafeDir dir(fd, childPath(name));
                // mkdirat's mode went through the umask.
                if (made && !dir.setMode(mode))
                    return SafeDir();
                return dir;
            }
            close(fd);
            if (!removeTree(name))
                return SafeDir();
        } else if (errno == ENOENT) {
            if (mkdirat(m_fd, n.constData(), mode) == 0)
                made = true;
            else if (errno != EEXIST)
                return SafeDir();
        } else if (errno == ELOOP || errno == ENOTDIR) {
            // A link or something that is no directory.
            if (unlinkat(m_fd, n.constData(), 0) != 0 && errno != ENOENT)
                return SafeDir();
        } else {
            return SafeDir();
        }
    }
    errno = EAGAIN;
    return SafeDir();
}

bool SafeDir::setOwner(uid_t uid, gid_t gid) const
{
    return fchown(m_fd, uid, gid) == 0;
}

bool SafeDir::setMode(mode_t mode) const
{
    return fchmod(m_fd, mode) == 0;
}

bool SafeDir::exists(const QString &name) const
{
    const QByteArray n = component(name);
    struct stat st;
    return !n.isEmpty() && fstatat(m_fd, n.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

QStringList SafeDir::files() const
{
    QStringList names;
    const int fd = openat(m_fd, ".", kDirFlags);
    if (fd < 0)
        return names;
    DIR *dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return names;
    }
    while (const dirent *entry = readdir(dir)) {
        struct stat st;
        if (fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
            names << QFile::decodeName(entry->d_name);
    }
    closedir(dir);
    names.sort();
    return names;
}

bool SafeDir::removeFile(const QString &name) const
{
    const QByteArray n = component(name);
    if (n.isEmpty())
        return false;
    return unlinkat(m_fd, n.constData(), 0) == 0 || errno == ENOENT;
}

bool SafeDir::removeTree(const QString &name) const
{
    const QByteArray n = component(name);
    return !n.isEmpty() && removeTreeAt(m_fd, n.constData(), 0);
}

bool SafeDir::rename(const QString &from, const QString &to) const
{
    const QByteArray f = component(from);
    const QByteArray t = component(to);
    return !f.isEmpty() && !t.isEmpty() && renameat(m_fd, f.constData(), m_fd, t.constData()) == 0;
}

int SafeDir::createFile(const QString &name, mode_t mode) const
{
    const QByteArray n = component(name);
    if (n.isEmpty())
        return -1;
    return openat(m_fd, n.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}
