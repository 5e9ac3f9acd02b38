#include "callerprivilege.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

QString groupName(gid_t gid)
{
    struct group grp;
    struct group *result = nullptr;
    std::vector<char> buffer(16384);
    if (getgrgid_r(gid, &grp, buffer.data(), buffer.size(), &result) != 0 || !result)
        return QString();
    return QString::fromLocal8Bit(result->gr_name);
}

QString userName(uid_t uid)
{
    struct passwd pwd;
    struct passwd *result = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(uid, &pwd, buffer.data(), buffer.size(), &result) != 0 || !result)
        return QString();
    return QString::fromLocal8Bit(result->pw_name);
}

} // namespace

bool isPrivilegedIdentity(const CallerIdentity &identity)
{
    const QString group = groupName(identity.gid);
    if (group == QLatin1String("privileged") || group == QLatin1String("disk"))
        return true;
    return userName(identity.uid) == QLatin1String("root");
}

bool isPrivilegedProcess(uint pid)
{
    CallerIdentity identity;
    if (pid == 0 || !callerIdentityForPid(pid_t(pid), &identity))
        return false;
    return isPrivilegedIdentity(identity);
}
