// What performs the agent's actions, where the whole agent cannot reach
// (tests/fixtures/agent/presses.txt has the rest). ExecAppleScript
// raises AppleScriptEvent with the reason a script failed: the scripts of
// tests/fixtures/agent/scripts run in place (rows in script-failures.txt),
// and the scripts the agent ships run as the agent runs them from a
// temporary installation (rows in shipped-scripts.txt), with stand-in tools:
// a nuvexactl that records the key list it is asked to play, MPRIS players
// on a private bus, xdotool. ExecTask shows what the desktop launcher said,
// or that there was none, as an alert. The keyboard action posts at the
// event-system level (rows in keyboard-action.txt), each post written as
// text and checked for the invariants every post keeps (data version 2, the
// flags and options of its kind, every data byte but its own fields zero).

#include "agent/AHIDKeyboardAction.h"
#include "agent/AKeySteps.h"
#include "agent/ExecAppleScript.h"
#include "agent/ExecTask.h"

#include "prefs/AException.h"
#include "tests/support/AAgentHarness.h"
#include "tests/support/ABusServiceStandIn.h"
#include "tests/support/AChildProgram.h"
#include "tests/support/ANXEventBuilders.h"
#include "tests/support/APrivateBus.h"
#include "tests/support/AStandInPrograms.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <mutex>
#include <sstream>

using namespace std::chrono_literals;
using AAlerts = std::vector<ARecordingAlerts::AAlert>;

namespace {

class ARecorder : public AEventSystemConnection {
public:
    bool PostEvent(uint32_t type, const ANXEventData& data, uint32_t version, uint32_t flags, uint32_t options) override
    {
        ANXEventData expected{};
        char text[64];
        if (type == NX_KEYDOWN || type == NX_KEYUP) {
            expected = KeyData(data.key.keyCode);
            std::snprintf(text, sizeof text, "%s %u%s", type == NX_KEYDOWN ? "down" : "up", data.key.keyCode,
                          flags != 1 || options != 0 ? " (bad flags)" : "");
        } else if (type == NX_FLAGSCHANGED) {
            std::snprintf(text, sizeof text, "flags 0x%x%s", flags,
                          options != kIOHIDSetGlobalEventFlags ? " (bad options)" : "");
        } else {
            expected = SystemDefinedData(data.compound.subType, data.compound.misc.L[0]);
            std::snprintf(text, sizeof text, "%s %d 0x%08x%s",
                          data.compound.subType == NX_SUBTYPE_AUX_CONTROL_BUTTONS ? "aux" : "sys",
                          data.compound.subType, static_cast<uint32_t>(data.compound.misc.L[0]),
                          flags != 0 || options != 0 ? " (bad flags)" : "");
        }
        const bool zeroElsewhere = std::memcmp(&expected, &data, sizeof data) == 0;
        fText += (fText.empty() ? "" : ", ") + std::string(text) +
                 (version != 2 ? " (bad version)" : zeroElsewhere ? "" : " (bad data)");
        return fFailing.find(std::string(text, std::strchr(text, ' '))) == std::string::npos;
    }
    std::string fText;
    std::string fFailing;  // the kinds of post that fail ("down up flags aux sys")
};

// An MPRIS media player on the private bus: answers PlaybackStatus and
// records the Player methods called ("; <name> <method>"), or refuses them.
struct AStandInPlayer {
    AStandInPlayer(const std::string& name, const std::string& status, bool refuses)
        : fService("org.mpris.MediaPlayer2." + name, "/org/mpris/MediaPlayer2", [=, this](sd_bus_message* call) {
              const char *interface = nullptr, *property = nullptr;
              if (sd_bus_message_is_method_call(call, "org.freedesktop.DBus.Properties", "Get") &&
                  sd_bus_message_read(call, "ss", &interface, &property) >= 0 &&
                  property == std::string("PlaybackStatus"))
                  sd_bus_reply_method_return(call, "v", "s", status.c_str());
              else if (sd_bus_message_get_interface(call) != std::string("org.mpris.MediaPlayer2.Player"))
                  sd_bus_reply_method_errorf(call, "org.freedesktop.DBus.Error.UnknownMethod", "no such method");
              else {
                  std::lock_guard lock(fMutex);
                  fCalls += "; " + name + " " + sd_bus_message_get_member(call);
                  refuses ? sd_bus_reply_method_errorf(call, "org.mpris.MediaPlayer2.Error", "cannot do that now")
                          : sd_bus_reply_method_return(call, nullptr);
              }
          })
    {
    }

    std::mutex fMutex;
    std::string fCalls;
    ABusServiceStandIn fService;  // last: stops answering before the record goes
};

} // namespace

TEST(ExecAppleScript, EachRowOfTheFixturesHasItsOutcome)
{
    auto rows = ReadFixtureRows("agent/script-failures.txt");
    const auto shipped = ReadFixtureRows("agent/shipped-scripts.txt");
    rows.insert(rows.end(), shipped.begin(), shipped.end());
    for (const auto& [rule, given, expected] : rows) {
        SCOPED_TRACE(rule + "\n" + given);
        ATemporaryFolder root;
        const auto& folder = root.Path();
        for (const char* made : {"share/nuvexa", "bin", "tools"})
            std::filesystem::create_directories(folder / made);
        // The script's name (which may hold blanks), then the set-up words.
        const std::string script = given.substr(0, given.find(' ', given.find('.')));
        std::istringstream words(given.substr(script.size()));
        // A shipped script runs from the installation, any other in place.
        std::string path = script == "(empty)" ? "" : FixturePath("agent/scripts/" + script).string();
        if (std::filesystem::exists(BuildDataFolder() / script)) {
            path = (folder / "share" / "nuvexa" / script).string();
            std::filesystem::copy_file(BuildDataFolder() / script, path);  // with its mode
            EXPECT_TRUE(ReadWholeFile(path).starts_with("#!/bin/sh\n"));
        }
        AScopedEnvironment tools("PATH", FixturePath("agent/tools").string() + ":" + (folder / "tools").string() +
                                             ":/usr/bin:/bin");
        AScopedEnvironment xdotool("NUVEXA_XDOTOOL", folder.string());
        AScopedEnvironment runLog("NUVEXA_RUN_LOG", (folder / "ran").string());
        std::optional<AScopedEnvironment> display(std::in_place, "DISPLAY", "");
        std::optional<APrivateBus> bus(std::in_place);
        std::optional<AScopedEnvironment> noBus;
        std::vector<std::unique_ptr<AStandInPlayer>> players;
        std::optional<AChildProgram> office;
        std::string nuvexactl = "beside";
        std::optional<AScopedEnvironment> refusing;
        for (std::string word; words >> word;) {
            const std::string key = word.substr(0, word.find('=')), value = word.substr(word.find('=') + 1);
            const std::string name = value.substr(0, value.find(':')), status = value.substr(value.find(':') + 1);
            if (key == "nuvexactl") {
                nuvexactl = value;
                if (value == "fails")
                    refusing.emplace("NUVEXA_NUVEXACTL_FAILS", "1");
            } else if (key == "bus") {
                bus.reset();
                noBus.emplace("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (folder / "none").string());
            } else if (key == "player" || key == "refusing") {
                players.push_back(std::make_unique<AStandInPlayer>(name, status, key == "refusing"));
            } else if (key == "soffice") {  // a process that goes by LibreOffice's name
                WriteExecutable(folder / "soffice.bin", ReadWholeFile("/bin/sleep"));
                office.emplace(folder / "soffice.bin", std::vector<std::string>{"300"});
            } else if (key == "windows" || key == "active") {  // X11, and what the stand-in xdotool finds
                display.emplace("DISPLAY", ":97");
                WriteWholeFile(folder / key, value + "\n");
            }
        }
        if (nuvexactl != "none")
            std::filesystem::copy_file(FixturePath("agent/nuvexactl"),
                                       folder / (nuvexactl == "path" ? "tools" : "bin") / "nuvexactl");

        std::string observed = "ok";
        try {
            ExecAppleScript(script == "(absent)" ? nullptr : &path);
        } catch (const AException& failure) {
            EXPECT_EQ(failure.GetName(), "AppleScriptEvent");
            observed = failure.GetReason();
        }
        for (const auto& player : players) {
            std::lock_guard lock(player->fMutex);
            observed += player->fCalls;
        }
        if (std::filesystem::exists(folder / "ran"))
            observed += "; " + ReadWholeFile(folder / "ran");
        for (size_t at; (at = observed.find('\n')) != std::string::npos;)
            observed.replace(at, 1, "\\n");
        EXPECT_EQ(observed, expected);
    }
}

TEST(ExecAppleScript, AScriptIsReadAfreshEachTime)
{
    ATemporaryFolder folder;
    AScopedEnvironment record("NUVEXA_RUN_LOG", (folder.Path() / "record").string());
    const std::string script = (folder.Path() / "changing.scpt").string();
    for (const char* text : {"first", "second"}) {
        WriteExecutable(script, std::string("#!/bin/sh\necho ") + text + " > \"$NUVEXA_RUN_LOG\"\n");
        ExecAppleScript(script);
        EXPECT_EQ(ReadWholeFile(folder.Path() / "record"), text + std::string("\n"));
    }
}

TEST(ExecTask, ALauncherThatCannotRunIsALaunchErrorAndNoLauncherOrApplicationItStartsHoldsTheAgent)
{
    ATemporaryFolder folder;
    const std::filesystem::path launcher = folder.Path() / "xdg-open";
    const std::filesystem::path record = folder.Path() / "record";
    AScopedEnvironment runLog("NUVEXA_RUN_LOG", record.string());
    ARecordingAlerts alerts;
    const std::string path = "/tmp/a.txt";
    {
        AScopedEnvironment onlyOurs("PATH", folder.Path().string());
        ExecTask(&path, alerts);  // no launcher at all
        WriteWholeFile(launcher, "#!/bin/sh\n");  // present but not executable
        ExecTask(&path, alerts);
        std::filesystem::copy_file(FixturePath("agent/bin/xdg-open"), launcher,
                                   std::filesystem::copy_options::overwrite_existing);
        ExecTask(nullptr, alerts);  // the absent path runs nothing
        EXPECT_FALSE(std::filesystem::exists(record));
    }
    // The launcher starts an application in the background that inherits its
    // standard error and outlives it; or, on a desktop it does not know, runs
    // the application itself. Only the launcher's words count, and nothing
    // is killed.
    AScopedEnvironment launchers("PATH", folder.Path().string() + ":" + getenv("PATH"));
    const std::string rows[] = {"sleep 300 & echo $! > \"$NUVEXA_RUN_LOG\"; echo 'launcher: warned' >&2",
                                "echo $$ > \"$NUVEXA_RUN_LOG\"; echo 'launcher: warned' >&2; exec sleep 300"};
    for (const std::string& body : rows) {
        WriteExecutable(launcher, "#!/bin/sh\n" + body + "\n");
        ExecTask(&path, alerts, 1s);
        const pid_t running = std::stoi(ReadWholeFile(record));
        EXPECT_EQ(kill(running, 0), 0) << body;
        kill(running, SIGKILL);
    }
    const ARecordingAlerts::AAlert failed{"Launch Error", ""};
    const ARecordingAlerts::AAlert warned{"Launch Error", "launcher: warned\n"};
    EXPECT_EQ(alerts.fAlerts, (AAlerts{failed, failed, warned, warned}));
}

TEST(AHIDKeyboardAction, EachRowOfTheFixturePostsItsEvents)
{
    for (const auto& [rule, given, expected] : ReadFixtureRows("agent/keyboard-action.txt")) {
        SCOPED_TRACE(rule + "\n" + given);
        std::vector<std::string> operations;
        for (size_t at = 0, end = 0; end != std::string::npos; at = end + 2) {
            end = given.find(", ", at);
            operations.push_back(given.substr(at, end - at));
        }
        ARecorder connection;
        {
            AHIDKeyboardAction keyboard(operations[0] == "unconnected" ? nullptr : &connection);
            for (const std::string& operation : operations) {
                const bool fails = operation[0] == '!';
                const std::string name = operation.substr(fails, operation.find(' ') - fails);
                const std::string argument = operation.substr(std::min(operation.size(), name.size() + fails + 1));
                const int code = std::atoi(argument.c_str());
                bool posted = true;
                if (name == "key")
                    posted = keyboard.PostKey(code);
                else if (name == "aux")
                    posted = keyboard.PostAuxKey(code);
                else if (name == "sys")
                    posted = keyboard.PostSysDefinedKey(code);
                else if (name == "down" || name == "up")
                    posted = keyboard.PostVirtualKey(code, name == "up");
                else if (name == "clear")
                    keyboard.ClearModifiers();
                else if (name == "play")
                    PlayKeyStrokeList(&connection, argument);
                else if (name == "failing")
                    connection.fFailing = argument;
                else if (name == "modifiers")
                    EXPECT_EQ(keyboard.GetModifiers(), std::stoul(argument, nullptr, 16)) << operation;
                else
                    EXPECT_EQ(name, "unconnected") << operation;
                EXPECT_EQ(posted, !fails) << operation;
            }
        }
        EXPECT_EQ(connection.fText, expected);
    }
}
