// The device list service on "MouseListPort": whatever the request, the reply
// is an XML document listing the device type of every open device, in the
// order the devices arrived.

#include "agent/ADeviceManager.h"

#include "agent/AHIDDevice.h"

#include <pugixml.hpp>

#include <cstdio>

namespace {

class AMessageDataWriter : public pugi::xml_writer {
public:
    explicit AMessageDataWriter(AMessageData& data) : fData(data) {}
    void write(const void* data, size_t size) override
    {
        const auto* bytes = static_cast<const uint8_t*>(data);
        fData.insert(fData.end(), bytes, bytes + size);
    }

private:
    AMessageData& fData;
};

} // namespace

std::optional<AMessageData> ADeviceManager::PrefListHandler(ALocalMessagePort*, int32_t, const AMessageData*,
                                                            void* info)
{
    if (info == nullptr)
        return std::nullopt;
    return static_cast<const ADeviceManager*>(info)->GetDevices();
}

AMessageData ADeviceManager::GetDevices() const
{
    pugi::xml_document document;
    pugi::xml_node root = document.append_child("devicelist");
    for (const auto& device : fHIDDevices) {
        char type[16];
        std::snprintf(type, sizeof type, "%d", device->GetDeviceType());
        root.append_child("device").append_attribute("type").set_value(type);
    }
    AMessageData reply;
    AMessageDataWriter writer(reply);
    document.save(writer, "    ", pugi::format_indent, pugi::encoding_utf8);
    return reply;
}
