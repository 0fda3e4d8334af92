#pragma once
// Every D-Bus name the system uses, in one place.

// Distributed notifications: one signal on the session bus carrying the
// notification's name and object (the empty string for none).
inline constexpr const char* kNotificationPath = "/org/nuvexa/DeviceController";
inline constexpr const char* kNotificationInterface = "org.nuvexa.DeviceController.Notifications";
inline constexpr const char* kNotificationMember = "Notification";

// Desktop notifications, the agent's alerts.
inline constexpr const char* kDesktopNotificationsService = "org.freedesktop.Notifications";
inline constexpr const char* kDesktopNotificationsPath = "/org/freedesktop/Notifications";
inline constexpr const char* kDesktopNotificationsInterface = "org.freedesktop.Notifications";
inline constexpr const char* kDesktopNotificationsNotify = "Notify";
inline constexpr const char* kDesktopNotificationsGetCapabilities = "GetCapabilities";
inline constexpr const char* kDesktopNotificationsBodyMarkup = "body-markup";  // a capability

// logind on the system bus: sleep and wake, inhibitor locks.
inline constexpr const char* kLogindService = "org.freedesktop.login1";
inline constexpr const char* kLogindPath = "/org/freedesktop/login1";
inline constexpr const char* kLogindManagerInterface = "org.freedesktop.login1.Manager";

// The bus daemon itself, pinged by a poster that must know its
// notification was handled before it disconnects.
inline constexpr const char* kBusDaemonService = "org.freedesktop.DBus";
inline constexpr const char* kBusDaemonPath = "/org/freedesktop/DBus";
inline constexpr const char* kPeerInterface = "org.freedesktop.DBus.Peer";
inline constexpr const char* kPeerPing = "Ping";
