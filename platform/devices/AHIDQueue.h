#pragma once
// AHIDQueue watches chosen input elements of one open HID device. Its event
// source on the event loop reads the device's input reports into an
// AHIDEventQueue (which holds the queue's rules: decoding, the depth, what a
// full queue drops) and calls the event callout after each report that
// queued something; the callout takes the changes out one by one with
// GetNextEvent. The callout may destroy
// the queue. When the device's descriptor hangs up (the device left, or a
// driver was bound to it anew) the source is switched off for good; the
// device's removal arrives through discovery.

#include "platform/loop/AEventLoop.h"
#include "platform/devices/AHIDDeviceConnection.h"
#include "hid/AHIDEventQueue.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

class AHIDQueue {
public:
    // The event callout: target and refCon as given to SetEventCallout,
    // result 0, sender the queue.
    using ACallout = void (*)(void* target, int32_t result, void* refCon, void* sender);

    // A queue on `connection`, which must outlive it. Watches nothing yet.
    explicit AHIDQueue(AHIDDeviceConnection& connection);
    ~AHIDQueue();
    AHIDQueue(const AHIDQueue&) = delete;
    AHIDQueue& operator=(const AHIDQueue&) = delete;

    // Makes room for `depth` events and reads the device's elements; a
    // device whose elements cannot be read gets a queue that can watch
    // nothing. False when depth is 0.
    bool Create(uint32_t flags, uint32_t depth);
    // Watches the element with this cookie; false when the device has none
    // or the queue was not created.
    bool AddElement(uint32_t cookie, uint32_t flags);
    // Puts the reading of the device's reports on `loop`, switched off
    // until Start. False when the device is not open or the loop refuses.
    bool CreateAsyncEventSource(AEventLoop& loop);
    bool SetEventCallout(ACallout callout, void* target, void* refCon);
    // Start and Stop switch the event source on and off; false without a
    // source (or after the device hung up).
    bool Start();
    bool Stop();

    // Takes the oldest event without waiting; false when there is none.
    bool GetNextEvent(AHIDValueChange& event);

    // Decodes one input report and queues its changes up to the depth;
    // returns how many were queued. The one place where report bytes become
    // queued events: the event source calls it for each report it reads.
    size_t EnqueueReport(std::span<const uint8_t> report);

    size_t GetEventCount() const { return fEvents ? fEvents->GetEventCount() : 0; }
    bool IsStarted() const { return fStarted; }
    // True once the device's descriptor has hung up.
    bool HasHungUp() const { return fHungUp; }

private:
    void ReadReports(uint32_t revents);
    // Calls the event callout; false when the callout destroyed the queue.
    bool CallOut();

    AHIDDeviceConnection& fConnection;
    std::unique_ptr<AHIDEventQueue> fEvents;
    std::vector<uint8_t> fReport;           // one report's bytes, reused
    AEventSource fSource;
    ACallout fCallout = nullptr;
    void* fTarget = nullptr;
    void* fRefCon = nullptr;
    bool fStarted = false;
    bool fHungUp = false;
    bool* fGone = nullptr;  // set while the callout runs; tells of the queue's destruction meanwhile
};
