// nuvexactl set and set-presentation, run as the real program on real files.

#include "prefs/APrefController.h"
#include "tests/nuvexactl/ANuvexactlTestSupport.h"

#include <gtest/gtest.h>

namespace {

const std::string kVendor = std::to_string(kVendorID);

// The file's records, read back through the store.
std::string StoredRecords()
{
    std::string text;
    APrefController store;
    for (const auto& [type, device] : store.GetDevices()) {
        text += APrefController::FromDeviceType(type) + " " + std::to_string(device.GetDeviceVID()) + " " +
                std::to_string(device.GetDevicePID()) + " " + std::to_string(device.GetPresentationType()) + ":";
        for (const auto& [id, event] : device.GetEvents())
            text += " " + std::to_string(id) + "/" + APrefController::FromLaunchType(event.GetLaunchType()) + "/" +
                    event.GetLaunchArg();
        text += "\n";
    }
    return text;
}

void ExpectSuccess(const std::vector<std::string>& arguments)
{
    AProgramResult result = RunNuvexactl(arguments);
    EXPECT_EQ(result.fStatus, 0) << arguments[0] << " " << arguments[1] << ": " << result.fStderr;
    EXPECT_EQ(result.fStdout, "");
    EXPECT_EQ(result.fStderr, "");
}

TEST(ANuvexactlSetTest, SetWritesTheDeviceRecordAsTheEditorDoesAndThenTheButton)
{
    AConfigHome home;
    // numbers are stored as "%d" writes them
    ExpectSuccess({"set", "btmouse", "4", "keystroke", "055|8"});
    EXPECT_EQ(StoredRecords(), "btmouse " + kVendor + " 1002 0: 4/keystroke/55|8\n");

    // names in any case or numbers; the other button and device stay
    ExpectSuccess({"set", "1", "5", "PredefinedKeys", "07"});
    ExpectSuccess({"set", "PRESENTER", "5", "2", "/usr/bin/impress"});
    ExpectSuccess({"set", "rfmouse", "4", "default"});
    EXPECT_EQ(StoredRecords(), "rfmouse " + kVendor + " 1001 0: 4/default/\n"
                               "btmouse " + kVendor + " 1002 0: 4/keystroke/55|8 5/predefinedkeys/7\n"
                               "presenter " + kVendor + " 2001 0: 5/exec//usr/bin/impress\n");

    // an update replaces the button's type and argument
    ExpectSuccess({"set", "btmouse", "4", "default"});
    EXPECT_EQ(StoredRecords().substr(StoredRecords().find("btmouse")),
              "btmouse " + kVendor + " 1002 0: 4/default/ 5/predefinedkeys/7\n"
              "presenter " + kVendor + " 2001 0: 5/exec//usr/bin/impress\n");
}

TEST(ANuvexactlSetTest, SetKeepsThePresentationTypeAndSetPresentationKeepsTheEvents)
{
    AConfigHome home;
    home.InstallFixture("prefs/read/example.xml");
    ExpectSuccess({"set", "presenter", "4", "applescript", "/opt/start-show.sh"});
    ExpectSuccess({"set-presentation", "btmouse", "1"});
    ExpectSuccess({"set-presentation", "presenter", "0"});
    ExpectSuccess({"set-presentation", "rfmouse", "1"});
    EXPECT_EQ(StoredRecords(), "rfmouse " + kVendor + " 1001 1:\n"
                               "btmouse " + kVendor + " 1002 1: 4/applescript//Library/Scripts/Back.scpt 5/keystroke/55|8\n"
                               "presenter " + kVendor + " 2001 0: 4/applescript//opt/start-show.sh 5/default/\n");
}

TEST(ANuvexactlSetTest, RelativePathsAreStoredAbsolute)
{
    AConfigHome home;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(home.Root());
    ExpectSuccess({"set", "btmouse", "4", "applescript", "scripts/../back.sh"});
    ExpectSuccess({"set", "btmouse", "5", "exec", "./app"});
    std::filesystem::current_path(before);
    EXPECT_EQ(StoredRecords(), "btmouse " + kVendor + " 1002 0: 4/applescript/" + (home.Root() / "back.sh").string() +
                                   " 5/exec/" + (home.Root() / "app").string() + "\n");
}

TEST(ANuvexactlSetTest, AWrongCommandLineIsAUsageErrorAndWritesNothing)
{
    AConfigHome home;
    home.InstallFixture("prefs/read/example.xml");
    const std::string before = ReadWholeFile(home.MappingPath());
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"set"}, "expected a device type"},
        {{"set", "btmouse", "4"}, "expected a device type"},
        {{"set", "btmouse", "4", "exec", "/a", "/b"}, "expected a device type"},
        {{"set", "mouse", "4", "default"}, "unknown device type 'mouse'"},
        {{"set", "3", "4", "default"}, "unknown device type '3'"},
        {{"set", "-1", "4", "default"}, "unknown option '-1'"},
        {{"set", "btmouse ", "4", "default"}, "unknown device type 'btmouse '"},
        {{"set", "btmouse", "6", "default"}, "the button must be 4 or 5, not '6'"},
        {{"set", "btmouse", "4x", "default"}, "the button must be 4 or 5, not '4x'"},
        {{"set", "btmouse", "+4", "default"}, "the button must be 4 or 5, not '+4'"},
        {{"set", "btmouse", "4", "run"}, "unknown launch type 'run'"},
        {{"set", "btmouse", "4", "5"}, "unknown launch type '5'"},
        {{"set", "btmouse", "4", "default", "/x"}, "the default action takes no argument"},
        {{"set", "btmouse", "4", "applescript"}, "applescript needs the path of a script"},
        {{"set", "btmouse", "4", "exec", ""}, "exec needs the path of an application or file"},
        {{"set", "btmouse", "4", "keystroke", "55|"}, "a key-stroke list is key codes"},
        {{"set", "btmouse", "4", "keystroke", "55,8"}, "a key-stroke list is key codes"},
        {{"set", "btmouse", "4", "keystroke", "65536"}, "a key-stroke list is key codes"},
        {{"set", "btmouse", "4", "predefinedkeys", "14"}, "predefinedkeys needs a function number from 0 to 13"},
        {{"set", "btmouse", "4", "predefinedkeys"}, "predefinedkeys needs a function number from 0 to 13"},
        {{"set", "btmouse", "4", "--force", "default"}, "unknown option '--force'"},
        {{"set-presentation", "presenter"}, "expected a device type and a presentation type"},
        {{"set-presentation", "presenter", "2"}, "the presentation type must be 0 or 1, not '2'"},
        {{"set-presentation", "projector", "1"}, "unknown device type 'projector'"},
    };
    for (const auto& [arguments, problem] : rows) {
        std::string line;
        for (const std::string& argument : arguments)
            line += argument + " ";
        SCOPED_TRACE(line);
        AProgramResult result = RunNuvexactl(arguments);
        EXPECT_EQ(result.fStatus, 2);
        EXPECT_EQ(result.fStdout, "");
        const std::string start = "nuvexactl " + arguments[0] + ": " + problem;
        EXPECT_EQ(result.fStderr.rfind(start, 0), 0u) << result.fStderr;
        EXPECT_NE(result.fStderr.find("\nUsage: nuvexactl " + arguments[0] + " <device-type>"), std::string::npos);
    }
    EXPECT_EQ(ReadWholeFile(home.MappingPath()), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.StoreFolder()), {}), 1);
}

TEST(ANuvexactlSetTest, AFileThatCannotBeReadIsNeverOverwritten)
{
    for (const char* command : {"set", "set-presentation"}) {
        SCOPED_TRACE(command);
        AConfigHome home;
        home.InstallFixture("prefs/read/truncated-file.xml");
        const std::string before = ReadWholeFile(home.MappingPath());
        AProgramResult result = RunNuvexactl(std::string(command) == "set"
                                                 ? std::vector<std::string>{"set", "btmouse", "4", "default"}
                                                 : std::vector<std::string>{"set-presentation", "presenter", "1"});
        EXPECT_EQ(result.fStatus, 1);
        EXPECT_EQ(result.fStderr, "XMLParser: Error parsing start element tag\n");
        EXPECT_EQ(ReadWholeFile(home.MappingPath()), before);
    }
}

TEST(ANuvexactlSetTest, ASaveThatFailsReportsTheStoresReasonAndKeepsTheFile)
{
    AConfigHome home;
    home.InstallFixture("prefs/read/example.xml");
    const std::string before = ReadWholeFile(home.MappingPath());
    // The program runs as another user, so the folder refuses it even when
    // the test runs as root.
    ASSERT_TRUE(home.ShutOutOtherSavers());

    AProgramOptions unprivileged;
    unprivileged.fUnprivileged = true;
    AProgramResult shown = RunNuvexactl({"show"}, unprivileged);
    EXPECT_EQ(shown.fStatus, 0) << shown.fStderr;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"set", "btmouse", "4", "default"},
          std::vector<std::string>{"set-presentation", "presenter", "0"}}) {
        AProgramResult result = RunNuvexactl(arguments, unprivileged);
        EXPECT_EQ(result.fStatus, 1);
        EXPECT_EQ(result.fStdout, "");
        EXPECT_EQ(result.fStderr, "PrefController: Error saving preferences\n");
    }
    EXPECT_EQ(ReadWholeFile(home.MappingPath()), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.StoreFolder()), {}), 1);
}

} // namespace
