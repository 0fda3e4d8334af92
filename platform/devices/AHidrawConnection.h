#pragma once
// AHidrawConnection is one HID device reached through its /dev/hidrawN node:
// opened read-only and non-blocking, never grabbed, so the system keeps
// getting the device's input as well. Each read() yields one input report.
// The element list comes from the report descriptor the kernel hands out
// (HIDIOCGRDESC), turned into elements by our descriptor parser; it is read
// once and kept, since a node's descriptor never changes.

#include "base/AFileDescriptor.h"
#include "platform/devices/AHIDDeviceConnection.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class AHidrawConnection final : public AHIDDeviceConnection {
public:
    explicit AHidrawConnection(std::string devnode);
    ~AHidrawConnection() override;
    AHidrawConnection(const AHidrawConnection&) = delete;
    AHidrawConnection& operator=(const AHidrawConnection&) = delete;

    bool Open() override;
    // Works on a connection that is not open yet (it opens the node for the
    // moment); none when the descriptor cannot be read or does not parse.
    std::optional<AHIDElementList> CopyElements() override;
    int GetReportFileDescriptor() const override { return fDescriptor.Get(); }
    void Close() override;

    const std::string& GetDevnode() const { return fDevnode; }

    // The report descriptor of an open hidraw descriptor; none when the
    // node is not a hidraw node or the kernel refuses.
    static std::optional<std::vector<uint8_t>> ReadReportDescriptor(int fd);

private:
    std::string fDevnode;
    AFileDescriptor fDescriptor;
    std::optional<AHIDElementList> fElements;
};
