#pragma once
// The whole agent in one test process: a real event loop, real message ports
// in a temporary XDG_RUNTIME_DIR, a private session bus, the store on a
// temporary XDG_CONFIG_HOME, and stand-ins only at the hardware boundary -
// the HID backend (devices, reports) and the virtual keyboard behind the real
// NX-to-evdev translation (or, where the NX level is what matters, a
// recording event-system connection). Scripts come from a stand-in resource
// folder whose scripts record their runs, or from the build's real one.
//
//   AAgentHarness agent;
//   agent.WriteMapping(MappingXml({{"btmouse", 0, {{4, "keystroke", "0"}}}}));
//   agent.Start();
//   auto mouse = agent.AttachDevice(kProductBTMouse);
//   agent.Press(mouse, AAgentHarness::kButton5);   // button id 4
//   agent.RunUntil([&] { return agent.KeyEventsText() == "KEY_A down, ..."; });

#include "agent/ADeviceManager.h"
#include "platform/bus/ADistributedNotificationCenter.h"
#include "keys/AVirtualKeyboard.h"

#include "tests/support/AAgentSession.h"
#include "tests/support/ARecordingAlertPresenter.h"
#include "tests/support/ARecordingEventSystem.h"
#include "tests/support/AStandInHIDBackend.h"
#include "tests/support/ATestPaths.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

struct AMappedEvent {
    int fId;
    std::string fLaunchType;  // "default", "applescript", "exec", "keystroke", "predefinedkeys"
    std::string fLaunchArg;
};
struct AMappedDevice {
    std::string fType;  // "rfmouse", "btmouse", "presenter"
    int fPresentationType = 0;
    std::vector<AMappedEvent> fEvents;
};
// A "mapping.xml" holding the devices (attribute values escaped).
std::string MappingXml(const std::vector<AMappedDevice>& devices);

class AAgentHarness {
public:
    enum class AKeyboard { kEvdev, kNX };
    enum class AResources { kStandIn, kBuild };
    // The inputs a device can press, as the stand-in's reports make them.
    enum AInput { kButton5, kButton4, kBracketLeft, kBracketRight, kKeyB, kKeyP };

    explicit AAgentHarness(AKeyboard keyboard = AKeyboard::kEvdev, AResources resources = AResources::kStandIn);
    ~AAgentHarness();
    AAgentHarness(const AAgentHarness&) = delete;
    AAgentHarness& operator=(const AAgentHarness&) = delete;

    void WriteMapping(const std::string& xml);
    // Makes the manager (which loads the store) and sets it up.
    void Start(std::function<std::unique_ptr<APowerMonitor>(ADeviceManager&)> openPowerMonitor = {});
    // Detaches and destroys the manager.
    void Stop();

    ADeviceManager& Manager() { return *fManager; }
    AEventLoop& Loop() { return fLoop; }
    AStandInHIDBackend& HID() { return fHID; }
    ADistributedNotificationCenter& Notifications() { return fNotifications; }
    const std::filesystem::path& ConfigFolder() const { return fSession.ConfigFolder(); }
    const std::filesystem::path& ResourceFolder() const { return fResources; }

    // A device of the maker (with X/Y axes, buttons 1-5 and keyboard keys)
    // attached and opened by the agent.
    AStandInHIDBackend::AHandle AttachDevice(uint32_t productID);
    // A press and release of the input. False when the device took no report.
    bool Press(AStandInHIDBackend::AHandle device, AInput input);

    // Runs the loop until the predicate holds (at most `seconds`).
    bool RunUntil(const std::function<bool()>& predicate, double seconds = 10.0);
    // Posts the reload notification and runs until the store shows the
    // file's change (the predicate over the manager).
    bool Reload(const std::function<bool()>& reloaded);

    // What the agent did.
    std::vector<std::string> ScriptRuns() const;       // stand-in scripts and xdg-open, in order
    const std::vector<AEvdevEvent>& KeyEvents() const;  // of the current virtual keyboard
    std::string KeyEventsText() const;
    void ClearKeyEvents();
    ARecordingEventSystem& NXEvents() { return fNXEvents; }
    const std::vector<ARecordingAlertPresenter::AAlert>& Alerts() const { return fAlerts.Alerts(); }
    int CountOpenedKeyboards() const { return fOpenedKeyboards; }

    // A stand-in script in the resource folder: `body` runs after it has
    // recorded its name.
    void WriteScript(const std::string& name, const std::string& body = {});

private:
    AAgentSession fSession;
    std::filesystem::path fBin;
    std::filesystem::path fResources;
    std::filesystem::path fRunLog;
    AScopedEnvironment fPathVariable;
    AEventLoop fLoop;
    AStandInHIDBackend fHID;
    ADistributedNotificationCenter fNotifications{&fLoop};
    ARecordingAlertPresenter fAlerts;
    AKeyboard fKeyboard;
    ARecordingEventSystem fNXEvents;
    std::shared_ptr<std::vector<AEvdevEvent>> fKeyEvents;
    int fOpenedKeyboards = 0;
    std::unique_ptr<ADeviceManager> fManager;
};
