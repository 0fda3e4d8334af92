#include "agent/AHIDDevice.h"
#include "base/AMessageNames.h"

#include "agent/AHIDKeyboardAction.h"
#include "platform/ports/AMessagePort.h"

#include <cstring>
#include <optional>

namespace {

constexpr uint32_t kQueueDepth = 8;
constexpr uint16_t kUsagePageKeyboard = 0x07;
constexpr uint16_t kUsagePageButton = 0x09;
// The virtual key code of the B key, posted when the device's B key is pressed.
constexpr uint8_t kVirtualKeyB = 11;

struct AElementKind {
    uint16_t fUsagePage;
    uint16_t fUsage;
    EHIDElementCookieType fSlot;
};

constexpr AElementKind kWatchedElements[] = {
    {kUsagePageButton, 5, kCookieButton5},
    {kUsagePageKeyboard, 0x05, kCookieKeyB},
    {kUsagePageButton, 4, kCookieButton4},
    {kUsagePageKeyboard, 0x2F, kCookieBracketLeft},
    {kUsagePageKeyboard, 0x30, kCookieBracketRight},
    {kUsagePageKeyboard, 0x13, kCookieKeyP},
};

EHIDElementCookieType ClassifyElement(const AHIDElement& element)
{
    for (const AElementKind& kind : kWatchedElements) {
        if (kind.fUsage == element.fUsage && kind.fUsagePage == element.fUsagePage)
            return kind.fSlot;
    }
    return kCookieNone;
}

// The button id a press of each slot gives; 0 for none.
constexpr int32_t kButtonIdBySlot[kCookieSlotCount] = {0, kButtonBack, kButtonForward, kButtonBack,
                                                        kButtonForward, 0, 0};

void PutWord(uint8_t* bytes, size_t word, uint32_t value)
{
    std::memcpy(bytes + word * sizeof(uint32_t), &value, sizeof value);
}

void SendClickMessage(int32_t messageId, const AMessageData& payload)
{
    std::unique_ptr<ARemoteMessagePort> port = ARemoteMessagePort::Create(kMouseClickPortName);
    if (port == nullptr)
        return;  // nobody serves the port: the press is dropped
    // The result is ignored: no reply is asked for and a failed send only loses this press.
    port->SendRequest(messageId, &payload, 1.0, 1.0, nullptr);
}

} // namespace

AHIDDevice::AHIDDevice(std::unique_ptr<AHIDDeviceConnection> connection, EDeviceType type,
                       AEventSystemPort eventSystemPort, AEventLoop& loop, uint32_t reference,
                       std::string serviceKey)
    : fDeviceInterface(std::move(connection)),
      fDeviceType(type),
      fIOHIDSystemPort(eventSystemPort),
      fLoop(loop),
      fReference(reference),
      fServiceKey(std::move(serviceKey))
{
}

AHIDDevice::~AHIDDevice()
{
    Detach();
}

bool AHIDDevice::Setup()
{
    if (fDeviceInterface == nullptr || !fDeviceInterface->Open())
        return false;
    fQueue = std::make_unique<AHIDQueue>(*fDeviceInterface);
    if (!fQueue->Create(0, kQueueDepth))
        return false;
    // A device whose elements cannot be read still sets up, watching nothing.
    if (std::optional<AHIDElementList> elements = fDeviceInterface->CopyElements()) {
        for (const AHIDElement& element : *elements) {
            const EHIDElementCookieType slot = ClassifyElement(element);
            if (slot == kCookieNone)
                continue;
            fCookies[slot] = element.fCookie;  // a later element of the same kind wins
            fQueue->AddElement(element.fCookie, 0);
        }
    }
    if (!fQueue->CreateAsyncEventSource(fLoop))
        return false;
    if (!fQueue->SetEventCallout(QueueCallbackFunction, this, &fQueue))
        return false;
    return fQueue->Start();
}

void AHIDDevice::Detach()
{
    if (fQueue != nullptr) {
        fQueue->Stop();
        fQueue.reset();
    }
    if (fDeviceInterface != nullptr) {
        fDeviceInterface->Close();
        fDeviceInterface.reset();
    }
}

EHIDElementCookieType AHIDDevice::GetHIDElementCookieType(uint32_t cookie) const
{
    for (size_t slot = 0; slot < kCookieSlotCount; ++slot) {
        if (fCookies[slot] == cookie)
            return static_cast<EHIDElementCookieType>(slot);
    }
    return kCookieNone;
}

std::array<uint8_t, kClickPresentationPayloadSize> AHIDDevice::MakePresentationRecord() const
{
    // Word 0 the reference; words 1-3 (the connection, queue and source)
    // and word 12 (the event-system connection) stay 0, since handles and
    // addresses mean nothing outside this process.
    std::array<uint8_t, kClickPresentationPayloadSize> record{};
    PutWord(record.data(), 0, fReference);
    PutWord(record.data(), 4, static_cast<uint32_t>(fDeviceType));
    for (size_t slot = 0; slot < kCookieSlotCount; ++slot)
        PutWord(record.data(), 5 + slot, fCookies[slot]);
    return record;
}

void AHIDDevice::QueueCallbackFunction(void* target, int32_t /*result*/, void* /*refCon*/, void* sender)
{
    if (target == nullptr || sender == nullptr)
        return;
    AHIDDevice& device = *static_cast<AHIDDevice*>(target);
    AHIDQueue& queue = *static_cast<AHIDQueue*>(sender);
    const AEventSystemPort eventSystemPort = device.fIOHIDSystemPort;

    AHIDValueChange event;
    while (queue.GetNextEvent(event)) {
        if (event.fValue != 1)
            continue;  // releases (and any other value) do nothing
        const EHIDElementCookieType slot = device.GetHIDElementCookieType(event.fCookie);
        if (slot == kCookieKeyB) {
            AHIDKeyboardAction(eventSystemPort).PostKey(kVirtualKeyB);
        } else if (slot == kCookieKeyP) {
            const auto record = device.MakePresentationRecord();
            SendClickMessage(kClickMsgPresentation, AMessageData(record.begin(), record.end()));
        } else if (const int32_t buttonId = kButtonIdBySlot[slot]; buttonId != 0) {
            AMessageData payload(kClickButtonPayloadSize);
            std::memcpy(payload.data(), &buttonId, sizeof buttonId);
            std::memcpy(payload.data() + sizeof buttonId, &device.fReference, sizeof device.fReference);
            SendClickMessage(kClickMsgButton, payload);
        }
    }
}
