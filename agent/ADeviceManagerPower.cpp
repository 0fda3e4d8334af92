// Sleep and wake: before the system sleeps the agent tells listeners that its
// devices are going away and detaches everything but the power registration
// and the store; after wake it sets up again from scratch.

#include "agent/ADeviceManager.h"
#include "base/AMessageNames.h"

#include "platform/bus/ADistributedNotificationCenter.h"

void ADeviceManager::RegisterPowerManagement()
{
    // No monitor (no system bus, no logind): the agent does not react to
    // sleep and wake.
    if (!fPowerNotifier && fEnvironment.fOpenPowerMonitor)
        fPowerNotifier = fEnvironment.fOpenPowerMonitor(*this);
}

void ADeviceManager::UnregisterPowerManagement()
{
    fPowerNotifier.reset();
}

void ADeviceManager::PowerManagementCallback(void* refCon, APowerMessage message)
{
    auto* manager = static_cast<ADeviceManager*>(refCon);
    if (manager == nullptr)
        return;
    switch (message) {
    case APowerMessage::kSystemWillSleep:
        manager->PrepareForSleep();
        break;
    case APowerMessage::kSystemHasPoweredOn:
        manager->WakeUp();
        break;
    }
}

void ADeviceManager::PrepareForSleep()
{
    if (fEnvironment.fNotifications != nullptr)
        fEnvironment.fNotifications->PostNotification(kDevicesChangedNotification, std::nullopt);
    Detach();
}

bool ADeviceManager::WakeUp()
{
    // A wake without a sleep before it (a failed suspend the agent started
    // in the middle of) must not open the devices a second time.
    Detach();
    return Setup();
}
