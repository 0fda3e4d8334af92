#include "agent/ADeviceManager.h"

#include "agent/AHIDDevice.h"
#include "base/AMessageNames.h"
#include "base/AProduct.h"
#include "platform/bus/ADesktopAlertPresenter.h"
#include "platform/bus/ADistributedNotificationCenter.h"
#include "prefs/APrefController.h"
#include "prefs/AException.h"

#include <cstdio>

namespace {


} // namespace

ADeviceManager::ADeviceManager(AAgentEnvironment environment) : fEnvironment(std::move(environment))
{
    RegisterPowerManagement();
    LoadStore();
}

ADeviceManager::~ADeviceManager()
{
    fPrefController.reset();
    UnregisterPowerManagement();
    Detach();
}

bool ADeviceManager::Setup()
{
    RegisterPrefNotification();
    RegisterPrefListHandler();
    RegisterMouseClickHandler();
    RegisterKeyStrokeHandler();
    RegisterIOHIDSystemPort();
    // Already watching: the devices present were opened when the watch began.
    if (fNotifyPort)
        return true;
    if (fEnvironment.fLoop == nullptr || fEnvironment.fHIDServices == nullptr)
        return false;
    fNotifyPort = fEnvironment.fHIDServices->Watch(*fEnvironment.fLoop, kVendorID, HIDDeviceDetected,
                                                   HIDDeviceRemoved, this);
    if (!fNotifyPort)
        return false;
    // The watch runs first, so that nothing arriving meanwhile is missed; this
    // opens the devices already attached.
    HIDDeviceDetected(this, fEnvironment.fHIDServices->Enumerate(kVendorID));
    return true;
}

bool ADeviceManager::Detach()
{
    UnregisterIOHIDSystemPort();
    UnregisterPrefNotification();
    UnregisterPrefListHandler();
    UnregisterMouseClickHandler();
    UnregisterKeyStrokeHandler();
    fNotifyPort.reset();
    for (auto& device : fHIDDevices)
        device.reset();
    fHIDDevices.clear();
    return true;
}

void ADeviceManager::RegisterPrefNotification()
{
    if (fPrefNotificationRegistered || fEnvironment.fNotifications == nullptr)
        return;
    fPrefNotificationRegistered = fEnvironment.fNotifications->AddObserver(
        this, PrefNotificationCallback, kReloadNotification, kReloadNotificationObject);
}

void ADeviceManager::UnregisterPrefNotification()
{
    if (!fPrefNotificationRegistered)
        return;
    fEnvironment.fNotifications->RemoveObserver(this, kReloadNotification, kReloadNotificationObject);
    fPrefNotificationRegistered = false;
}

void ADeviceManager::RegisterPrefListHandler()
{
    // A name held by another process is simply not served here.
    if (!fPrefListPort && fEnvironment.fLoop != nullptr)
        fPrefListPort = ALocalMessagePort::Create(*fEnvironment.fLoop, kMouseListPortName, PrefListHandler, this);
}

void ADeviceManager::UnregisterPrefListHandler()
{
    fPrefListPort.reset();
}

void ADeviceManager::RegisterMouseClickHandler()
{
    if (!fMouseClickPort && fEnvironment.fLoop != nullptr)
        fMouseClickPort =
            ALocalMessagePort::Create(*fEnvironment.fLoop, kMouseClickPortName, MouseClickHandler, this);
}

void ADeviceManager::UnregisterMouseClickHandler()
{
    fMouseClickPort.reset();
}

void ADeviceManager::RegisterKeyStrokeHandler()
{
    if (!fKeyStrokePort && fEnvironment.fLoop != nullptr)
        fKeyStrokePort = ALocalMessagePort::Create(*fEnvironment.fLoop, kKeyStrokePortName, KeyStrokeHandler, this);
}

void ADeviceManager::UnregisterKeyStrokeHandler()
{
    fKeyStrokePort.reset();
}

void ADeviceManager::RegisterIOHIDSystemPort()
{
    // Without a connection every key post is a no-op.
    if (!fIOHIDSystemPort && fEnvironment.fOpenEventSystem)
        fIOHIDSystemPort = fEnvironment.fOpenEventSystem();
}

void ADeviceManager::UnregisterIOHIDSystemPort()
{
    fIOHIDSystemPort.reset();
}

void ADeviceManager::PrefNotificationCallback(ADistributedNotificationCenter*, void* observer, std::string_view,
                                              std::string_view)
{
    // The centre delivers only "NuvexaAgent" with the object "PrefChange".
    if (observer != nullptr)
        static_cast<ADeviceManager*>(observer)->ReloadPreferences();
}

void ADeviceManager::ReloadPreferences()
{
    LoadStore();
}

void ADeviceManager::LoadStore()
{
    try {
        if (fPrefController)
            fPrefController->Load();
        else
            fPrefController = std::make_unique<APrefController>();
        fReportedStoreFailure.reset();
    } catch (const AException& failure) {
        // A failed load has emptied the store; the defaults apply until a
        // later reload succeeds.
        ReportStoreFailure(failure.what());
    }
}

void ADeviceManager::ReportStoreFailure(const std::string& why)
{
    // Said once per failure: a reload that fails the same way stays quiet,
    // a good load (or a different failure) makes the next one heard again.
    if (fReportedStoreFailure == why)
        return;
    fReportedStoreFailure = why;
    std::fprintf(stderr, "nuvexa-agent: cannot read the button mappings: %s\n", why.c_str());
    GetAlertPresenter().ShowAlert(kProductDisplayName,
                                  "The button mappings could not be read (" + why +
                                      "). The buttons keep their default actions until the mapping file can be "
                                      "read; saving the mappings again retries.");
}

AAlertPresenter& ADeviceManager::GetAlertPresenter() const
{
    return fEnvironment.fAlerts != nullptr ? *fEnvironment.fAlerts : DesktopAlertPresenter();
}

AEventSystemPort ADeviceManager::GetIOHIDSystemPort() const
{
    return fIOHIDSystemPort.get();
}

bool ADeviceManager::HoldsMessagePorts() const
{
    return fMouseClickPort && fPrefListPort && fKeyStrokePort;
}
