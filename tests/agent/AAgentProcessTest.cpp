// The real nuvexa-agent program: started with a private runtime folder,
// configuration folder and session bus (no devices, no /dev/uinput, no
// logind here - it must run all the same), asked by the real nuvexactl,
// interrupted and stopped.

#include "platform/ports/AMessagePort.h"

#include "tests/support/AAgentSession.h"
#include "tests/support/AChildProgram.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

class AAgentProcessTest : public ::testing::Test {
protected:
    // Ready once its device list port answers.
    std::unique_ptr<AChildProgram> StartAgent()
    {
        auto agent = std::make_unique<AChildProgram>(BuildBinaryPath("nuvexa-agent"), std::vector<std::string>{});
        EXPECT_TRUE(WaitFor([&] { return !agent->IsRunning() || ARemoteMessagePort::Create("MouseListPort"); }) &&
                    agent->IsRunning())
            << agent->Stderr();
        return agent;
    }
    AProgramResult Nuvexactl(const std::vector<std::string>& arguments)
    {
        return RunProgram(BuildBinaryPath("nuvexactl"), arguments);
    }

    AAgentSession fSession;
    // No system bus: the agent runs without sleep and wake handling.
    AScopedEnvironment fSystemBus{"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (fSession.Root() / "none").string()};
};

} // namespace

TEST_F(AAgentProcessTest, RunsWithoutDevicesAndEndsOnInterruptOrTerminateWithStatusZero)
{
    for (const auto& [signal, output] : {std::pair{SIGINT, "\nInterrupted...\n"}, {SIGTERM, ""}}) {
        SCOPED_TRACE(strsignal(signal));
        auto agent = StartAgent();
        const AProgramResult devices = Nuvexactl({"devices", "--json"});
        EXPECT_EQ(devices.fStatus, 0) << devices.fStderr;
        EXPECT_EQ(devices.fStdout, "{\"devices\":[]}\n");
        agent->Signal(signal);
        EXPECT_EQ(agent->Wait(10.0), 0);
        EXPECT_EQ(agent->Stdout(), output);
        EXPECT_EQ(CountServedAgentPorts(), 0);  // every port name given up
    }
}

TEST_F(AAgentProcessTest, RefusesUnknownOptionsAndASecondAgentAndRunsWithAStoreItCannotCreate)
{
    const AProgramResult bogus = RunProgram(BuildBinaryPath("nuvexa-agent"), {"--bogus"});
    EXPECT_EQ(bogus.fStatus, 2);
    EXPECT_NE(bogus.fStderr.find("unknown option '--bogus'"), std::string::npos);
    EXPECT_EQ(CountServedAgentPorts(), 0);
    WriteWholeFile(fSession.ConfigFolder() / "Nuvexa", "a file where the folder belongs");
    auto first = StartAgent();
    const AProgramResult second = RunProgram(BuildBinaryPath("nuvexa-agent"), {}, {}, 10.0);
    EXPECT_EQ(second.fStatus, 3);
    EXPECT_NE(second.fStderr.find("another agent is already running"), std::string::npos) << second.fStderr;
    EXPECT_TRUE(first->IsRunning());
    EXPECT_EQ(Nuvexactl({"devices", "--json"}).fStdout, "{\"devices\":[]}\n");
    // With no notification service on this bus the report is on standard error.
    EXPECT_TRUE(WaitFor([&] {
        return first->Stderr().find("nuvexa-agent: cannot read the button mappings: PrefController: Could not "
                                    "locate config file") != std::string::npos;
    })) << first->Stderr();
}
