// nuvexa-agent: the background agent of the Nuvexa Device Controller. It
// builds the one device manager on the real platform (udev devices, the
// uinput keyboard, the session bus, logind), sets it up and serves its event
// loop until it is interrupted (SIGINT) or stopped (SIGTERM, as systemd does).

#include "agent/ADeviceManager.h"
#include "base/AMessageNames.h"
#include "base/AProduct.h"
#include "platform/bus/ADesktopAlertPresenter.h"
#include "platform/bus/ADistributedNotificationCenter.h"
#include "platform/input/AEvdevEventSystem.h"
#include "platform/bus/ALogindPowerMonitor.h"
#include "platform/ports/AMessagePort.h"
#include "platform/devices/AUdevHIDServiceSource.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

ADeviceManager* gDeviceManager = nullptr;

namespace {

// The exit status of an agent that finds another agent of the user serving
// the message ports; the systemd unit does not restart it for that.
constexpr int kExitAlreadyRunning = 3;
constexpr int kExitCannotServe = 1;

// The scripts live in share/nuvexa beside the executable's bin folder, in an
// installation and in the build tree alike.
std::string FindResourceFolder()
{
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    return (executable.parent_path() / ".." / "share" / "nuvexa").lexically_normal().string();
}

void PrintUsage(FILE* out)
{
    std::fprintf(out,
                 "Usage: nuvexa-agent [--help | --version]\n"
                 "The background agent of the %s: performs the action mapped to each\n"
                 "button of the supported devices. Usually run as the systemd user service\n"
                 "nuvexa-agent.service; stop it with Ctrl-C when run by hand.\n",
                 kProductDisplayName);
}

// Ends the agent from its loop: closes everything, then leaves the loop.
void Shutdown(AEventLoop& loop, bool interrupted)
{
    if (interrupted) {
        std::fputs("\nInterrupted...\n", stdout);
        std::fflush(stdout);
    }
    if (gDeviceManager != nullptr) {
        gDeviceManager->Detach();
        delete gDeviceManager;
        gDeviceManager = nullptr;
    }
    loop.Exit(0);
}

int RunAgent()
{
    AEventLoop loop;
    // Both signals are served by the loop, so the cleanup never interrupts
    // the agent's own work.
    AEventSource interrupt = loop.AddSignal(SIGINT, [&loop] { Shutdown(loop, true); });
    AEventSource terminate = loop.AddSignal(SIGTERM, [&loop] { Shutdown(loop, false); });
    if (!interrupt || !terminate) {
        DesktopAlertPresenter().ShowAlert(kProductDisplayName, "Could not create signal handler.");
        return -1;
    }

    ADistributedNotificationCenter notifications(&loop);
    AUdevHIDServiceSource devices;
    AAgentEnvironment environment;
    environment.fLoop = &loop;
    environment.fHIDServices = &devices;
    environment.fNotifications = &notifications;
    environment.fOpenEventSystem = [] { return AEvdevEventSystem::Open(); };
    environment.fOpenPowerMonitor = [&loop](ADeviceManager& manager) -> std::unique_ptr<APowerMonitor> {
        return ALogindPowerMonitor::Open(loop, ADeviceManager::PowerManagementCallback, &manager);
    };
    environment.fResourceFolder = FindResourceFolder();

    gDeviceManager = new ADeviceManager(std::move(environment));
    gDeviceManager->Setup();

    // A second agent would open the same devices and act on every press a
    // second time: one agent per user.
    if (!gDeviceManager->HoldsMessagePorts()) {
        const bool anotherAgent = ARemoteMessagePort::Create(kMouseClickPortName) != nullptr;
        if (anotherAgent)
            std::fprintf(stderr,
                         "nuvexa-agent: another agent is already running for this user; not starting a second one "
                         "(systemctl --user stop nuvexa-agent.service stops the service)\n");
        else
            std::fprintf(stderr, "nuvexa-agent: cannot create the agent's message ports in '%s'\n",
                         GetMessagePortFolder().c_str());
        gDeviceManager->Detach();
        delete gDeviceManager;
        gDeviceManager = nullptr;
        return anotherAgent ? kExitAlreadyRunning : kExitCannotServe;
    }
    return loop.Run() < 0 ? kExitCannotServe : 0;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintUsage(stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("nuvexa-agent %s\n", NUVEXA_VERSION);
            return 0;
        }
        std::fprintf(stderr, "nuvexa-agent: unknown option '%s'\n", argv[i]);
        PrintUsage(stderr);
        return 2;
    }
    try {
        return RunAgent();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "nuvexa-agent: %s\n", failure.what());
        return kExitCannotServe;
    }
}
