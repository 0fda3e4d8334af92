// nuvexactl devices, reload and keys as real programs, against message ports
// and notifications served by this test on a private runtime folder and bus.

#include "platform/bus/ADistributedNotificationCenter.h"
#include "platform/ports/AMessagePort.h"

#include "tests/support/AAgentSession.h"
#include "tests/support/AChildProgram.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

namespace {

struct ARequest {
    int32_t fId;
    std::optional<AMessageData> fPayload;
};

// A stand-in agent port: records requests, answers with fReply.
struct AStandInPort {
    std::vector<ARequest> fRequests;
    std::optional<AMessageData> fReply;

    static std::optional<AMessageData> Callout(ALocalMessagePort*, int32_t id, const AMessageData* payload, void* info)
    {
        auto* self = static_cast<AStandInPort*>(info);
        self->fRequests.push_back({id, payload ? std::optional<AMessageData>(*payload) : std::nullopt});
        return self->fReply;
    }
};

AMessageData Bytes(const std::string& text)
{
    return AMessageData(text.begin(), text.end());
}

class AAgentCommandsTest : public ::testing::Test {
protected:
    // Runs nuvexactl to its end while this test's loop serves the ports.
    AProgramResult Nuvexactl(const std::vector<std::string>& arguments)
    {
        AChildProgram child(BuildBinaryPath("nuvexactl"), arguments);
        for (int i = 0; i < 4000 && child.IsRunning(); ++i)
            fLoop.RunOnce(5'000);
        return {child.Wait(10.0).value_or(-1), child.Stdout(), child.Stderr()};
    }

    AAgentSession fSession;
    AEventLoop fLoop;
};

} // namespace

TEST_F(AAgentCommandsTest, DevicesWithoutAnAgentIsAnEmptyList)
{
    AProgramResult json = Nuvexactl({"devices", "--json"});
    EXPECT_EQ(json.fStatus, 0) << json.fStderr;
    EXPECT_EQ(json.fStdout, "{\"devices\":[]}\n");
    AProgramResult human = Nuvexactl({"devices"});
    EXPECT_EQ(human.fStatus, 0);
    EXPECT_EQ(human.fStdout, "no devices\n");
}

TEST_F(AAgentCommandsTest, DevicesReadsAnyFormOfTheReplyInItsOrder)
{
    AStandInPort agent;
    auto port = ALocalMessagePort::Create(fLoop, "MouseListPort", AStandInPort::Callout, &agent);
    ASSERT_NE(port, nullptr);
    const struct {
        const char* fReply;
        const char* fJson;
        const char* fHuman;
    } cases[] = {
        {"<?xml version=\"1.0\"?>\n<devicelist>\n    <device type=\"0\" />\n    <device type=\"2\" />\n</devicelist>\n",
         "{\"devices\":[{\"type\":0},{\"type\":2}]}\n", "Wireless Mouse (type 0)\nBluetooth Presenter (type 2)\n"},
        {"<devicelist><device type=\"1\"></device><device type=\"1\"/></devicelist>",
         "{\"devices\":[{\"type\":1},{\"type\":1}]}\n", "Bluetooth Mouse (type 1)\nBluetooth Mouse (type 1)\n"},
        // Any element name; "type" read as a leading integer, missing as 0.
        {"<list><thing type=\" 2x\"/><!-- note --><other/><device type=\"-1\"/></list>",
         "{\"devices\":[{\"type\":2},{\"type\":0},{\"type\":-1}]}\n",
         "Bluetooth Presenter (type 2)\nWireless Mouse (type 0)\nUnknown device of the maker (type -1)\n"},
        {"<devicelist/>", "{\"devices\":[]}\n", "no devices\n"},
    };
    for (const auto& c : cases) {
        agent.fReply = Bytes(c.fReply);
        AProgramResult json = Nuvexactl({"devices", "--json"});
        EXPECT_EQ(json.fStatus, 0) << c.fReply << json.fStderr;
        EXPECT_EQ(json.fStdout, c.fJson) << c.fReply;
        AProgramResult human = Nuvexactl({"devices"});
        EXPECT_EQ(human.fStdout, c.fHuman) << c.fReply;
    }
    // Each request: message id 0, no payload.
    ASSERT_EQ(agent.fRequests.size(), 8u);
    for (const ARequest& request : agent.fRequests) {
        EXPECT_EQ(request.fId, 0);
        EXPECT_FALSE(request.fPayload.has_value());
    }
}

TEST_F(AAgentCommandsTest, DevicesFailsClearlyOnAnAgentThatAnswersNothingUsable)
{
    AStandInPort agent;
    auto port = ALocalMessagePort::Create(fLoop, "MouseListPort", AStandInPort::Callout, &agent);
    ASSERT_NE(port, nullptr);
    agent.fReply = std::nullopt;
    AProgramResult silent = Nuvexactl({"devices"});
    EXPECT_EQ(silent.fStatus, 1);
    EXPECT_EQ(silent.fStderr, "nuvexactl devices: the agent did not answer\n");
    agent.fReply = Bytes("not a document <");
    AProgramResult garbled = Nuvexactl({"devices"});
    EXPECT_EQ(garbled.fStatus, 1);
    EXPECT_EQ(garbled.fStderr, "nuvexactl devices: the agent's answer is not a device list\n");
    AProgramResult usage = Nuvexactl({"devices", "--yaml"});
    EXPECT_EQ(usage.fStatus, 2);
    EXPECT_NE(usage.fStderr.find("unknown option '--yaml'"), std::string::npos);
}

TEST_F(AAgentCommandsTest, ReloadAndEverySavePostTheReloadNotification)
{
    ADistributedNotificationCenter center(&fLoop);
    int reloads = 0;
    ASSERT_TRUE(center.AddObserver(
        &reloads, [](ADistributedNotificationCenter*, void* count, std::string_view, std::string_view) {
            ++*static_cast<int*>(count);
        },
        "NuvexaAgent", "PrefChange"));
    EXPECT_EQ(Nuvexactl({"reload"}).fStatus, 0);
    EXPECT_TRUE(fLoop.RunUntil([&] { return reloads == 1; }, 5'000'000));
    EXPECT_EQ(Nuvexactl({"set", "rfmouse", "4", "keystroke", "0"}).fStatus, 0);
    EXPECT_TRUE(fLoop.RunUntil([&] { return reloads == 2; }, 5'000'000));
    EXPECT_NE(ReadWholeFile(fSession.ConfigFolder() / "Nuvexa" / "mapping.xml").find("launch_arg=\"0\""), std::string::npos);
    EXPECT_EQ(Nuvexactl({"set-presentation", "presenter", "1"}).fStatus, 0);
    EXPECT_TRUE(fLoop.RunUntil([&] { return reloads == 3; }, 5'000'000));
    EXPECT_EQ(Nuvexactl({"reload", "now"}).fStatus, 2);
}

TEST_F(AAgentCommandsTest, ReloadWithoutASessionBusSaysSo)
{
    AScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (fSession.Root() / "none").string());
    AProgramResult result = Nuvexactl({"reload"});
    EXPECT_EQ(result.fStatus, 1);
    EXPECT_NE(result.fStderr.find("no session bus"), std::string::npos);
}

TEST_F(AAgentCommandsTest, KeysHandsTheListToTheAgentWithoutWaiting)
{
    AStandInPort agent;
    auto port = ALocalMessagePort::Create(fLoop, "KeyStrokePort", AStandInPort::Callout, &agent);
    ASSERT_NE(port, nullptr);
    // The loop does not run while nuvexactl does: it must not wait for it.
    AProgramResult result = RunProgram(BuildBinaryPath("nuvexactl"), {"keys", "56|55|20|55|56"}, {}, 5.0);
    EXPECT_EQ(result.fStatus, 0) << result.fStderr;
    ASSERT_TRUE(fLoop.RunUntil([&] { return agent.fRequests.size() == 1; }, 5'000'000));
    ASSERT_TRUE(agent.fRequests[0].fPayload.has_value());
    EXPECT_EQ(*agent.fRequests[0].fPayload, Bytes("56|55|20|55|56"));
}

TEST_F(AAgentCommandsTest, KeysRefusesWhatIsNotAKeyCodeList)
{
    AStandInPort agent;
    auto port = ALocalMessagePort::Create(fLoop, "KeyStrokePort", AStandInPort::Callout, &agent);
    const struct {
        const char* fList;
        const char* fProblem;
    } cases[] = {
        {"", "'' is not a key code (0 to 65535)"},
        {"a", "'a' is not a key code (0 to 65535)"},
        {"1||2", "'' is not a key code (0 to 65535)"},
        {"1|2|", "'' is not a key code (0 to 65535)"},
        {" 1", "' 1' is not a key code (0 to 65535)"},
        {"65536", "'65536' is not a key code (0 to 65535)"},
        {"56|0", "modifier 56 must occur in pairs"},
        {"55|55|59|0", "modifier 59 must occur in pairs"},
    };
    for (const auto& c : cases) {
        AProgramResult result = Nuvexactl({"keys", "--", c.fList});
        EXPECT_EQ(result.fStatus, 2) << c.fList;
        EXPECT_NE(result.fStderr.find(c.fProblem), std::string::npos) << c.fList << ": " << result.fStderr;
    }
    EXPECT_EQ(Nuvexactl({"keys"}).fStatus, 2);
    EXPECT_EQ(Nuvexactl({"keys", "0", "1"}).fStatus, 2);
    EXPECT_TRUE(agent.fRequests.empty());
}

TEST_F(AAgentCommandsTest, KeysWithoutAnAgentFails)
{
    AProgramResult result = Nuvexactl({"keys", "0"});
    EXPECT_EQ(result.fStatus, 1);
    EXPECT_NE(result.fStderr.find("the agent is not running"), std::string::npos);
}
