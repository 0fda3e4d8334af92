#pragma once
// ADeviceManager is the agent: it owns the set of open devices, the agent's
// message ports ("MouseClickPort", "MouseListPort", "KeyStrokePort"), its
// event-system connection (the virtual keyboard), its power registration and
// its preferences store. Every callback it registers runs on one event loop.
//
// Its operations are spread over files by concern:
//   ADeviceManager.cpp           construction, Setup, Detach, registrations, reload
//   ADeviceManagerPower.cpp      sleep and wake
//   ADeviceManagerDiscovery.cpp  device discovery and typing
//   ADeviceManagerDispatch.cpp   the button action dispatcher (MouseClickHandler)
//   ADeviceManagerDeviceList.cpp the device list service (PrefListHandler, GetDevices)
//
// The platform reaches it through AAgentEnvironment, so tests can run the
// whole agent in-process with stand-ins at the hardware boundary.

#include "platform/loop/AEventLoop.h"
#include "keys/AEventSystemConnection.h"
#include "platform/devices/AHIDServiceSource.h"
#include "platform/ports/AMessagePort.h"
#include "platform/bus/APowerMonitor.h"
#include "prefs/ATypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class AAlertPresenter;
class ADevice;
class AHIDDevice;
class APrefController;
class ADistributedNotificationCenter;

// What the agent is given of the system. Not owned by the manager, except
// what the factories make.
struct AAgentEnvironment {
    AEventLoop* fLoop = nullptr;
    AHIDServiceSource* fHIDServices = nullptr;
    ADistributedNotificationCenter* fNotifications = nullptr;
    // Opens the event-system connection (RegisterIOHIDSystemPort); null on failure.
    std::function<std::unique_ptr<AEventSystemConnection>()> fOpenEventSystem;
    // Registers for sleep and wake (RegisterPowerManagement); null when
    // there is no power handling to be had.
    std::function<std::unique_ptr<APowerMonitor>(class ADeviceManager&)> fOpenPowerMonitor;
    // The agent's resource folder (its scripts).
    std::string fResourceFolder;
    // Where the agent's alerts go; null: the desktop's notifications.
    AAlertPresenter* fAlerts = nullptr;
};

class ADeviceManager {
public:
    explicit ADeviceManager(AAgentEnvironment environment);
    virtual ~ADeviceManager();
    ADeviceManager(const ADeviceManager&) = delete;
    ADeviceManager& operator=(const ADeviceManager&) = delete;

    bool Setup();
    bool Detach();

    void RegisterPrefNotification();
    void UnregisterPrefNotification();
    void RegisterPrefListHandler();
    void UnregisterPrefListHandler();
    void RegisterMouseClickHandler();
    void UnregisterMouseClickHandler();
    void RegisterKeyStrokeHandler();
    void UnregisterKeyStrokeHandler();
    void RegisterIOHIDSystemPort();
    void UnregisterIOHIDSystemPort();
    void RegisterPowerManagement();
    void UnregisterPowerManagement();

    // The power monitor's callback: will sleep, has powered on.
    static void PowerManagementCallback(void* refCon, APowerMessage message);
    void PrepareForSleep();
    bool WakeUp();
    static void PrefNotificationCallback(ADistributedNotificationCenter* center, void* observer,
                                         std::string_view name, std::string_view object);
    void ReloadPreferences();
    AEventSystemPort GetIOHIDSystemPort() const;
    // Whether this manager serves all its message ports' names (false when
    // another agent of the user already holds them); the program does not
    // run a second agent beside the first.
    bool HoldsMessagePorts() const;

    // Device discovery.
    EDeviceType QueryDeviceType(const AHIDService& service) const;
    bool AddHIDDevice(const AHIDService& service, EDeviceType type);
    static void HIDDeviceDetected(void* refCon, const std::vector<AHIDService>& services);
    bool RemoveHIDDevice(const AHIDService& service);
    static void HIDDeviceRemoved(void* refCon, const std::vector<AHIDService>& services);
    const ADevice* GetDevice(EDeviceType type) const;
    uint8_t GetNumHIDDevices() const;
    // The open device behind a click message's device reference; null when
    // the reference is stale or was never handed out.
    AHIDDevice* FindHIDDevice(uint32_t reference) const;

    // Button action dispatch.
    static std::optional<AMessageData> MouseClickHandler(ALocalMessagePort* port, int32_t messageId,
                                                         const AMessageData* payload, void* info);
    // Plays a key-code list in its stored form, exactly as a key-stroke mapping.
    static std::optional<AMessageData> KeyStrokeHandler(ALocalMessagePort* port, int32_t messageId,
                                                        const AMessageData* payload, void* info);

    // Device list service.
    static std::optional<AMessageData> PrefListHandler(ALocalMessagePort* port, int32_t messageId,
                                                       const AMessageData* payload, void* info);
    AMessageData GetDevices() const;

    APrefController* GetPrefController() const { return fPrefController.get(); }

private:
    // Creates the store when there is none, else reloads it; a failure
    // leaves the store empty and is reported (ReportStoreFailure).
    void LoadStore();
    void ReportStoreFailure(const std::string& why);
    AAlertPresenter& GetAlertPresenter() const;

    AAgentEnvironment fEnvironment;
    std::unique_ptr<AHIDServiceWatch> fNotifyPort;          // device arrivals and removals
    std::unique_ptr<ALocalMessagePort> fMouseClickPort;
    std::unique_ptr<APowerMonitor> fPowerNotifier;          // sleep and wake
    std::unique_ptr<ALocalMessagePort> fPrefListPort;
    std::unique_ptr<ALocalMessagePort> fKeyStrokePort;
    std::unique_ptr<AEventSystemConnection> fIOHIDSystemPort;
    std::vector<std::unique_ptr<AHIDDevice>> fHIDDevices;  // in order of arrival
    std::unique_ptr<APrefController> fPrefController;
    bool fPrefNotificationRegistered = false;
    // The store failure last reported to the user; none after a good load.
    std::optional<std::string> fReportedStoreFailure;
    uint32_t fNextDeviceReference = 1;
};
