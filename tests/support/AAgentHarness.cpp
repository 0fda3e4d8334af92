#include "tests/support/AAgentHarness.h"

#include "platform/input/AEvdevEventSystem.h"

#include "tests/support/ARecordingVirtualKeyboard.h"

#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

namespace {

// A mouse (report 1: buttons 1-5, X, Y) and a keyboard (report 2: one array
// slot of usages 0-0x65), as the maker's devices describe themselves.
const std::vector<uint8_t> kDeviceDescriptor = {
    0x05, 0x01, 0x09, 0x02, 0xA1, 0x01,              // Generic Desktop, Mouse, Application
    0x85, 0x01, 0x09, 0x01, 0xA1, 0x00,              //   report 1, Pointer, Physical
    0x05, 0x09, 0x19, 0x01, 0x29, 0x05,              //     Button 1-5
    0x15, 0x00, 0x25, 0x01, 0x95, 0x05, 0x75, 0x01,  //     0..1, 5 x 1 bit
    0x81, 0x02,                                      //     Input (Data, Var, Abs)
    0x95, 0x01, 0x75, 0x03, 0x81, 0x03,              //     3 bits padding
    0x05, 0x01, 0x09, 0x30, 0x09, 0x31,              //     X, Y
    0x15, 0x81, 0x25, 0x7F, 0x75, 0x08, 0x95, 0x02,  //     -127..127, 2 x 8 bits
    0x81, 0x06,                                      //     Input (Data, Var, Rel)
    0xC0, 0xC0,                                      //   End, End
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,              // Generic Desktop, Keyboard, Application
    0x85, 0x02, 0x05, 0x07,                          //   report 2, Keyboard page
    0x19, 0x00, 0x29, 0x65, 0x15, 0x00, 0x25, 0x65,  //   usages 0-0x65
    0x75, 0x08, 0x95, 0x01, 0x81, 0x00,              //   1 x 8 bits, Input (Data, Array)
    0xC0,                                            // End
};

struct AInputReports {
    std::vector<uint8_t> fPress;
    std::vector<uint8_t> fRelease;
};

AInputReports ReportsOf(AAgentHarness::AInput input)
{
    switch (input) {
    case AAgentHarness::kButton5:
        return {{0x01, 0x10, 0, 0}, {0x01, 0x00, 0, 0}};
    case AAgentHarness::kButton4:
        return {{0x01, 0x08, 0, 0}, {0x01, 0x00, 0, 0}};
    case AAgentHarness::kBracketLeft:
        return {{0x02, 0x2F}, {0x02, 0x00}};
    case AAgentHarness::kBracketRight:
        return {{0x02, 0x30}, {0x02, 0x00}};
    case AAgentHarness::kKeyB:
        return {{0x02, 0x05}, {0x02, 0x00}};
    case AAgentHarness::kKeyP:
        return {{0x02, 0x13}, {0x02, 0x00}};
    }
    return {};
}

// Lets the manager own a connection while the harness keeps the record.
class AForwardingEventSystem : public AEventSystemConnection {
public:
    explicit AForwardingEventSystem(AEventSystemConnection& target) : fTarget(target) {}
    bool PostEvent(uint32_t eventType, const ANXEventData& data, uint32_t dataVersion, uint32_t eventFlags,
                   uint32_t options) override
    {
        return fTarget.PostEvent(eventType, data, dataVersion, eventFlags, options);
    }

private:
    AEventSystemConnection& fTarget;
};

std::string EscapeAttribute(const std::string& text)
{
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

uint32_t ProductOf(const std::string& type)
{
    return type == "btmouse" ? 1002 : type == "presenter" ? 2001 : 1001;
}

} // namespace

std::string MappingXml(const std::vector<AMappedDevice>& devices)
{
    std::ostringstream xml;
    xml << "<?xml version=\"1.0\"?>\n<devices>\n";
    for (const AMappedDevice& device : devices) {
        xml << "  <device device_type=\"" << device.fType << "\" vid=\"" << kVendorID << "\" pid=\""
            << ProductOf(device.fType) << "\" presentation_type=\"" << device.fPresentationType << "\">\n";
        for (const AMappedEvent& event : device.fEvents)
            xml << "    <event id=\"" << event.fId << "\" launch_type=\"" << event.fLaunchType
                << "\" launch_arg=\"" << EscapeAttribute(event.fLaunchArg) << "\"/>\n";
        xml << "  </device>\n";
    }
    xml << "</devices>\n";
    return xml.str();
}

AAgentHarness::AAgentHarness(AKeyboard keyboard, AResources resources)
    : fBin(fSession.MakeFolder("bin")),
      fResources(resources == AResources::kBuild ? BuildDataFolder() : fSession.MakeFolder("resources")),
      fRunLog(fSession.Root() / "runs.log"),
      // The stand-in xdg-open first, then the build's programs (the real
      // scripts call nuvexactl), then the system's.
      fPathVariable("PATH", fBin.string() + ":" + BuildBinaryPath("").string() + ":" +
                                (getenv("PATH") != nullptr ? getenv("PATH") : "/usr/bin:/bin")),
      fKeyboard(keyboard)
{
    WriteWholeFile(fRunLog, "");
    const auto xdgOpen = fBin / "xdg-open";
    WriteWholeFile(xdgOpen, "#!/bin/sh\nprintf 'xdg-open %s\\n' \"$1\" >> '" + fRunLog.string() +
                                "'\ncase \"$1\" in *missing*) echo \"xdg-open: file '$1' does not exist\" >&2;; esac\n");
    chmod(xdgOpen.c_str(), 0755);
    if (resources == AResources::kStandIn) {
        for (const char* name : {"SafariBack.scpt", "SafariForward.scpt", "FirefoxForward.scpt", "FirefoxBack.scpt",
                                 "iTunesPlayPause.scpt", "iTunesStop.scpt", "PowerPointStart.scpt"})
            WriteScript(name);
    }
}

AAgentHarness::~AAgentHarness()
{
    Stop();
}

void AAgentHarness::WriteScript(const std::string& name, const std::string& body)
{
    const auto path = fResources / name;
    WriteWholeFile(path, "#!/bin/sh\nprintf '%s\\n' '" + name + "' >> '" + fRunLog.string() + "'\n" + body + "\n");
    chmod(path.c_str(), 0755);
}

void AAgentHarness::WriteMapping(const std::string& xml)
{
    std::filesystem::create_directories(ConfigFolder() / "Nuvexa");
    WriteWholeFile(ConfigFolder() / "Nuvexa" / "mapping.xml", xml);
}

void AAgentHarness::Start(std::function<std::unique_ptr<APowerMonitor>(ADeviceManager&)> openPowerMonitor)
{
    AAgentEnvironment environment;
    environment.fLoop = &fLoop;
    environment.fHIDServices = &fHID;
    environment.fNotifications = &fNotifications;
    environment.fOpenEventSystem = [this]() -> std::unique_ptr<AEventSystemConnection> {
        ++fOpenedKeyboards;
        if (fKeyboard == AKeyboard::kNX)
            return std::make_unique<AForwardingEventSystem>(fNXEvents);
        auto keyboard = std::make_unique<ARecordingVirtualKeyboard>();
        fKeyEvents = keyboard->Record();
        return std::make_unique<AEvdevEventSystem>(std::move(keyboard));
    };
    environment.fOpenPowerMonitor = std::move(openPowerMonitor);
    environment.fResourceFolder = fResources.string();
    environment.fAlerts = &fAlerts;
    fManager = std::make_unique<ADeviceManager>(std::move(environment));
    fManager->Setup();
}

void AAgentHarness::Stop()
{
    if (fManager) {
        fManager->Detach();
        fManager.reset();
    }
}

AStandInHIDBackend::AHandle AAgentHarness::AttachDevice(uint32_t productID)
{
    const auto device = fHID.AddDevice(kVendorID, productID, kDeviceDescriptor);
    const size_t before = fManager->GetNumHIDDevices();
    fHID.Arrive({device});
    if (!RunUntil([&] { return fManager->GetNumHIDDevices() == before + 1; }))
        throw std::runtime_error("the agent did not open the device");
    return device;
}

bool AAgentHarness::Press(AStandInHIDBackend::AHandle device, AInput input)
{
    const AInputReports reports = ReportsOf(input);
    return fHID.SendReport(device, reports.fPress) && fHID.SendReport(device, reports.fRelease);
}

bool AAgentHarness::RunUntil(const std::function<bool()>& predicate, double seconds)
{
    return fLoop.RunUntil(predicate, static_cast<uint64_t>(seconds * 1e6));
}

bool AAgentHarness::Reload(const std::function<bool()>& reloaded)
{
    fNotifications.PostNotification("NuvexaAgent", "PrefChange");
    return RunUntil(reloaded);
}

std::vector<std::string> AAgentHarness::ScriptRuns() const
{
    std::vector<std::string> runs;
    std::istringstream lines(ReadWholeFile(fRunLog));
    for (std::string line; std::getline(lines, line);)
        runs.push_back(line);
    return runs;
}

const std::vector<AEvdevEvent>& AAgentHarness::KeyEvents() const
{
    static const std::vector<AEvdevEvent> kNone;
    return fKeyEvents ? *fKeyEvents : kNone;
}

std::string AAgentHarness::KeyEventsText() const
{
    return FormatEvdevEvents(KeyEvents());
}

void AAgentHarness::ClearKeyEvents()
{
    if (fKeyEvents)
        fKeyEvents->clear();
}
