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

size_t CountOccurrences(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

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

TEST_F(AAgentProcessTest, ASecondAgentSaysSoAndExitsLeavingTheFirstServing)
{
    auto first = StartAgent();
    const AProgramResult second = RunProgram(BuildBinaryPath("nuvexa-agent"), {}, {}, 10.0);
    EXPECT_EQ(second.fStatus, 3);
    EXPECT_NE(second.fStderr.find("another agent is already running"), std::string::npos) << second.fStderr;
    EXPECT_TRUE(first->IsRunning());
    EXPECT_EQ(Nuvexactl({"devices", "--json"}).fStdout, "{\"devices\":[]}\n");
}

TEST_F(AAgentProcessTest, AStoreThatCannotBeCreatedIsReportedOncePerFailureAndTheAgentRuns)
{
    const std::string report = "nuvexa-agent: cannot read the button mappings: PrefController: ";
    WriteWholeFile(fSession.ConfigFolder() / "Nuvexa", "a file where the folder belongs");
    auto agent = StartAgent();
    ASSERT_TRUE(WaitFor([&] { return agent->Stderr().find("Could not locate config file") != std::string::npos; }));
    // Reloads failing the same way stay quiet; a different failure is heard
    // (and, arriving after them, shows both reloads were handled).
    EXPECT_EQ(Nuvexactl({"reload"}).fStatus, 0);
    EXPECT_EQ(Nuvexactl({"reload"}).fStatus, 0);
    std::filesystem::remove(fSession.ConfigFolder() / "Nuvexa");
    std::filesystem::create_directories(fSession.ConfigFolder() / "Nuvexa" / "mapping.xml");
    EXPECT_EQ(Nuvexactl({"reload"}).fStatus, 0);
    ASSERT_TRUE(WaitFor([&] { return agent->Stderr().find("Error loading preferences") != std::string::npos; }));
    // With no notification service on this bus the alert falls back to
    // standard error under its own title.
    EXPECT_EQ(CountOccurrences(agent->Stderr(), report + "Could not locate config file"), 1u) << agent->Stderr();
    // Repaired: the store loads, and the agent still answers.
    std::filesystem::remove(fSession.ConfigFolder() / "Nuvexa" / "mapping.xml");
    EXPECT_EQ(Nuvexactl({"reload"}).fStatus, 0);
    EXPECT_EQ(Nuvexactl({"devices", "--json"}).fStdout, "{\"devices\":[]}\n");
    EXPECT_EQ(CountOccurrences(agent->Stderr(), report + "Error loading preferences"), 1u) << agent->Stderr();
}

TEST_F(AAgentProcessTest, RefusesUnknownOptions)
{
    const AProgramResult result = RunProgram(BuildBinaryPath("nuvexa-agent"), {"--bogus"});
    EXPECT_EQ(result.fStatus, 2);
    EXPECT_NE(result.fStderr.find("unknown option '--bogus'"), std::string::npos);
    EXPECT_EQ(CountServedAgentPorts(), 0);
}
