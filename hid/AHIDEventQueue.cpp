#include "hid/AHIDEventQueue.h"

#include <utility>

AHIDEventQueue::AHIDEventQueue(size_t depth, AHIDElementList elements)
    : fDecoder(std::move(elements)), fEvents(depth == 0 ? 1 : depth)
{
}

bool AHIDEventQueue::GetNextEvent(AHIDValueChange& event)
{
    if (fCount == 0)
        return false;
    event = fEvents[fHead];
    fHead = (fHead + 1) % fEvents.size();
    --fCount;
    return true;
}

size_t AHIDEventQueue::EnqueueReport(std::span<const uint8_t> report)
{
    fChanges.clear();
    fDecoder.Decode(report, fChanges);
    size_t queued = 0;
    for (const AHIDValueChange& change : fChanges) {
        if (fCount == fEvents.size())
            break;  // full: the rest of the changes are lost, as in a hardware queue
        fEvents[(fHead + fCount) % fEvents.size()] = change;
        ++fCount;
        ++queued;
    }
    return queued;
}
