#include "tests/support/ARunUntilIdle.h"

bool RunUntilIdle(AEventLoop& loop, int maxDispatches)
{
    for (int dispatched = 0; dispatched < maxDispatches; ++dispatched) {
        if (sd_event_run(loop.Get(), 0) <= 0)
            return true;
    }
    return false;
}
