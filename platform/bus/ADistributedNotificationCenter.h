#pragma once
// Distributed notifications between the system's processes: a notification
// has a name and an optional object; observers match on the name and, where
// they care, on the object. Carried as one D-Bus signal on the session bus
// (names in ADBusNames.h). Without a session bus every operation is a quiet
// no-op; delivery to a process that is not listening is not an error.

#include "platform/loop/AEventLoop.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

class ADistributedNotificationCenter {
public:
    using ACallback = void (*)(ADistributedNotificationCenter* center, void* observer,
                               std::string_view name, std::string_view object);

    // Connects to the session bus. With a loop, observations are delivered
    // on it; without one (a command-line client) the centre only posts.
    explicit ADistributedNotificationCenter(AEventLoop* loop);
    ~ADistributedNotificationCenter();
    ADistributedNotificationCenter(const ADistributedNotificationCenter&) = delete;
    ADistributedNotificationCenter& operator=(const ADistributedNotificationCenter&) = delete;

    bool IsConnected() const;

    // Posts. Without a loop it returns once the bus daemon has handled the
    // notification (waiting a second at most). On a loop, what the socket did
    // not take at once is sent by the loop. False when there is no bus or the
    // post failed; nobody listening is not a failure.
    bool PostNotification(std::string_view name, std::optional<std::string_view> object);

    // Observes `name` with `object`, or with any object when none is given.
    // One observation per (observer, name, object); false without a bus or
    // without a loop.
    bool AddObserver(void* observer, ACallback callback, std::string_view name,
                     std::optional<std::string_view> object);
    // Removes exactly that observation; nothing when it is not there.
    void RemoveObserver(void* observer, std::string_view name, std::optional<std::string_view> object);

    struct AState;

private:
    std::unique_ptr<AState> fState;
};
