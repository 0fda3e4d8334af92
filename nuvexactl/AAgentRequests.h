#pragma once
// What nuvexactl asks of a running agent: the port names it sends to, the
// time-outs of a request, and the reload notification that follows every
// change of "mapping.xml", as the settings editor posts it.

#include "base/AMessageNames.h"

// Posts "NuvexaAgent" with the object "PrefChange" on the session bus; false
// when there is no session bus (no agent can be listening then).
bool PostReloadNotification();
