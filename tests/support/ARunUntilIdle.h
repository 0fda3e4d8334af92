#pragma once
// Runs an event loop until nothing is left to dispatch: every message already
// written to a socket the loop watches has then been handled. False when the
// loop was still busy after `maxDispatches` (a source that never calms down).

#include "platform/loop/AEventLoop.h"

bool RunUntilIdle(AEventLoop& loop, int maxDispatches = 10000);
