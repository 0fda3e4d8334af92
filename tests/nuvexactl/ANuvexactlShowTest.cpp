// nuvexactl show, human and JSON, run as the real program on real files.

#include "prefs/APrefController.h"
#include "tests/nuvexactl/ANuvexactlTestSupport.h"

#include <gtest/gtest.h>

namespace {

TEST(ANuvexactlShowTest, AMissingFileShowsNoDevicesAndCreatesNoFile)
{
    AConfigHome home;
    AProgramResult human = RunNuvexactl({"show"});
    EXPECT_EQ(human.fStatus, 0);
    EXPECT_EQ(human.fStdout, "mapping file: " + home.MappingPath().string() + "\nno device mappings\n");
    EXPECT_EQ(human.fStderr, "");

    AProgramResult json = RunNuvexactl({"show", "--json"});
    EXPECT_EQ(json.fStatus, 0);
    EXPECT_EQ(json.fStdout, "{\"devices\":[]}\n");
    EXPECT_FALSE(std::filesystem::exists(home.MappingPath()));
}

TEST(ANuvexactlShowTest, TheHumanFormNamesDevicesAndLaunchTypesInOrder)
{
    AConfigHome home;
    home.InstallFixture("prefs/read/example.xml");
    AProgramResult result = RunNuvexactl({"show"});
    EXPECT_EQ(result.fStatus, 0);
    EXPECT_EQ(result.fStdout, "mapping file: " + home.MappingPath().string() + "\n"
                              "Bluetooth Mouse (btmouse): vendor 65261, product 1002, presentation type 0\n"
                              "  button 4: applescript \"/Library/Scripts/Back.scpt\"\n"
                              "  button 5: keystroke \"55|8\"\n"
                              "Bluetooth Presenter (presenter): vendor 65261, product 2001, presentation type 1\n"
                              "  button 4: default\n"
                              "  button 5: default\n");
}

TEST(ANuvexactlShowTest, TheJsonFormIsOneObjectWithNumbersAsNumbers)
{
    AConfigHome home;
    home.InstallFixture("prefs/read/example.xml");
    AProgramResult result = RunNuvexactl({"show", "--json"});
    EXPECT_EQ(result.fStatus, 0);
    EXPECT_EQ(result.fStdout,
              "{\"devices\":["
              "{\"device_type\":\"btmouse\",\"type\":1,\"vid\":65261,\"pid\":1002,\"presentation_type\":0,\"events\":["
              "{\"id\":4,\"launch_type\":\"applescript\",\"launch_arg\":\"/Library/Scripts/Back.scpt\"},"
              "{\"id\":5,\"launch_type\":\"keystroke\",\"launch_arg\":\"55|8\"}]},"
              "{\"device_type\":\"presenter\",\"type\":2,\"vid\":65261,\"pid\":2001,\"presentation_type\":1,\"events\":["
              "{\"id\":4,\"launch_type\":\"default\",\"launch_arg\":\"\"},"
              "{\"id\":5,\"launch_type\":\"default\",\"launch_arg\":\"\"}]}]}\n");
    EXPECT_EQ(DescribeShowJson(result.fStdout), "btmouse 1 65261 1002 0: 4/applescript//Library/Scripts/Back.scpt "
                                                "5/keystroke/55|8\n"
                                                "presenter 2 65261 2001 1: 4/default/ 5/default/\n");
}

TEST(ANuvexactlShowTest, EveryArgumentSurvivesAsAJsonString)
{
    AConfigHome home;
    std::filesystem::create_directories(home.StoreFolder());
    {
        APrefController store;
        store.AddOrUpdateDevice(kDeviceRFMouse, 0xFFFFFFFFu, 1001, 0);
        store.AddOrUpdateEvent(kDeviceRFMouse, 1, kLaunchExec, "quote \" backslash \\ slash /");
        store.AddOrUpdateEvent(kDeviceRFMouse, 2, kLaunchExec, "tab\t line\n bell\x07 escape\x1B delete\x7F");
        store.AddOrUpdateEvent(kDeviceRFMouse, 3, kLaunchExec, "caf\xC3\xA9 \xF0\x9F\x96\xB1 <&>");
        store.AddOrUpdateEvent(kDeviceRFMouse, 4, kLaunchExec, "bad \xFF\xC3 UTF-8");
        store.FlushXml();
    }
    AProgramResult result = RunNuvexactl({"show", "--json"});
    EXPECT_EQ(result.fStatus, 0);
    EXPECT_NE(result.fStdout.find("\\u0009 line\\u000a bell\\u0007 escape\\u001b delete\\u007f"), std::string::npos)
        << result.fStdout;
    EXPECT_EQ(DescribeShowJson(result.fStdout), "rfmouse 0 4294967295 1001 0: "
                                                "1/exec/quote \" backslash \\ slash / "
                                                "2/exec/tab\t line\n bell\x07 escape\x1B delete\x7F "
                                                "3/exec/caf\xC3\xA9 \xF0\x9F\x96\xB1 <&> "
                                                "4/exec/bad \xEF\xBF\xBD\xEF\xBF\xBD UTF-8\n");
}

TEST(ANuvexactlShowTest, AFileThatCannotBeReadFailsWithTheStoresReasonOnly)
{
    struct ARow {
        const char* fFixture;
        const char* fErrors;
    };
    const ARow rows[] = {
        {"prefs/read/mismatched-tags.xml", "XMLParser: Start-end tags mismatch\n"},
        {"prefs/read/plain-text-is-no-document.xml", "PrefController: Error loading preferences\n"},
    };
    for (const ARow& row : rows) {
        SCOPED_TRACE(row.fFixture);
        AConfigHome home;
        home.InstallFixture(row.fFixture);
        for (const char* option : {"", "--json"}) {
            AProgramResult result = RunNuvexactl(*option ? std::vector<std::string>{"show", option}
                                                         : std::vector<std::string>{"show"});
            EXPECT_EQ(result.fStatus, 1);
            EXPECT_EQ(result.fStdout, "");
            EXPECT_EQ(result.fStderr, row.fErrors);
        }
    }

    AConfigHome home;
    std::filesystem::create_directories(home.ConfigFolder());
    WriteWholeFile(home.StoreFolder(), "");
    AProgramResult result = RunNuvexactl({"show"});
    EXPECT_EQ(result.fStatus, 1);
    EXPECT_EQ(result.fStderr, "PrefController: Could not locate config file\n");
}

TEST(ANuvexactlShowTest, HelpGoesToStandardOutputAndSucceeds)
{
    AConfigHome home;
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"--help"}, "Usage: nuvexactl <command>"},
        {{"-h"}, "Usage: nuvexactl <command>"},
        {{"show", "--help"}, "Usage: nuvexactl show [--json]"},
        {{"set", "--help"}, "Usage: nuvexactl set <device-type>"},
        {{"set", "btmouse", "-h"}, "Usage: nuvexactl set <device-type>"},
        {{"set-presentation", "--help"}, "Usage: nuvexactl set-presentation <device-type> <0|1>"},
    };
    for (const auto& [arguments, start] : rows) {
        SCOPED_TRACE(arguments[0]);
        AProgramResult result = RunNuvexactl(arguments);
        EXPECT_EQ(result.fStatus, 0);
        EXPECT_EQ(result.fStdout.rfind(start, 0), 0u) << result.fStdout;
        EXPECT_EQ(result.fStderr, "");
    }
    AProgramResult tool = RunNuvexactl({"--help"});
    for (const char* command : {"\n  show ", "\n  set ", "\n  set-presentation "})
        EXPECT_NE(tool.fStdout.find(command), std::string::npos) << command;
    EXPECT_FALSE(std::filesystem::exists(home.StoreFolder()));
}

TEST(ANuvexactlShowTest, AWrongCommandLineIsAUsageError)
{
    AConfigHome home;
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{}, "nuvexactl: no command given\n\nUsage: nuvexactl <command>"},
        {{"list"}, "nuvexactl: unknown command 'list'\n\nUsage: nuvexactl <command>"},
        {{"--json"}, "nuvexactl: unknown command '--json'\n\nUsage: nuvexactl <command>"},
        {{"show", "--xml"}, "nuvexactl show: unknown option '--xml'\n\nUsage: nuvexactl show"},
        {{"show", "all"}, "nuvexactl show: unexpected argument 'all'\n\nUsage: nuvexactl show"},
    };
    for (const auto& [arguments, start] : rows) {
        SCOPED_TRACE(arguments.empty() ? "(none)" : arguments.back());
        AProgramResult result = RunNuvexactl(arguments);
        EXPECT_EQ(result.fStatus, 2);
        EXPECT_EQ(result.fStdout, "");
        EXPECT_EQ(result.fStderr.rfind(start, 0), 0u) << result.fStderr;
    }
}

} // namespace
