#include "platform/ports/AMessagePortPaths.h"

#include "base/AFileDescriptor.h"
#include "platform/ports/AMessagePort.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A folder of ours that nobody else can write into.
bool IsOwnedAndClosed(const struct stat& info)
{
    return S_ISDIR(info.st_mode) && info.st_uid == geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Makes `path` a real folder (not a symbolic link) of ours with mode 0700
// and returns it; empty when that cannot be had. The checks and the mode
// change go through one descriptor opened without following links, so nobody
// can swap the entry in between.
std::string MakePrivateFolder(const std::string& path)
{
    constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    AFileDescriptor folder(open(path.c_str(), kFlags));
    if (!folder && errno == ENOENT && (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST))
        folder.Reset(open(path.c_str(), kFlags));
    struct stat info {};
    if (!folder || fstat(folder.Get(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid())
        return {};
    if ((info.st_mode & 07777) != 0700 && fchmod(folder.Get(), 0700) != 0)
        return {};
    return path;
}

bool IsValidPortName(std::string_view name)
{
    return !name.empty() && name.size() <= 200 && name.front() != '.' &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

// The folder last checked, with what it was found from.
struct ACheckedFolder {
    std::string fRuntime;
    uid_t fUser = 0;
    std::string fFolder;
};

std::mutex gCheckedLock;
ACheckedFolder gChecked;

std::string GetCheckedFolder(AMessagePortUse use)
{
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    ACheckedFolder current{runtime != nullptr ? runtime : "", geteuid(), {}};
    if (use == AMessagePortUse::kLookUp) {
        std::lock_guard lock(gCheckedLock);
        if (!gChecked.fFolder.empty() && gChecked.fRuntime == current.fRuntime && gChecked.fUser == current.fUser)
            return gChecked.fFolder;
    }
    current.fFolder = GetMessagePortFolder();
    std::lock_guard lock(gCheckedLock);
    gChecked = current;
    return current.fFolder;
}

} // namespace

std::string GetMessagePortFolder()
{
    struct stat info {};
    if (const char* runtime = getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] != '\0') {
        // A runtime folder that is not ours is refused, not replaced: every
        // process of the user must agree on where the ports are.
        if (runtime[0] != '/' || stat(runtime, &info) != 0 || !IsOwnedAndClosed(info))
            return {};
        return MakePrivateFolder(std::string(runtime) + "/nuvexa");
    }
    const std::string perUser = "/run/user/" + std::to_string(geteuid());
    if (stat(perUser.c_str(), &info) == 0 && IsOwnedAndClosed(info))
        return MakePrivateFolder(perUser + "/nuvexa");
    // No runtime folder at all (a session without logind): a private folder
    // in /tmp named with the user id. Its ownership and mode are verified, so
    // another user who made it first cannot intercept the ports.
    return MakePrivateFolder("/tmp/nuvexa-" + std::to_string(geteuid()));
}

std::optional<AMessagePortPaths> GetMessagePortPaths(std::string_view name, AMessagePortUse use)
{
    if (!IsValidPortName(name))
        return std::nullopt;
    const std::string folder = GetCheckedFolder(use);
    if (folder.empty())
        return std::nullopt;
    AMessagePortPaths paths{folder + "/" + std::string(name), folder + "/." + std::string(name) + ".lock"};
    if (paths.fSocket.size() >= sizeof(sockaddr_un::sun_path))
        return std::nullopt;
    return paths;
}

sockaddr_un MakeSocketAddress(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof(address.sun_path) - 1);
    return address;
}
