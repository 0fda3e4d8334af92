#pragma once
// The names by which the system's processes reach each other, in one place:
// the agent's message ports with the time-outs of a request to them, and the
// notifications between the settings application (or nuvexactl) and the
// agent.

#include <cstdint>

inline constexpr const char* kMouseClickPortName = "MouseClickPort";
inline constexpr const char* kMouseListPortName = "MouseListPort";
inline constexpr const char* kKeyStrokePortName = "KeyStrokePort";
// "MouseListPort" and "KeyStrokePort" take message id 0.
inline constexpr int32_t kAgentRequestMessageId = 0;
inline constexpr double kAgentSendTimeout = 1.0;     // seconds
inline constexpr double kAgentReceiveTimeout = 1.0;  // seconds

// Posted by the agent when its set of open devices changes, or is about to be
// emptied for sleep; the settings application asks for the list again.
inline constexpr const char* kDevicesChangedNotification = "NuvexaPreferences";
// Posted after each save of "mapping.xml"; the agent reloads its store.
inline constexpr const char* kReloadNotification = "NuvexaAgent";
inline constexpr const char* kReloadNotificationObject = "PrefChange";
