#pragma once
// What nuvexactl asks of a running agent: the port names it sends to, the
// time-outs of a request, and the reload notification that follows every
// change of "mapping.xml", as the settings editor posts it.

inline constexpr const char* kMouseListPortName = "MouseListPort";
inline constexpr const char* kKeyStrokePortName = "KeyStrokePort";
inline constexpr double kAgentSendTimeout = 1.0;     // seconds
inline constexpr double kAgentReceiveTimeout = 1.0;  // seconds

// Posts "NuvexaAgent" with the object "PrefChange" on the session bus; false
// when there is no session bus (no agent can be listening then).
bool PostReloadNotification();
