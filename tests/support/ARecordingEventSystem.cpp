#include "tests/support/ARecordingEventSystem.h"

#include <cstring>

ANXEventData APostedEvent::Data() const
{
    ANXEventData data;
    std::memcpy(&data, fBytes.data(), sizeof data);
    return data;
}

bool APostedEvent::ZeroExcept(std::size_t offset, std::size_t size) const
{
    for (std::size_t i = 0; i < fBytes.size(); ++i) {
        if ((i < offset || i >= offset + size) && fBytes[i] != 0)
            return false;
    }
    return true;
}

bool ARecordingEventSystem::PostEvent(uint32_t eventType, const ANXEventData& data, uint32_t dataVersion,
                                      uint32_t eventFlags, uint32_t options)
{
    APostedEvent posted{eventType, {}, dataVersion, eventFlags, options};
    std::memcpy(posted.fBytes.data(), &data, sizeof data);
    fPosts.push_back(posted);
    return !fFailPosts && fFailedType != eventType;
}
