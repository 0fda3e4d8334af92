#pragma once
// Runs an event loop until nothing is left to dispatch, so every message
// already written to a socket it watches has been handled. False when it was
// still busy after `maxDispatches` (a source that never calms down).

#include "platform/loop/AEventLoop.h"

inline bool RunUntilIdle(AEventLoop& loop, int maxDispatches = 10000)
{
    for (int dispatched = 0; dispatched < maxDispatches; ++dispatched)
        if (sd_event_run(loop.Get(), 0) <= 0)
            return true;
    return false;
}
