#pragma once
// AMappingFile is the preferences file on disk, seen as bytes: whether
// anything stands at its path, its whole contents, and its replacement. A
// replacement is atomic: the new bytes are written to a temporary file in the
// same folder, flushed to the disk, and renamed over the old file, so a reader
// sees either the old file or the new one, never a part of either. Failures
// are returned as values; the store turns them into its named failures.

#include <optional>
#include <string>
#include <string_view>

class AMappingFile {
public:
    explicit AMappingFile(std::string path);

    const std::string& GetPath() const { return fPath; }

    // False only when nothing at all stands at the path.
    bool Exists() const;
    // The whole contents, when the path names a regular file that can be read.
    std::optional<std::string> Read() const;
    // Replaces the file by one holding exactly the bytes. When the path is a
    // symbolic link, the file it points to is replaced and the link kept. On
    // failure the old file is untouched and no temporary file is left.
    bool Replace(std::string_view bytes) const;

private:
    std::string fPath;
};
