// The button action dispatcher: each message on "MouseClickPort" becomes the
// action the user mapped to that button, performed on the agent's loop, one
// at a time in arrival order. "KeyStrokePort" plays a key-code list the way a
// key-stroke mapping does.

#include "agent/ADeviceManager.h"

#include "agent/AButtonActions.h"
#include "agent/AHIDDevice.h"
#include "agent/AKeySteps.h"
#include "agent/ExecAppleScript.h"
#include "agent/ExecTask.h"
#include "prefs/ADevice.h"
#include "prefs/AEvent.h"
#include "prefs/AException.h"
#include "prefs/ALeadingInteger.h"

#include <cstring>
#include <filesystem>
#include <string>

namespace {

// Button message: the button id, then the sending device's reference.
constexpr size_t kButtonReferenceWord = 1;
// Presentation message: thirteen words of the sending device's record;
// word 0 its reference, word 4 its device type.
constexpr size_t kPresentationReferenceWord = 0;
constexpr size_t kPresentationTypeWord = 4;

uint32_t ReadWord(const AMessageData& payload, size_t index)
{
    uint32_t word = 0;
    std::memcpy(&word, payload.data() + index * sizeof word, sizeof word);
    return word;
}

std::string ResourcePath(const std::string& folder, const char* name)
{
    return (std::filesystem::path(folder) / name).string();
}

void RunScriptIfPresent(const std::string& path)
{
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error))
        ExecAppleScript(path);
}

// One button's action. Failures the actions raise end here.
void PerformButtonAction(AEventSystemPort port, const std::string& resources, AAlertPresenter& alerts,
                         int32_t buttonId, ELaunchType launchType, const std::optional<std::string>& argument)
{
    try {
        switch (launchType) {
        case kLaunchDefault:
            if (const AButtonAction* action = FindDefaultAction(buttonId))
                ExecAppleScript(ResourcePath(resources, action->fScript));
            break;
        case kLaunchAppleScript:
            if (argument)
                ExecAppleScript(*argument);
            break;
        case kLaunchExec:
            if (argument)
                ExecTask(&*argument, alerts);
            break;
        case kLaunchKeystroke:
            if (argument && !argument->empty())
                PlayKeyStrokeList(port, *argument);
            break;
        case kLaunchPredefinedKeys:
            if (!argument)
                break;
            if (const AButtonAction* function =
                    FindPredefinedFunction(static_cast<uint16_t>(ReadLeadingInteger(*argument)))) {
                // A predefined script that is missing is skipped silently.
                if (function->fScript != nullptr)
                    RunScriptIfPresent(ResourcePath(resources, function->fScript));
                else
                    PlayKeySteps(port, function->fKeySteps);
            }
            break;
        default:
            break;
        }
    } catch (const AException&) {
        // A failed action is dropped on purpose: the next press is handled as usual.
    }
}

} // namespace

std::optional<AMessageData> ADeviceManager::MouseClickHandler(ALocalMessagePort*, int32_t messageId,
                                                              const AMessageData* payload, void* info)
{
    auto* manager = static_cast<ADeviceManager*>(info);
    if (manager == nullptr || payload == nullptr)
        return std::nullopt;

    if (messageId == kClickMsgButton) {
        if (payload->size() != kClickButtonPayloadSize)
            return std::nullopt;
        int32_t buttonId = 0;
        std::memcpy(&buttonId, payload->data(), sizeof buttonId);
        // A reference that is not in the device set (a device gone since the
        // press, or a message made up by another process) is not acted on.
        const AHIDDevice* device = manager->FindHIDDevice(ReadWord(*payload, kButtonReferenceWord));
        if (device == nullptr)
            return std::nullopt;
        ELaunchType launchType = kLaunchDefault;
        std::optional<std::string> argument;
        if (const ADevice* record = manager->GetDevice(device->GetDeviceType())) {
            if (const AEvent* event = record->GetEvent(buttonId)) {
                launchType = event->GetLaunchType();
                argument = event->GetLaunchArg();
            }
        }
        PerformButtonAction(manager->GetIOHIDSystemPort(), manager->fEnvironment.fResourceFolder,
                            manager->GetAlertPresenter(), buttonId, launchType, argument);
    } else if (messageId == kClickMsgPresentation) {
        if (payload->size() != kClickPresentationPayloadSize)
            return std::nullopt;
        // The device's own type counts, not the type word of the message, so
        // that a made-up message cannot pick another device's action.
        const AHIDDevice* device = manager->FindHIDDevice(ReadWord(*payload, kPresentationReferenceWord));
        if (device == nullptr ||
            static_cast<EDeviceType>(ReadWord(*payload, kPresentationTypeWord)) != device->GetDeviceType())
            return std::nullopt;
        const ADevice* record = manager->GetDevice(device->GetDeviceType());
        const AButtonAction* action = FindPresentationAction(record != nullptr ? record->GetPresentationType() : 0);
        if (action == nullptr)
            return std::nullopt;
        if (action->fScript == nullptr) {
            PlayKeySteps(manager->GetIOHIDSystemPort(), action->fKeySteps);
        } else {
            try {
                ExecAppleScript(ResourcePath(manager->fEnvironment.fResourceFolder, action->fScript));
            } catch (const AException&) {
                // Dropped on purpose, like every failed button action.
            }
        }
    }
    // The sender never waits for a reply.
    return std::nullopt;
}

std::optional<AMessageData> ADeviceManager::KeyStrokeHandler(ALocalMessagePort*, int32_t,
                                                             const AMessageData* payload, void* info)
{
    auto* manager = static_cast<ADeviceManager*>(info);
    if (manager == nullptr || payload == nullptr)
        return std::nullopt;
    const std::string_view text(reinterpret_cast<const char*>(payload->data()), payload->size());
    PlayKeyStrokeList(manager->GetIOHIDSystemPort(), text);
    return std::nullopt;
}
