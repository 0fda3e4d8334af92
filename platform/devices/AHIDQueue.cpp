#include "platform/devices/AHIDQueue.h"

#include <cerrno>
#include <sys/epoll.h>
#include <unistd.h>

namespace {

// hidraw keeps 64 reports per open descriptor; reading at most that many in
// one pass lets a busy device share the loop with the other sources.
constexpr int kReportsPerPass = 64;
// The largest report hidraw hands out (the kernel's HID_MAX_BUFFER_SIZE).
constexpr size_t kMaxReportSize = 16384;

} // namespace

AHIDQueue::AHIDQueue(AHIDDeviceConnection& connection) : fConnection(connection) {}

AHIDQueue::~AHIDQueue()
{
    if (fGone != nullptr)
        *fGone = true;
}

bool AHIDQueue::Create(uint32_t /*flags*/, uint32_t depth)
{
    if (depth == 0)
        return false;
    fEvents = std::make_unique<AHIDEventQueue>(depth, fConnection.CopyElements().value_or(AHIDElementList{}));
    return true;
}

bool AHIDQueue::AddElement(uint32_t cookie, uint32_t /*flags*/)
{
    return fEvents != nullptr && fEvents->Watch(cookie);
}

bool AHIDQueue::CreateAsyncEventSource(AEventLoop& loop)
{
    const int fd = fConnection.GetReportFileDescriptor();
    if (fEvents == nullptr || fd < 0 || fHungUp)
        return false;
    fReport.resize(kMaxReportSize);
    fSource = loop.AddIO(fd, EPOLLIN, [this](uint32_t revents) { ReadReports(revents); });
    if (!fSource)
        return false;
    if (sd_event_source_set_enabled(fSource.Get(), SD_EVENT_OFF) < 0) {
        fSource.Reset();
        return false;
    }
    return true;
}

bool AHIDQueue::SetEventCallout(ACallout callout, void* target, void* refCon)
{
    fCallout = callout;
    fTarget = target;
    fRefCon = refCon;
    return true;
}

bool AHIDQueue::Start()
{
    if (!fSource || sd_event_source_set_enabled(fSource.Get(), SD_EVENT_ON) < 0)
        return false;
    fStarted = true;
    return true;
}

bool AHIDQueue::Stop()
{
    if (!fSource)
        return false;
    fStarted = false;
    return sd_event_source_set_enabled(fSource.Get(), SD_EVENT_OFF) >= 0;
}

bool AHIDQueue::GetNextEvent(AHIDValueChange& event)
{
    return fEvents != nullptr && fEvents->GetNextEvent(event);
}

size_t AHIDQueue::EnqueueReport(std::span<const uint8_t> report)
{
    return fEvents != nullptr ? fEvents->EnqueueReport(report) : 0;
}

void AHIDQueue::ReadReports(uint32_t revents)
{
    const int fd = fConnection.GetReportFileDescriptor();
    bool hungUp = false;
    for (int i = 0; i < kReportsPerPass && fStarted; ++i) {
        const ssize_t length = read(fd, fReport.data(), fReport.size());
        if (length > 0) {
            // The callout runs after each report that queued something, so
            // that a burst (hidraw keeps many reports while the loop is held
            // up) is taken out before it overflows the queue.
            if (EnqueueReport(std::span<const uint8_t>(fReport.data(), static_cast<size_t>(length))) > 0 &&
                !CallOut())
                return;
            continue;
        }
        if (length < 0 && errno == EINTR)
            continue;
        if (length < 0 && errno == EAGAIN) {
            hungUp = (revents & (EPOLLHUP | EPOLLERR)) != 0;
            break;
        }
        // End of file or an error (hidraw gives EIO once the device has
        // gone): the descriptor will stay readable, so stop watching it.
        hungUp = true;
        break;
    }
    if (hungUp) {
        fHungUp = true;
        fStarted = false;
        fSource.Reset();
    }
}

bool AHIDQueue::CallOut()
{
    if (fCallout == nullptr)
        return true;
    bool gone = false;
    fGone = &gone;
    fCallout(fTarget, 0, fRefCon, this);
    if (gone)
        return false;
    fGone = nullptr;
    return true;
}
