// nuvexactl run as the real program, once per <case> of tests/fixtures/nuvexactl
// (README.md there gives their form), in a configuration folder of its own,
// while the test serves stand-in agent ports and counts reload notifications.

#include "platform/bus/ADistributedNotificationCenter.h"
#include "platform/ports/AMessagePort.h"
#include "tests/support/AAgentSession.h"
#include "tests/support/AChildProgram.h"
#include "tests/support/AConfigHome.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <regex>
#include <sstream>

namespace {

class ANuvexactlTest : public ::testing::Test {
protected:
    void RunCase(const pugi::xml_node& test);

    AAgentSession fSession;
    AEventLoop fLoop;
    ADistributedNotificationCenter fCenter{&fLoop};
    int fNotifications = 0;
    std::optional<AMessageData> fReply;
    std::string fRequests;
};

void ANuvexactlTest::RunCase(const pugi::xml_node& test)
{
    SCOPED_TRACE(test.attribute("rule").value());
    AConfigHome home;
    const auto expand = [&](const std::string& text) {  // {root}: the case's folder
        return std::regex_replace(text, std::regex("\\{root\\}"), home.Root().string());
    };
    const std::string setup = test.attribute("setup").value();
    if (const pugi::xml_attribute mapping = test.attribute("mapping"))
        home.InstallFixture(mapping.value());
    if (setup == "store-folder-is-a-file") {
        std::filesystem::create_directories(home.ConfigFolder());
        WriteWholeFile(home.StoreFolder(), "");
    }
    AProgramOptions options;
    options.fUnprivileged = setup == "folder-shut-to-others";
    ASSERT_TRUE(!options.fUnprivileged || home.ShutOutOtherSavers());
    std::optional<AScopedEnvironment> noBus;
    if (setup == "no-session-bus")
        noBus.emplace("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (home.Root() / "none").string());
    std::unique_ptr<ALocalMessagePort> port;
    fRequests.clear();
    if (const pugi::xml_node stand = test.child("agent")) {
        const std::string reply = stand.text().get();
        fReply = reply.empty() ? std::nullopt : std::optional<AMessageData>(AMessageData(reply.begin(), reply.end()));
        // The stand-in answers each request with fReply and records it in
        // fRequests as "<id>:<payload> ", "-" standing for no payload.
        port = ALocalMessagePort::Create(fLoop, stand.attribute("port").value(),
            [](ALocalMessagePort*, int32_t id, const AMessageData* payload, void* self) {
                static_cast<ANuvexactlTest*>(self)->fRequests += std::to_string(id) + ":" + (payload ? std::string(payload->begin(), payload->end()) : "-") + " ";
                return static_cast<ANuvexactlTest*>(self)->fReply;
            }, this);
        ASSERT_NE(port, nullptr);
    }

    const std::string before = std::filesystem::exists(home.MappingPath()) ? ReadWholeFile(home.MappingPath()) : "";
    const int notificationsBefore = fNotifications;
    const std::filesystem::path workingFolder = std::filesystem::current_path();
    std::filesystem::current_path(home.Root());
    for (const pugi::xml_node& run : test.children("run")) {
        std::vector<std::string> arguments;
        std::istringstream words(run.attribute("args").value());
        for (std::string word; words >> word;)
            arguments.push_back(word);
        for (const pugi::xml_node& argument : run.children("arg"))
            arguments.push_back(argument.text().get());
        SCOPED_TRACE(run.attribute("args").value());
        // While the program runs, this test's loop serves the ports unless told not to.
        AChildProgram child(BuildBinaryPath("nuvexactl"), arguments, options);
        for (int i = 0; i < 4000 && run.attribute("serve").as_bool(true) && child.IsRunning(); ++i)
            fLoop.RunOnce(5'000);
        const AProgramResult result{child.Wait(10.0).value_or(-1), child.Stdout(), child.Stderr()};
        EXPECT_EQ(result.fStatus, run.attribute("status").as_int(0)) << result.fStderr;
        // The whole output as <stdout>/<stderr>, or its first line as the
        // stdout-line/stderr-line attribute; with neither, nothing at all.
        for (const auto& [stream, output] : {std::pair<std::string, std::string>{"stdout", result.fStdout}, {"stderr", result.fStderr}}) {
            const pugi::xml_attribute line = run.attribute((stream + "-line").c_str());
            EXPECT_EQ(line ? output.substr(0, output.find('\n')) : output,
                      expand(line ? line.value() : run.child(stream.c_str()).text().get())) << stream << ": " << output;
        }
        EXPECT_TRUE(result.fStatus != 2 || result.fStderr.find("\n\nUsage: nuvexactl ") != std::string::npos)
            << "a usage error shows the usage";
    }
    std::filesystem::current_path(workingFolder);

    const std::string file = test.attribute("file").value();
    if (file == "unchanged") {
        EXPECT_EQ(ReadWholeFile(home.MappingPath()), before);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.StoreFolder()), {}), 1);
    }
    EXPECT_TRUE(file != "absent" || !std::filesystem::exists(home.MappingPath())) << "no file is made";
    EXPECT_TRUE(file != "no-folder" || !std::filesystem::exists(home.StoreFolder())) << "no folder is made";
    if (const pugi::xml_node records = test.child("records")) {
        EXPECT_EQ(DescribeRecords(APrefController()), expand(records.text().get()));
    }
    const std::string requests = test.child("requests").text().get();
    const int notifications = test.attribute("notifications").as_int(0);
    fLoop.RunUntil([&] { return fRequests == requests && fNotifications - notificationsBefore == notifications; },
                   5'000'000);
    EXPECT_EQ(fRequests, requests);
    EXPECT_EQ(fNotifications - notificationsBefore, notifications) << "reload notifications";
}

} // namespace

TEST_F(ANuvexactlTest, EachCaseOfShowSetAndTheAgentCommands)
{
    ASSERT_TRUE(fCenter.AddObserver(
        &fNotifications, [](ADistributedNotificationCenter*, void* count, std::string_view, std::string_view) {
            ++*static_cast<int*>(count);
        },
        "NuvexaAgent", "PrefChange"));
    for (const char* fixture : {"show.xml", "set.xml", "agent.xml"}) {
        SCOPED_TRACE(fixture);
        pugi::xml_document cases;
        ASSERT_TRUE(cases.load_file(FixturePath(std::string("nuvexactl/") + fixture).c_str()));
        ASSERT_TRUE(cases.child("cases").child("case"));
        for (const pugi::xml_node& test : cases.child("cases").children("case"))
            RunCase(test);
    }
}
