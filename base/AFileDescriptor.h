#pragma once
// AFileDescriptor owns one file descriptor and closes it when dropped, so
// sockets, lock files and device nodes each have exactly one owner.

#include <unistd.h>
#include <utility>

class AFileDescriptor {
public:
    AFileDescriptor() = default;
    explicit AFileDescriptor(int fd) : fFD(fd) {}
    AFileDescriptor(AFileDescriptor&& other) noexcept : fFD(std::exchange(other.fFD, -1)) {}
    AFileDescriptor& operator=(AFileDescriptor&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.fFD, -1));
        return *this;
    }
    AFileDescriptor(const AFileDescriptor&) = delete;
    AFileDescriptor& operator=(const AFileDescriptor&) = delete;
    ~AFileDescriptor() { Reset(); }

    int Get() const { return fFD; }
    explicit operator bool() const { return fFD >= 0; }
    int Release() { return std::exchange(fFD, -1); }
    void Reset(int fd = -1)
    {
        if (fFD >= 0)
            close(fFD);
        fFD = fd;
    }
    // Closes now and reports the result: a failed close of a written file
    // can mean its data was lost.
    bool Close()
    {
        const int fd = std::exchange(fFD, -1);
        return fd < 0 || close(fd) == 0;
    }

private:
    int fFD = -1;
};
