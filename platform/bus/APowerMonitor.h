#pragma once
// System sleep and wake as the agent hears of them. A power monitor calls its
// owner back with kSystemWillSleep before the system sleeps and with
// kSystemHasPoweredOn after it has woken; the monitor itself acknowledges
// each message once the callback has returned (the system may then go on).
// Destroying the monitor ends the registration.

enum class APowerMessage {
    kSystemWillSleep,
    kSystemHasPoweredOn,
};

class APowerMonitor {
public:
    using ACallback = void (*)(void* refCon, APowerMessage message);

    virtual ~APowerMonitor() = default;
};
