#pragma once
// AEventLoop owns one sd-event loop: the agent's run loop. Every source of the
// agent (file descriptors, signals, deferred work, D-Bus) lives on it and is
// served one at a time on the thread that runs it.
//
// AEventSource owns one sd-event source; destroying it (or Reset) disables and
// releases the source, so an object that registers a source undoes the
// registration simply by dropping the handle.

#include <systemd/sd-event.h>

#include <cstdint>
#include <functional>

class AEventSource {
public:
    AEventSource() = default;
    explicit AEventSource(sd_event_source* source);
    AEventSource(AEventSource&& other) noexcept;
    AEventSource& operator=(AEventSource&& other) noexcept;
    AEventSource(const AEventSource&) = delete;
    AEventSource& operator=(const AEventSource&) = delete;
    ~AEventSource();

    void Reset();
    explicit operator bool() const { return fSource != nullptr; }
    sd_event_source* Get() const { return fSource; }

private:
    sd_event_source* fSource = nullptr;
};

class AEventLoop {
public:
    using AIOHandler = std::function<void(uint32_t revents)>;
    using AHandler = std::function<void()>;

    // Throws std::system_error when no loop can be made.
    AEventLoop();
    ~AEventLoop();
    AEventLoop(const AEventLoop&) = delete;
    AEventLoop& operator=(const AEventLoop&) = delete;

    sd_event* Get() const { return fEvent; }

    // Each returns an empty handle on failure. Handlers may drop their own
    // source from inside the call.
    AEventSource AddIO(int fd, uint32_t events, AIOHandler handler);
    // Blocks the signal for this thread and delivers it through the loop.
    AEventSource AddSignal(int signal, AHandler handler);
    // Runs once, on the next iteration.
    AEventSource AddDefer(AHandler handler);
    // Runs once, after delayUsec on the monotonic clock.
    AEventSource AddTimer(uint64_t delayUsec, AHandler handler);

    // Runs until Exit; returns the exit code.
    int Run();
    // One iteration, waiting at most timeoutUsec (UINT64_MAX: no limit).
    // Returns false once the loop has exited or failed.
    bool RunOnce(uint64_t timeoutUsec);
    // Runs iterations until predicate() holds or timeoutUsec has passed;
    // returns predicate(). For tests and for waiting on a reply.
    bool RunUntil(const std::function<bool()>& predicate, uint64_t timeoutUsec);
    void Exit(int code);

    // For a host loop that serves this one (the settings application's Qt
    // loop): the loop's own descriptor, readable while a source is pending
    // (-1 on failure), and serving what is pending without waiting, at most
    // `limit` sources; returns how many were served.
    int GetFileDescriptor() const;
    int ServePending(int limit);

private:
    sd_event* fEvent = nullptr;
};
