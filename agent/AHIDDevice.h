#pragma once
// AHIDDevice is one open device of the maker. It opens the device's HID
// connection shared (never seized), picks six input elements out of its
// element list (mouse buttons 5 and 4, the bracket keys, the B and P keys),
// watches them through an HID queue of depth 8 on the agent's event loop and
// turns each press into a click message to "MouseClickPort", a presentation
// message to the same port, or (the B key) a synthetic key stroke. Releases
// do nothing. The dispatcher acts on the messages later on the same loop, so
// no action ever runs inside the queue's callout.
//
// A click message names the device by a 32-bit reference that the device
// manager hands out (non-zero, never reused): the port is open to any process
// of the user, and a message may outlive the device, so it carries no address.

#include "platform/loop/AEventLoop.h"
#include "keys/AEventSystemConnection.h"
#include "platform/devices/AHIDDeviceConnection.h"
#include "platform/devices/AHIDQueue.h"
#include "prefs/ATypes.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

// The kinds of element watched; the slot numbers are fixed, the callout and
// the presentation message depend on them.
enum EHIDElementCookieType : uint8_t {
    kCookieNone = 0,
    kCookieButton5 = 1,       // Button page, usage 5: button id 4
    kCookieButton4 = 2,       // Button page, usage 4: button id 5
    kCookieBracketLeft = 3,   // Keyboard page, usage 0x2F: button id 4
    kCookieBracketRight = 4,  // Keyboard page, usage 0x30: button id 5
    kCookieKeyB = 5,          // Keyboard page, usage 0x05: key stroke, virtual key 11
    kCookieKeyP = 6,          // Keyboard page, usage 0x13: presentation message
};
inline constexpr size_t kCookieSlotCount = 7;

// Messages to "MouseClickPort".
inline constexpr int32_t kClickMsgButton = 0;        // button id (int32), device reference (uint32)
inline constexpr int32_t kClickMsgPresentation = 1;  // the device record, 13 words, type in word 4
inline constexpr size_t kClickButtonPayloadSize = 8;
inline constexpr size_t kClickPresentationPayloadSize = 52;

class AHIDDevice {
public:
    // Takes the connection (not yet opened); the event-system port is the
    // manager's, not owned; `reference` is non-zero and names this device in
    // click messages; `serviceKey` is the discovery key it arrived under.
    AHIDDevice(std::unique_ptr<AHIDDeviceConnection> connection, EDeviceType type,
               AEventSystemPort eventSystemPort, AEventLoop& loop, uint32_t reference,
               std::string serviceKey = {});
    virtual ~AHIDDevice();
    AHIDDevice(const AHIDDevice&) = delete;
    AHIDDevice& operator=(const AHIDDevice&) = delete;

    // Opens the device and starts watching; false at the first failing step,
    // leaving what was done for Detach to undo.
    bool Setup();
    // Stops watching and gives the connection up; safe on a half set-up
    // object and more than once.
    void Detach();

    EDeviceType GetDeviceType() const { return fDeviceType; }
    // The first slot holding the cookie; kCookieNone when no slot does.
    EHIDElementCookieType GetHIDElementCookieType(uint32_t cookie) const;
    AEventSystemPort GetIOHIDSystemPort() const { return fIOHIDSystemPort; }
    uint32_t GetReference() const { return fReference; }
    const std::string& GetServiceKey() const { return fServiceKey; }

    // The queue's event callout: target is the device, sender the queue.
    static void QueueCallbackFunction(void* target, int32_t result, void* refCon, void* sender);

    // The presentation message's payload: the device record as 13 host-order
    // words, the device type in word 4 (bytes 16-19).
    std::array<uint8_t, kClickPresentationPayloadSize> MakePresentationRecord() const;

private:
    std::unique_ptr<AHIDDeviceConnection> fDeviceInterface;
    std::unique_ptr<AHIDQueue> fQueue;  // owns the queue's event source
    EDeviceType fDeviceType;
    std::array<uint32_t, kCookieSlotCount> fCookies{};
    AEventSystemPort fIOHIDSystemPort;
    AEventLoop& fLoop;
    uint32_t fReference;
    std::string fServiceKey;
};
