#pragma once
// What the settings application says to the agent, in one place: the device
// list port and its time-outs, and the notifications both ways.

inline constexpr const char* kMouseListPortName = "MouseListPort";
inline constexpr int kMouseListMessageId = 0;
inline constexpr double kMouseListSendTimeout = 1.0;     // seconds
inline constexpr double kMouseListReceiveTimeout = 1.0;  // seconds

// Posted by the agent when its set of open devices changes.
inline constexpr const char* kDevicesChangedNotification = "NuvexaPreferences";
// Posted by the editor after each save; the agent reloads "mapping.xml".
inline constexpr const char* kReloadNotification = "NuvexaAgent";
inline constexpr const char* kReloadNotificationObject = "PrefChange";
