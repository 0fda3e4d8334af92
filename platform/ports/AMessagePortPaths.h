#pragma once
// Where a named message port lives: its socket "<folder>/<name>" and, beside
// it, the lock file ".<name>.lock" that its owner holds (flock) for the port's
// life. Port names are non-empty, carry no '/' or NUL and do not start with
// '.', so a socket and another port's lock file can never share a path.

#include <optional>
#include <sys/un.h>
#include <string>
#include <string_view>

struct AMessagePortPaths {
    std::string fSocket;
    std::string fLock;
};

enum class AMessagePortUse { kServe, kLookUp };

// None when the name is not a valid port name, no folder can be had, or the
// socket path would not fit a Unix socket address. Serving always checks
// (and if need be makes) the folder; a look-up may rely on the last check
// made for the same runtime folder and user, since only that user can change
// the folder afterwards.
std::optional<AMessagePortPaths> GetMessagePortPaths(std::string_view name, AMessagePortUse use);

// The Unix socket address of `path`, which GetMessagePortPaths made short enough.
sockaddr_un MakeSocketAddress(const std::string& path);
