#include "calleropen.h"
#include "callerprivilege.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <pthread.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

uid_t nobodyUid()
{
    const struct passwd *pw = getpwnam("nobody");
    return pw ? pw->pw_uid : 65534;
}

gid_t groupId(const char *name, gid_t fallback)
{
    const struct group *gr = getgrnam(name);
    return gr ? gr->gr_gid : fallback;
}

// A process that lives with the given effective ids until stopped.
class Child
{
public:
    Child(uid_t uid, gid_t gid, std::vector<gid_t> groups, bool dumpable = true)
    {
        int ready[2];
        if (pipe(ready) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(ready[0]);
            if (setgroups(groups.size(), groups.data()) != 0 || setresgid(gid, gid, gid) != 0 ||
                setresuid(uid, uid, uid) != 0)
                _exit(1);
            // Changing ids clears the dumpable flag; a process started as
            // that user would have it set.
            prctl(PR_SET_DUMPABLE, dumpable ? 1 : 0);
            (void)!write(ready[1], "x", 1);
            for (;;)
                pause();
        }
        close(ready[1]);
        char c;
        m_ok = read(ready[0], &c, 1) == 1;
        close(ready[0]);
    }
    ~Child()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    pid_t pid() const { return m_pid; }
    bool ok() const { return m_ok; }

private:
    pid_t m_pid = -1;
    bool m_ok = false;
};

TEST(CallerPrivilege, GroupsAndOwnerOfRealProcesses)
{
    ASSERT_EQ(geteuid(), 0u) << "needs root to take other identities";
    const uid_t nobody = nobodyUid();
    const gid_t disk = groupId("disk", 6);
    const gid_t nogroup = groupId("nogroup", 65534);

    EXPECT_TRUE(isPrivilegedProcess(getpid()));   // root

    Child plain(nobody, nogroup, {});
    ASSERT_TRUE(plain.ok());
    EXPECT_FALSE(isPrivilegedProcess(plain.pid()));

    Child diskMember(nobody, disk, {});
    ASSERT_TRUE(diskMember.ok());
    EXPECT_TRUE(isPrivilegedProcess(diskMember.pid()));

    // A supplementary group is not the effective group.
    Child supplementary(nobody, nogroup, {disk});
    ASSERT_TRUE(supplementary.ok());
    EXPECT_FALSE(isPrivilegedProcess(supplementary.pid()));

    // A non-dumpable process has a root-owned /proc directory on most
    // kernels; that must not make it privileged.
    Child hidden(nobody, nogroup, {}, false);
    ASSERT_TRUE(hidden.ok());
    EXPECT_FALSE(isPrivilegedProcess(hidden.pid()));

    EXPECT_FALSE(isPrivilegedProcess(0));
    EXPECT_FALSE(isPrivilegedProcess(0x7ffffff0));
}

TEST(CallerPrivilege, PrivilegedGroup)
{
    const struct group *gr = getgrnam("privileged");
    if (!gr) {
        if (qgetenv("FERRY_IN_VM") != "1")
            GTEST_SKIP() << "no group \"privileged\" on this machine (the vm run creates one)";
        ASSERT_EQ(system("groupadd -f privileged"), 0);
        gr = getgrnam("privileged");
        ASSERT_TRUE(gr);
    }
    Child member(nobodyUid(), gr->gr_gid, {});
    ASSERT_TRUE(member.ok());
    EXPECT_TRUE(isPrivilegedProcess(member.pid()));
}

TEST(ProcStatus, EffectiveIdsAndGroups)
{
    CallerIdentity id;
    ASSERT_TRUE(parseProcStatus("Name:\tx\nUid:\t1000\t1001\t1002\t1003\nGid:\t20\t21\t22\t23\n"
                                "Groups:\t4 24 27 \n",
                                &id));
    EXPECT_EQ(id.uid, 1001u);
    EXPECT_EQ(id.gid, 21u);
    EXPECT_EQ(id.groups, (std::vector<gid_t>{4, 24, 27}));
    ASSERT_TRUE(parseProcStatus("Uid:\t5\t5\t5\t5\nGid:\t6\t6\t6\t6\nGroups:\t\n", &id));
    EXPECT_TRUE(id.groups.empty());
    // Missing or malformed lines are refused rather than guessed.
    EXPECT_FALSE(parseProcStatus("Uid:\t5\t5\t5\t5\nGid:\t6\t6\t6\t6\n", &id));
    EXPECT_FALSE(parseProcStatus("Uid:\t5\nGid:\t6\t6\nGroups:\n", &id));
    EXPECT_FALSE(parseProcStatus("Uid:\t5\tx\t5\t5\nGid:\t6\t6\t6\t6\nGroups:\n", &id));
    EXPECT_FALSE(parseProcStatus("Uid:\t5\t4294967295\t5\t5\nGid:\t6\t6\t6\t6\nGroups:\n", &id));
    EXPECT_FALSE(parseProcStatus("Uid:\t5\t5\t5\t5\nGid:\t6\t6\t6\t6\nGroups:\t1 two\n", &id));
    EXPECT_FALSE(parseProcStatus("", &id));

    ASSERT_TRUE(callerIdentityForPid(getpid(), &id));
    EXPECT_EQ(id.uid, geteuid());
    EXPECT_EQ(id.gid, getegid());
    EXPECT_FALSE(callerIdentityForPid(0, &id));
}

TEST(InstallableFileName, LastComponentMustNameAFile)
{
    EXPECT_TRUE(isInstallableFileName("/a/b.apk"));
    EXPECT_TRUE(isInstallableFileName("/a/..apk"));
    EXPECT_FALSE(isInstallableFileName("/a/"));
    EXPECT_FALSE(isInstallableFileName("/a/."));
    EXPECT_FALSE(isInstallableFileName("/a/.."));
    EXPECT_FALSE(isInstallableFileName("/"));
    EXPECT_FALSE(isInstallableFileName(""));
}

// The child runs with the caller's ids, so the caller may stop it; a stuck
// open (a FUSE file served by the caller) holds it the same way. The daemon
// must not wait for it for ever.
std::atomic<bool> stopNextChild{false};

int childrenOfThisProcess()
{
    int count = 0;
    const QString ours = QString::number(getpid());
    for (const QString &pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status("/proc/" + pid + "/status");
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("PPid:") && line.mid(5).trimmed() == ours.toLatin1())
                ++count;
        }
    }
    return count;
}

void stopChildAfterFork()
{
    if (stopNextChild.load())
        raise(SIGSTOP);
}

TEST(CallerOpen, AStoppedChildIsKilledAfterTheTimeout)
{
    static const bool registered = pthread_atfork(nullptr, nullptr, stopChildAfterFork) == 0;
    ASSERT_TRUE(registered);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("app.apk");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    stopNextChild = true;
    int fd = -1;
    QString error;
    const auto start = std::chrono::steady_clock::now();
    const OpenResult result = openFileAs(path, nullptr, &fd, &error, 300);
    stopNextChild = false;
    EXPECT_EQ(result, OpenResult::Failed);
    EXPECT_EQ(fd, -1);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    // The child was killed and reaped: no process of ours is left behind.
    EXPECT_EQ(childrenOfThisProcess(), 0);

    // The next open works as before.
    ASSERT_EQ(openFileAs(path, nullptr, &fd, &error, 300), OpenResult::Opened);
    close(fd);
}

TEST(CallerOpen, TheChildHoldsNoneOfTheDaemonsDescriptors)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile held(dir.filePath("held.apk"));
    ASSERT_TRUE(held.open(QIODevice::WriteOnly));
    int fd = -1;
    QString error;
    const QString viaProc = QStringLiteral("/proc/self/fd/%1").arg(held.handle());
    EXPECT_EQ(openFileAs(viaProc, nullptr, &fd, &error), OpenResult::NotFound) << qPrintable(viaProc);
    EXPECT_EQ(fd, -1);
    if (fd >= 0)
        close(fd);
    // The daemon's own descriptor is untouched.
    EXPECT_EQ(held.write("x"), 1);
}

class CallerOpenTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(geteuid(), 0u) << "needs root to take other identities";
        ASSERT_TRUE(dir.isValid());
        chmod(QFile::encodeName(dir.path()).constData(), 0755);
        nobody.uid = nobodyUid();
        nobody.gid = groupId("nogroup", 65534);
    }
    QString make(const QString &name, mode_t mode, gid_t gid = 0, const QByteArray &content = "apk")
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(content);
        f.close();
        chown(QFile::encodeName(path).constData(), 0, gid);
        chmod(QFile::encodeName(path).constData(), mode);
        return path;
    }
    static QByteArray readAll(int fd)
    {
        QByteArray all;
        char buffer[256];
        ssize_t n;
        while ((n = read(fd, buffer, sizeof buffer)) > 0)
            all.append(buffer, int(n));
        return all;
    }
    OpenResult open(const QString &path, const CallerIdentity *id, QByteArray *content = nullptr)
    {
        int fd = -1;
        QString error;
        const OpenResult result = openFileAs(path, id, &fd, &error);
        if (result == OpenResult::Opened) {
            EXPECT_GE(fd, 0);
            EXPECT_TRUE(error.isEmpty());
            EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
            if (content)
                *content = readAll(fd);
            close(fd);
        } else {
            EXPECT_EQ(fd, -1);
            EXPECT_FALSE(error.isEmpty());
        }
        return result;
    }

    QTemporaryDir dir;
    CallerIdentity nobody;
};

TEST_F(CallerOpenTest, CallerRightsDecide)
{
    const QString readable = make("open.apk", 0644, 0, "payload");
    const QString secret = make("secret.apk", 0600);
    QByteArray content;
    EXPECT_EQ(open(readable, &nobody, &content), OpenResult::Opened);
    EXPECT_EQ(content, "payload");
    EXPECT_EQ(open(secret, &nobody), OpenResult::AccessDenied);
    // Internal requests keep the daemon's own rights.
    EXPECT_EQ(open(secret, nullptr), OpenResult::Opened);
    // A link does not lend the caller rights it lacks.
    ASSERT_TRUE(QFile::link(secret, dir.filePath("link.apk")));
    EXPECT_EQ(open(dir.filePath("link.apk"), &nobody), OpenResult::AccessDenied);
    ASSERT_TRUE(QFile::link(readable, dir.filePath("good-link.apk")));
    EXPECT_EQ(open(dir.filePath("good-link.apk"), &nobody), OpenResult::Opened);
    EXPECT_EQ(open(dir.filePath("missing.apk"), &nobody), OpenResult::NotFound);
}

TEST_F(CallerOpenTest, SupplementaryGroupsCount)
{
    const gid_t disk = groupId("disk", 6);
    const QString groupFile = make("group.apk", 0640, disk);
    EXPECT_EQ(open(groupFile, &nobody), OpenResult::AccessDenied);
    CallerIdentity member = nobody;
    member.groups = {disk};
    EXPECT_EQ(open(groupFile, &member), OpenResult::Opened);
    CallerIdentity effective = nobody;
    effective.gid = disk;
    EXPECT_EQ(open(groupFile, &effective), OpenResult::Opened);
}

TEST_F(CallerOpenTest, OnlyRegularFiles)
{
    EXPECT_EQ(open(dir.path(), &nobody), OpenResult::NotRegularFile);
    EXPECT_EQ(open("/dev/null", nullptr), OpenResult::NotRegularFile);
    const QString fifo = dir.filePath("fifo.apk");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0666), 0);
    EXPECT_EQ(open(fifo, &nobody), OpenResult::NotRegularFile);   // and does not hang
    EXPECT_EQ(open(QString::fromLatin1("/a\0b", 4), nullptr), OpenResult::NotFound);
}

TEST_F(CallerOpenTest, CopyTakesTheOpenedFileNotTheSwappedPath)
{
    const QString path = make("swap.apk", 0644, 0, QByteArray(200000, 'a'));
    const QString other = make("other.apk", 0600, 0, "root only");
    int fd = -1;
    ASSERT_EQ(openFileAs(path, &nobody, &fd, nullptr), OpenResult::Opened);
    // The caller swaps the path for a file it could not read.
    ASSERT_EQ(rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0);
    const QString target = dir.filePath("staged.apk");
    QString error;
    ASSERT_TRUE(copyFromDescriptor(fd, target, &error)) << qPrintable(error);
    close(fd);
    QFile staged(target);
    ASSERT_TRUE(staged.open(QIODevice::ReadOnly));
    EXPECT_EQ(staged.readAll(), QByteArray(200000, 'a'));

    // The target must be new: nothing is written through an existing file.
    ASSERT_EQ(openFileAs(path, nullptr, &fd, nullptr), OpenResult::Opened);
    EXPECT_FALSE(copyFromDescriptor(fd, target, &error));
    EXPECT_FALSE(error.isEmpty());
    close(fd);
    staged.close();
    ASSERT_TRUE(staged.open(QIODevice::ReadOnly));
    EXPECT_EQ(staged.size(), 200000);
}

} // namespace
