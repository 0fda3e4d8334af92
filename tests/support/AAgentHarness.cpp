#include "tests/support/AAgentHarness.h"

#include "platform/input/AEvdevEventSystem.h"

#include <pugixml.hpp>

#include <cstdlib>
#include <sstream>
#include <stdexcept>

constexpr const char* kBarrier = "NuvexaTestBarrier";

std::string MappingXml(const std::vector<AMappedDevice>& devices)
{
    pugi::xml_document document;
    pugi::xml_node root = document.append_child("devices");
    for (const AMappedDevice& device : devices) {
        pugi::xml_node record = root.append_child("device");
        record.append_attribute("device_type") = device.fType.c_str();
        record.append_attribute("vid") = kVendorID;
        record.append_attribute("pid") = device.fType == "btmouse"     ? kProductBTMouse
                                         : device.fType == "presenter" ? kProductPresenter
                                                                       : kProductRFMouse;
        record.append_attribute("presentation_type") = device.fPresentationType;
        for (const AMappedEvent& event : device.fEvents) {
            pugi::xml_node mapped = record.append_child("event");
            mapped.append_attribute("id") = event.fId;
            mapped.append_attribute("launch_type") = event.fLaunchType.c_str();
            mapped.append_attribute("launch_arg") = event.fLaunchArg.c_str();
        }
    }
    std::ostringstream xml;
    document.save(xml);
    return xml.str();
}

std::vector<uint8_t> AgentDescriptor(const std::string& name)
{
    return ReadHexFixture(FixturePath("agent/" + name + ".hex"));
}

AAgentHarness::AAgentHarness(AResources resources)
    : fResources(resources == AResources::kBuild ? BuildDataFolder() : fSession.MakeFolder("resources")),
      fRunLog("NUVEXA_RUN_LOG", (fSession.Root() / "runs.log").string()),
      // The stand-in xdg-open first, then the build's programs (the real
      // scripts call nuvexactl), then the system's.
      fPathVariable("PATH", FixturePath("agent/bin").string() + ":" + BuildBinaryPath("").string() + ":" +
                                (getenv("PATH") != nullptr ? getenv("PATH") : "/usr/bin:/bin"))
{
    WriteWholeFile(fSession.Root() / "runs.log", "");
    if (resources == AResources::kStandIn)
        std::filesystem::copy(FixturePath("agent/resources"), fResources, std::filesystem::copy_options::recursive);
    const auto heard = [](ADistributedNotificationCenter*, void* harness, std::string_view name, std::string_view) {
        auto* self = static_cast<AAgentHarness*>(harness);
        ++(name == kBarrier ? self->fBarriers : self->fChanges);
    };
    fNotifications.AddObserver(this, heard, "NuvexaPreferences", std::nullopt);
    fNotifications.AddObserver(this, heard, kBarrier, std::nullopt);
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

AAgentHarness::~AAgentHarness()
{
    if (fManager)
        fManager->Detach();
}

AStandInHIDBackend::AHandle AAgentHarness::AttachDevice(uint32_t productID, const std::vector<uint8_t>& descriptor)
{
    const auto device = fHID.AddDevice(kVendorID, productID, descriptor);
    const size_t before = fManager->GetNumHIDDevices();
    fHID.Arrive({device});
    if (!RunUntil([&] { return fManager->GetNumHIDDevices() == before + 1; }))
        throw std::runtime_error("the agent did not open the device");
    return device;
}

bool AAgentHarness::Press(AStandInHIDBackend::AHandle device, AInput input)
{
    // Report 1 holds the mouse buttons (button n is bit n-1), report 2 the
    // keyboard usage.
    static const std::pair<uint8_t, uint8_t> kPresses[] = {{1, 0x10}, {1, 0x08}, {2, 0x2F},
                                                           {2, 0x30}, {2, 0x05}, {2, 0x13}};
    const auto [reportID, bits] = kPresses[input];
    const uint8_t press[] = {reportID, bits, 0, 0}, release[] = {reportID, 0, 0, 0};
    const size_t size = reportID == 1 ? 4 : 2;
    return fHID.SendReport(device, {press, size}) && fHID.SendReport(device, {release, size});
}

bool AAgentHarness::RunUntil(const std::function<bool()>& predicate, double seconds)
{
    return fLoop.RunUntil(predicate, static_cast<uint64_t>(seconds * 1e6));
}

int AAgentHarness::Barrier()
{
    const int barriers = fBarriers;
    fNotifications.PostNotification(kBarrier, std::nullopt);
    if (!RunUntil([&] { return fBarriers == barriers + 1; }))
        throw std::runtime_error("the barrier never arrived");
    return std::exchange(fChanges, 0);
}
