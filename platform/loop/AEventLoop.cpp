#include "platform/loop/AEventLoop.h"

#include <csignal>
#include <pthread.h>
#include <system_error>
#include <time.h>
#include <utility>

namespace {

// Handlers live on the heap beside their source and are freed by the
// source's destroy callback, so dropping a source from its own handler is safe.
template <typename Handler>
void DestroyHandler(void* userdata)
{
    delete static_cast<Handler*>(userdata);
}

template <typename Handler>
AEventSource Adopt(int result, sd_event_source* source, Handler* handler)
{
    if (result < 0) {
        delete handler;
        return {};
    }
    sd_event_source_set_destroy_callback(source, DestroyHandler<Handler>);
    return AEventSource(source);
}

uint64_t Now(sd_event* event)
{
    uint64_t now = 0;
    if (sd_event_now(event, CLOCK_MONOTONIC, &now) < 0) {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        now = static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
    }
    return now;
}

} // namespace

AEventSource::AEventSource(sd_event_source* source) : fSource(source) {}

AEventSource::AEventSource(AEventSource&& other) noexcept : fSource(std::exchange(other.fSource, nullptr)) {}

AEventSource& AEventSource::operator=(AEventSource&& other) noexcept
{
    if (this != &other) {
        Reset();
        fSource = std::exchange(other.fSource, nullptr);
    }
    return *this;
}

AEventSource::~AEventSource()
{
    Reset();
}

void AEventSource::Reset()
{
    if (fSource != nullptr)
        sd_event_source_disable_unref(std::exchange(fSource, nullptr));
}

AEventLoop::AEventLoop()
{
    const int result = sd_event_new(&fEvent);
    if (result < 0)
        throw std::system_error(-result, std::generic_category(), "sd_event_new");
}

AEventLoop::~AEventLoop()
{
    sd_event_unref(fEvent);
}

AEventSource AEventLoop::AddIO(int fd, uint32_t events, AIOHandler handler)
{
    auto* box = new AIOHandler(std::move(handler));
    sd_event_source* source = nullptr;
    const int result = sd_event_add_io(
        fEvent, &source, fd, events,
        [](sd_event_source*, int, uint32_t revents, void* userdata) {
            (*static_cast<AIOHandler*>(userdata))(revents);
            return 0;
        },
        box);
    return Adopt(result, source, box);
}

AEventSource AEventLoop::AddSignal(int signal, AHandler handler)
{
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, signal);
    if (pthread_sigmask(SIG_BLOCK, &mask, nullptr) != 0)
        return {};
    auto* box = new AHandler(std::move(handler));
    sd_event_source* source = nullptr;
    const int result = sd_event_add_signal(
        fEvent, &source, signal,
        [](sd_event_source*, const signalfd_siginfo*, void* userdata) {
            (*static_cast<AHandler*>(userdata))();
            return 0;
        },
        box);
    return Adopt(result, source, box);
}

AEventSource AEventLoop::AddDefer(AHandler handler)
{
    auto* box = new AHandler(std::move(handler));
    sd_event_source* source = nullptr;
    const int result = sd_event_add_defer(
        fEvent, &source,
        [](sd_event_source* self, void* userdata) {
            sd_event_source_set_enabled(self, SD_EVENT_OFF);
            (*static_cast<AHandler*>(userdata))();
            return 0;
        },
        box);
    return Adopt(result, source, box);
}

AEventSource AEventLoop::AddTimer(uint64_t delayUsec, AHandler handler)
{
    auto* box = new AHandler(std::move(handler));
    sd_event_source* source = nullptr;
    const int result = sd_event_add_time(
        fEvent, &source, CLOCK_MONOTONIC, Now(fEvent) + delayUsec, 0,
        [](sd_event_source*, uint64_t, void* userdata) {
            (*static_cast<AHandler*>(userdata))();
            return 0;
        },
        box);
    return Adopt(result, source, box);
}

int AEventLoop::Run()
{
    return sd_event_loop(fEvent);
}

bool AEventLoop::RunOnce(uint64_t timeoutUsec)
{
    return sd_event_run(fEvent, timeoutUsec) >= 0 && sd_event_get_state(fEvent) != SD_EVENT_FINISHED;
}

bool AEventLoop::RunUntil(const std::function<bool()>& predicate, uint64_t timeoutUsec)
{
    const uint64_t deadline = Now(fEvent) + timeoutUsec;
    while (!predicate()) {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        const uint64_t now = static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec) / 1000u;
        if (now >= deadline || !RunOnce(deadline - now))
            break;
    }
    return predicate();
}

int AEventLoop::GetFileDescriptor() const
{
    return sd_event_get_fd(fEvent);
}

int AEventLoop::ServePending(int limit)
{
    // A run with no wait prepares (which also lets sd-bus arm its descriptor
    // for the messages it still has to write), polls and serves one source.
    int served = 0;
    while (served < limit && sd_event_run(fEvent, 0) > 0)
        ++served;
    return served;
}

void AEventLoop::Exit(int code)
{
    sd_event_exit(fEvent, code);
}
