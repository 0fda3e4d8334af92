#pragma once
// The unprivileged user "nobody", for tests that need permission bits to hold
// although they run as root: a child process drops to it before it acts. The
// ids are looked up before fork(), since the user database is not safe to
// read in the child of a process that may have threads.
//
//   const AUnprivilegedUser nobody = AUnprivilegedUser::Nobody();
//   if (fork() == 0) { if (!nobody.Become()) _exit(126); ... }

#include <sys/types.h>

struct AUnprivilegedUser {
    uid_t fUid = 65534;
    gid_t fGid = 65534;

    // "nobody" from the user database; 65534 when it has no such user.
    static AUnprivilegedUser Nobody();

    // Makes this process the user, with its group and no supplementary
    // groups, for good: true when root cannot be taken back afterwards. A
    // process that is not root already is left as it is. Async-signal-safe,
    // so a forked child may call it.
    bool Become() const;
};
