#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// An open directory inside a tree that others may write to (the Android
// runtime's data tree), used by root without ever following a link.
//
// The walk starts at a trusted directory (the administrator's choice, so
// links there are followed) and goes one name at a time with
// O_DIRECTORY|O_NOFOLLOW; every later operation is relative to the open
// descriptor, so swapping a path component for a link, before or during the
// work, cannot lead anywhere else. Names are single components: "", ".",
// ".." and anything with a "/" are refused (EINVAL).
//
// Failures return false / an invalid SafeDir / -1 with errno set.
class SafeDir
{
public:
    SafeDir() = default;
    ~SafeDir();
    SafeDir(SafeDir &&other) noexcept;
    SafeDir &operator=(SafeDir &&other) noexcept;
    SafeDir(const SafeDir &) = delete;
    SafeDir &operator=(const SafeDir &) = delete;

    // The trusted starting point; created with its parents when missing.
    // An empty path is "/".
    static SafeDir openRoot(const QString &path);

    bool isValid() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // For logs and for naming files to others; no trailing "/".
    QString path() const { return m_path; }

    // A real directory below this one, created (mode) when missing.
    SafeDir openChild(const QString &name, mode_t mode) const;
    // A directory this process keeps for itself: a real directory owned by
    // owner. Whatever else stands in its place (a link, a file, someone
    // else's directory with all it holds) is removed and the directory is
    // made anew with mode.
    SafeDir ownChild(const QString &name, mode_t mode, uid_t owner) const;

    bool setOwner(uid_t uid, gid_t gid) const;
    bool setMode(mode_t mode) const;

    // Whether anything (a link included) has this name.
    bool exists(const QString &name) const;
    // Regular files and links directly in this directory.
    QStringList files() const;
    // Removes a file or link (never what a link points to). A missing
    // name is no error.
    bool removeFile(const QString &name) const;
    // Removes name and, for a directory, everything below it, links as
    // links. Gives up below a depth of 32.
    bool removeTree(const QString &name) const;
    bool rename(const QString &from, const QString &to) const;
    // A new regular file opened for writing (O_EXCL: never an existing
    // file, never through a link); -1 on failure. The caller closes it.
    int createFile(const QString &name, mode_t mode) const;

private:
    SafeDir(int fd, const QString &path) : m_fd(fd), m_path(path) {}
    QString childPath(const QString &name) const;

    int m_fd = -1;
    QString m_path;
};
