#include "tests/support/AUnprivilegedUser.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

AUnprivilegedUser AUnprivilegedUser::Nobody()
{
    AUnprivilegedUser user;
    if (const struct passwd* nobody = getpwnam("nobody")) {
        user.fUid = nobody->pw_uid;
        user.fGid = nobody->pw_gid;
    }
    return user;
}

bool AUnprivilegedUser::Become() const
{
    if (geteuid() != 0)
        return true;
    if (setgroups(0, nullptr) != 0 || setgid(fGid) != 0 || setuid(fUid) != 0)
        return false;
    return setuid(0) != 0;
}
