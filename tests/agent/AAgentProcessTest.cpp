// The real nuvexa-agent program: started on private buses with a private
// runtime and configuration folder (no devices, no /dev/uinput, no logind
// here - it must run all the same), asked for its devices by the real
// nuvexactl, interrupted and stopped.

#include "platform/ports/AMessagePort.h"

#include "tests/support/AAgentSession.h"
#include "tests/support/AChildProgram.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace {

const std::string kReport = "nuvexa-agent: cannot read the button mappings: PrefController: ";

size_t CountOccurrences(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

class AAgentProcessTest : public ::testing::Test {
protected:
    // No system bus: the agent runs without sleep and wake handling.
    AAgentProcessTest()
        : fSystemBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (fSession.Root() / "no-system-bus").string())
    {
    }

    std::unique_ptr<AChildProgram> StartAgent()
    {
        return std::make_unique<AChildProgram>(BuildBinaryPath("nuvexa-agent"), std::vector<std::string>{});
    }

    // Ready once its device list port answers.
    static bool WaitUntilServing(AChildProgram& agent)
    {
        return WaitFor([&] { return !agent.IsRunning() || ARemoteMessagePort::Create("MouseListPort") != nullptr; }) &&
               agent.IsRunning();
    }

    AProgramResult Nuvexactl(const std::vector<std::string>& arguments)
    {
        return RunProgram(BuildBinaryPath("nuvexactl"), arguments);
    }

    AAgentSession fSession;
    AScopedEnvironment fSystemBus;
};

} // namespace

TEST_F(AAgentProcessTest, RunsWithoutDevicesAndEndsOnInterruptWithTheMessageAndStatusZero)
{
    auto agent = StartAgent();
    ASSERT_TRUE(WaitUntilServing(*agent)) << agent->Stderr();

    const AProgramResult devices = Nuvexactl({"devices", "--json"});
    EXPECT_EQ(devices.fStatus, 0) << devices.fStderr;
    EXPECT_EQ(devices.fStdout, "{\"devices\":[]}\n");

    agent->Signal(SIGINT);
    EXPECT_EQ(agent->Wait(10.0), 0);
    EXPECT_EQ(agent->Stdout(), "\nInterrupted...\n");
    // Every port name is given up.
    EXPECT_EQ(ARemoteMessagePort::Create("MouseListPort"), nullptr);
    EXPECT_EQ(ARemoteMessagePort::Create("MouseClickPort"), nullptr);
    EXPECT_EQ(ARemoteMessagePort::Create("KeyStrokePort"), nullptr);
}

TEST_F(AAgentProcessTest, StopsCleanlyOnTerminateAsSystemdStopsIt)
{
    auto agent = StartAgent();
    ASSERT_TRUE(WaitUntilServing(*agent)) << agent->Stderr();
    agent->Signal(SIGTERM);
    EXPECT_EQ(agent->Wait(10.0), 0);
    EXPECT_EQ(agent->Stdout(), "");
    EXPECT_EQ(ARemoteMessagePort::Create("MouseClickPort"), nullptr);
}

TEST_F(AAgentProcessTest, ASecondAgentSaysSoAndExitsLeavingTheFirstServing)
{
    auto first = StartAgent();
    ASSERT_TRUE(WaitUntilServing(*first)) << first->Stderr();

    auto second = StartAgent();
    EXPECT_EQ(second->Wait(10.0), 3);
    EXPECT_NE(second->Stderr().find("another agent is already running"), std::string::npos) << second->Stderr();

    EXPECT_TRUE(first->IsRunning());
    const AProgramResult devices = Nuvexactl({"devices", "--json"});
    EXPECT_EQ(devices.fStatus, 0);
    EXPECT_EQ(devices.fStdout, "{\"devices\":[]}\n");
}

TEST_F(AAgentProcessTest, AStoreThatCannotBeCreatedIsReportedOnceAndTheAgentRuns)
{
    // A plain file where the store's folder belongs.
    WriteWholeFile(fSession.ConfigFolder() / "Nuvexa", "not a folder");
    auto agent = StartAgent();
    ASSERT_TRUE(WaitUntilServing(*agent)) << agent->Stderr();
    ASSERT_TRUE(WaitFor([&] { return agent->Stderr().find("Could not locate config file") != std::string::npos; }));

    // Reloads that fail the same way stay quiet...
    EXPECT_EQ(Nuvexactl({"reload"}).fStatus, 0);
    EXPECT_EQ(Nuvexactl({"reload"}).fStatus, 0);
    // ...a different failure is heard (and, arriving after them, shows that
    // both reloads above were handled).
    std::filesystem::remove(fSession.ConfigFolder() / "Nuvexa");
    std::filesystem::create_directories(fSession.ConfigFolder() / "Nuvexa" / "mapping.xml");
    EXPECT_EQ(Nuvexactl({"reload"}).fStatus, 0);
    ASSERT_TRUE(WaitFor([&] { return agent->Stderr().find("Error loading preferences") != std::string::npos; }))
        << agent->Stderr();
    // Said once on standard error (the desktop alert, with no notification
    // service on this bus, falls back to standard error under its own title).
    EXPECT_EQ(CountOccurrences(agent->Stderr(), kReport + "Could not locate config file"), 1u) << agent->Stderr();
    EXPECT_TRUE(agent->IsRunning());

    // Repaired: the store loads, and the agent still answers.
    std::filesystem::remove(fSession.ConfigFolder() / "Nuvexa" / "mapping.xml");
    EXPECT_EQ(Nuvexactl({"reload"}).fStatus, 0);
    EXPECT_EQ(Nuvexactl({"devices", "--json"}).fStdout, "{\"devices\":[]}\n");
    EXPECT_EQ(CountOccurrences(agent->Stderr(), kReport + "Error loading preferences"), 1u) << agent->Stderr();
}

TEST_F(AAgentProcessTest, RefusesUnknownOptions)
{
    const AProgramResult result = RunProgram(BuildBinaryPath("nuvexa-agent"), {"--bogus"});
    EXPECT_EQ(result.fStatus, 2);
    EXPECT_NE(result.fStderr.find("unknown option '--bogus'"), std::string::npos);
    EXPECT_EQ(ARemoteMessagePort::Create("MouseClickPort"), nullptr);
}
