#include "prefs/AMappingFile.h"

#include "base/AFileDescriptor.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A temporary file's name, unlinked with its owner unless it was kept.
class AScopedTemporaryName {
public:
    explicit AScopedTemporaryName(std::string name) : fName(std::move(name)) {}
    ~AScopedTemporaryName()
    {
        if (!fName.empty())
            unlink(fName.c_str());  // nothing more can be done if this fails
    }
    AScopedTemporaryName(const AScopedTemporaryName&) = delete;
    AScopedTemporaryName& operator=(const AScopedTemporaryName&) = delete;

    void Keep() { fName.clear(); }

private:
    std::string fName;
};

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

// The file a replacement must write: the path itself, or the target of the
// symbolic link standing there, so that a linked file keeps its link.
std::string ReplacementTarget(const std::string& path)
{
    struct stat linkStatus {};
    if (lstat(path.c_str(), &linkStatus) != 0 || !S_ISLNK(linkStatus.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) == nullptr)
        return path;
    return resolved;
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

AMappingFile::AMappingFile(std::string path) : fPath(std::move(path)) {}

bool AMappingFile::Exists() const
{
    struct stat status {};
    return lstat(fPath.c_str(), &status) == 0 || errno != ENOENT;
}

std::optional<std::string> AMappingFile::Read() const
{
    // Non-blocking, so that a FIFO at the path cannot hang the reader; it is
    // refused below like every other non-regular file.
    AFileDescriptor file(open(fPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!file)
        return std::nullopt;
    struct stat status {};
    if (fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;

    std::string contents;
    contents.reserve(static_cast<size_t>(status.st_size));
    char buffer[64 * 1024];
    for (;;) {
        ssize_t count = read(file.Get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return std::nullopt;
        }
        if (count == 0)
            break;
        contents.append(buffer, static_cast<size_t>(count));
    }
    return contents;
}

bool AMappingFile::Replace(std::string_view bytes) const
{
    const std::string target = ReplacementTarget(fPath);
    const std::string folderPath = FolderOf(target);

    AFileDescriptor folder(open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder)
        return false;

    std::string temporaryPath = folderPath + "/." + NameOf(target) + ".XXXXXX";
    AFileDescriptor temporary(mkostemp(temporaryPath.data(), O_CLOEXEC));
    if (!temporary)
        return false;
    AScopedTemporaryName temporaryName(temporaryPath);

    // The new file keeps the permissions of the one it replaces; a first file
    // is private to the user, as mkostemp made it.
    struct stat oldStatus {};
    if (stat(target.c_str(), &oldStatus) == 0 && S_ISREG(oldStatus.st_mode)) {
        if (fchmod(temporary.Get(), oldStatus.st_mode & 07777) != 0)
            return false;
    }

    if (!WriteAll(temporary.Get(), bytes) || fsync(temporary.Get()) != 0 || !temporary.Close())
        return false;
    if (rename(temporaryPath.c_str(), target.c_str()) != 0)
        return false;
    temporaryName.Keep();

    // The rename is durable only once the folder is flushed. A failure here is
    // reported, although the new file is already in place: the caller cannot
    // count on the save surviving a crash.
    return fsync(folder.Get()) == 0;
}
