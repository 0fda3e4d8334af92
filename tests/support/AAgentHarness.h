#pragma once
// The one harness of the agent's tests: the whole agent in this process, on a
// real event loop and real message ports in an AAgentSession, with stand-ins
// only at the hardware boundary - the HID backend, and the virtual keyboard
// behind the real NX-to-evdev translation. Scripts come from a copy of
// tests/fixtures/agent/resources, whose scripts (like the stand-in xdg-open
// first on PATH) record their runs in $NUVEXA_RUN_LOG, or from the build.

#include "agent/ADeviceManager.h"
#include "platform/bus/AAlertPresenter.h"
#include "platform/bus/ADistributedNotificationCenter.h"

#include "tests/support/AAgentSession.h"
#include "tests/support/ARecordingVirtualKeyboard.h"
#include "tests/support/AStandInHIDBackend.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
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
// A "mapping.xml" holding the devices.
std::string MappingXml(const std::vector<AMappedDevice>& devices);
// A report descriptor from tests/fixtures/agent/<name>.hex.
std::vector<uint8_t> AgentDescriptor(const std::string& name);

// Keeps every alert it is asked to show, in order.
class ARecordingAlerts : public AAlertPresenter {
public:
    using AAlert = std::pair<std::string, std::string>;  // the title, the message
    void ShowAlert(const std::string& title, const std::string& text) override { fAlerts.emplace_back(title, text); }
    std::vector<AAlert> fAlerts;
};

class AAgentHarness {
public:
    enum class AResources { kStandIn, kBuild };
    // The inputs a device can press, as device.hex's reports make them.
    enum AInput { kButton5, kButton4, kBracketLeft, kBracketRight, kKeyB, kKeyP };

    explicit AAgentHarness(AResources resources = AResources::kStandIn);
    ~AAgentHarness();
    AAgentHarness(const AAgentHarness&) = delete;
    AAgentHarness& operator=(const AAgentHarness&) = delete;

    void WriteMapping(const std::string& xml);
    // Makes the manager (which loads the store) and sets it up; the harness detaches it at its end.
    void Start(std::function<std::unique_ptr<APowerMonitor>(ADeviceManager&)> openPowerMonitor = {});

    ADeviceManager& Manager() { return *fManager; }
    AEventLoop& Loop() { return fLoop; }
    AStandInHIDBackend& HID() { return fHID; }
    ADistributedNotificationCenter& Notifications() { return fNotifications; }
    const std::filesystem::path& ConfigFolder() const { return fSession.ConfigFolder(); }
    const std::filesystem::path& ResourceFolder() const { return fResources; }

    // A device of the maker (device.hex unless told) attached and opened.
    AStandInHIDBackend::AHandle AttachDevice(uint32_t productID,
                                             const std::vector<uint8_t>& descriptor = AgentDescriptor("device"));
    // A press and release of the input. False when the device took no report.
    bool Press(AStandInHIDBackend::AHandle device, AInput input);

    // Runs the loop until the predicate holds (at most `seconds`).
    bool RunUntil(const std::function<bool()>& predicate, double seconds = 10.0);
    // Runs until a notification posted now comes back on the agent's bus
    // connection, which delivers in order: everything posted before has
    // reached the agent. Answers the "NuvexaPreferences" posts heard since
    // the last barrier.
    int Barrier();

    // What the agent did.
    // The lines the stand-in scripts and xdg-open wrote, in the order they ran.
    std::string ScriptRuns() const { return ReadWholeFile(fSession.Root() / "runs.log"); }
    const std::vector<AEvdevEvent>& KeyEvents() const { return *fKeyEvents; }
    std::string KeyEventsText() const { return FormatEvdevEvents(*fKeyEvents); }
    void ClearKeyEvents() { fKeyEvents->clear(); }
    const std::vector<ARecordingAlerts::AAlert>& Alerts() const { return fAlerts.fAlerts; }

private:
    AAgentSession fSession;
    std::filesystem::path fResources;
    AScopedEnvironment fRunLog;
    AScopedEnvironment fPathVariable;
    AEventLoop fLoop;
    AStandInHIDBackend fHID;
    ADistributedNotificationCenter fNotifications{&fLoop};
    int fChanges = 0;
    int fBarriers = 0;
    ARecordingAlerts fAlerts;
    std::shared_ptr<std::vector<AEvdevEvent>> fKeyEvents = std::make_shared<std::vector<AEvdevEvent>>();
    std::unique_ptr<ADeviceManager> fManager;
};
