#include "agent/ExecAppleScript.h"

#include "platform/process/AChildProcess.h"
#include "prefs/AException.h"
#include "tests/support/ABusServiceStandIn.h"
#include "tests/support/APrivateBus.h"
#include "tests/support/AStandInPrograms.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <memory>
#include <mutex>

namespace {

const char* const kShippedScripts[] = {"SafariBack.scpt",      "SafariForward.scpt",   "FirefoxForward.scpt",
                                       "FirefoxBack.scpt",     "iTunesPlayPause.scpt", "iTunesStop.scpt",
                                       "PowerPointStart.scpt"};

// The reason ExecAppleScript raised for the script, or empty when it ran cleanly.
std::string FailureOf(const std::string& script)
{
    try {
        ExecAppleScript(script);
    } catch (const AException& failure) {
        return failure.GetReason();
    }
    return {};
}

// An installation in a temporary folder laid out like the real one:
// <root>/share/nuvexa/<scripts> and, when wanted, <root>/bin/nuvexactl, a
// stand-in that records the key list it is asked to play. A folder of
// stand-in tools goes first on PATH.
class ShippedScriptsTest : public ::testing::Test {
protected:
    ShippedScriptsTest() : fPath("PATH", Tools().string() + ":/usr/bin:/bin")
    {
        std::filesystem::create_directories(fRoot.Path() / "share" / "nuvexa");
        std::filesystem::create_directories(fRoot.Path() / "bin");
        std::filesystem::create_directories(Tools());
    }

    std::filesystem::path Tools() const { return fRoot.Path() / "tools"; }
    std::filesystem::path Record() const { return fRoot.Path() / "record"; }

    // Copies the shipped script from the build tree into the layout.
    std::string Install(const std::string& name) const
    {
        const auto target = fRoot.Path() / "share" / "nuvexa" / name;
        WriteExecutable(target, ReadWholeFile(BuildDataFolder() / name));
        return target.string();
    }

    void InstallNuvexactl(const std::string& errorText = "", int status = 0) const
    {
        WriteRecorder(fRoot.Path() / "bin" / "nuvexactl", Record(), errorText, status);
    }

    std::vector<std::string> Played() const
    {
        return std::filesystem::exists(Record()) ? ReadRecordedArguments(Record()) : std::vector<std::string>{};
    }

    ATemporaryFolder fRoot;
    AScopedEnvironment fPath;
};

// An MPRIS media player on the private bus: answers PlaybackStatus and
// records the Player methods called.
class AStandInPlayer {
public:
    AStandInPlayer(const std::string& name, std::string status, bool refuses = false)
        : fStatus(std::move(status)),
          fRefuses(refuses),
          fService("org.mpris.MediaPlayer2." + name, "/org/mpris/MediaPlayer2",
                   [this](sd_bus_message* call) { Handle(call); })
    {
    }

    std::vector<std::string> Calls()
    {
        std::lock_guard lock(fMutex);
        return fCalls;
    }

private:
    void Handle(sd_bus_message* call)
    {
        const char* interface = nullptr;
        const char* property = nullptr;
        if (sd_bus_message_is_method_call(call, "org.freedesktop.DBus.Properties", "Get") &&
            sd_bus_message_read(call, "ss", &interface, &property) >= 0 &&
            std::string(property) == "PlaybackStatus") {
            sd_bus_reply_method_return(call, "v", "s", fStatus.c_str());
        } else if (std::string(sd_bus_message_get_interface(call)) == "org.mpris.MediaPlayer2.Player") {
            {
                std::lock_guard lock(fMutex);
                fCalls.push_back(sd_bus_message_get_member(call));
            }
            if (fRefuses)
                sd_bus_reply_method_errorf(call, "org.mpris.MediaPlayer2.Error", "cannot do that now");
            else
                ReplyEmpty(call);
        } else {
            sd_bus_reply_method_errorf(call, "org.freedesktop.DBus.Error.UnknownMethod", "no such method");
        }
    }

    std::string fStatus;
    bool fRefuses;
    std::mutex fMutex;
    std::vector<std::string> fCalls;
    ABusServiceStandIn fService;
};

} // namespace

TEST(ShippedScripts, AllSevenAreInTheBuildTreeAsExecutableShellScripts)
{
    for (const char* name : kShippedScripts) {
        const auto path = BuildDataFolder() / name;
        ASSERT_TRUE(std::filesystem::is_regular_file(path)) << name;
        EXPECT_NE(std::filesystem::status(path).permissions() & std::filesystem::perms::owner_exec,
                  std::filesystem::perms::none)
            << name;
        EXPECT_EQ(ReadWholeFile(path).rfind("#!/bin/sh\n", 0), 0u) << name;
        AChildProcess check;
        ASSERT_TRUE(check.Start("/bin/sh", {"-n", path.string()}, {}));
        ASSERT_TRUE(check.Wait());
        EXPECT_EQ(check.ExitStatus(), 0) << name << " is not valid POSIX sh";
    }
}

TEST_F(ShippedScriptsTest, BrowserScriptsPlayAltArrowsThroughTheAgentsTool)
{
    InstallNuvexactl();
    const struct {
        const char* fScript;
        const char* fKeys;
    } cases[] = {
        {"SafariBack.scpt", "58|123|58"},
        {"FirefoxBack.scpt", "58|123|58"},
        {"SafariForward.scpt", "58|124|58"},
        {"FirefoxForward.scpt", "58|124|58"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FailureOf(Install(c.fScript)), "") << c.fScript;
        EXPECT_EQ(Played(), (std::vector<std::string>{"keys", c.fKeys})) << c.fScript;
    }
}

TEST_F(ShippedScriptsTest, KeyScriptsFindNuvexactlOnPathWhenNotBesideTheAgent)
{
    WriteRecorder(Tools() / "nuvexactl", Record());
    EXPECT_EQ(FailureOf(Install("SafariForward.scpt")), "");
    EXPECT_EQ(Played(), (std::vector<std::string>{"keys", "58|124|58"}));
}

TEST_F(ShippedScriptsTest, KeyScriptsFailCleanlyWithoutAWorkingNuvexactl)
{
    const std::string script = Install("SafariBack.scpt");
    EXPECT_EQ(FailureOf(script),
              "Description: SafariBack.scpt: nuvexactl not found beside the agent or on PATH Code: 127");
    InstallNuvexactl("nuvexactl: unknown command 'keys'\n", 2);
    EXPECT_EQ(FailureOf(script), "Description: nuvexactl: unknown command 'keys' Code: 2");
}

TEST_F(ShippedScriptsTest, PlayerScriptsAddressThePlayingPlayerElseThePausedElseTheFirst)
{
    APrivateBus bus;
    const struct {
        const char* fRule;
        std::vector<std::pair<std::string, std::string>> fPlayers;  // name, status
        std::string fAddressed;
    } cases[] = {
        {"the playing one", {{"alpha", "Stopped"}, {"beta", "Paused"}, {"gamma", "Playing"}}, "gamma"},
        {"else the paused one", {{"alpha", "Stopped"}, {"beta.instance42", "Paused"}}, "beta.instance42"},
        {"else the first by name", {{"beta", "Stopped"}, {"alpha", "Stopped"}}, "alpha"},
    };
    for (const auto& c : cases) {
        for (const auto& [script, method] : {std::pair{"iTunesPlayPause.scpt", "PlayPause"},
                                             std::pair{"iTunesStop.scpt", "Stop"}}) {
            std::map<std::string, std::unique_ptr<AStandInPlayer>> players;
            for (const auto& [name, status] : c.fPlayers)
                players[name] = std::make_unique<AStandInPlayer>(name, status);
            EXPECT_EQ(FailureOf(Install(script)), "") << c.fRule << ", " << script;
            for (auto& [name, player] : players) {
                const auto expected = name == c.fAddressed ? std::vector<std::string>{method}
                                                           : std::vector<std::string>{};
                EXPECT_EQ(player->Calls(), expected) << c.fRule << ", " << script << ", " << name;
            }
        }
    }
}

TEST_F(ShippedScriptsTest, PlayerScriptsFailCleanlyWithoutBusPlayerOrConsent)
{
    const std::string playPause = Install("iTunesPlayPause.scpt");
    const std::string stop = Install("iTunesStop.scpt");
    {
        AScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (fRoot.Path() / "none").string());
        EXPECT_TRUE(FailureOf(playPause).ends_with("iTunesPlayPause.scpt: no session bus Code: 1"))
            << FailureOf(playPause);
    }
    APrivateBus bus;
    EXPECT_EQ(FailureOf(stop), "Description: iTunesStop.scpt: no media player on the session bus Code: 1");
    AStandInPlayer refusing("vlc", "Playing", true);
    const std::string reason = FailureOf(playPause);
    EXPECT_TRUE(reason.ends_with("iTunesPlayPause.scpt: org.mpris.MediaPlayer2.vlc did not take PlayPause Code: 1"))
        << reason;
    EXPECT_NE(reason.find("cannot do that now"), std::string::npos) << "the player's own words are kept";
}

TEST_F(ShippedScriptsTest, PresentationScriptNeedsLibreOfficeRunningWhereThereIsNoX11)
{
    InstallNuvexactl();
    AScopedEnvironment noDisplay("DISPLAY", "");
    const std::string script = Install("PowerPointStart.scpt");
    EXPECT_EQ(FailureOf(script), "Description: PowerPointStart.scpt: LibreOffice Impress is not running Code: 1");
    EXPECT_EQ(Played(), std::vector<std::string>{});

    // A process that goes by LibreOffice's name.
    const auto office = fRoot.Path() / "soffice.bin";
    WriteExecutable(office, ReadWholeFile("/bin/sleep"));
    AChildProcess running;
    ASSERT_TRUE(running.Start(office.string(), {"300"}, {}));
    EXPECT_EQ(FailureOf(script), "");
    kill(running.Pid(), SIGKILL);
    running.Wait();
    EXPECT_EQ(Played(), (std::vector<std::string>{"keys", "96"}));
}

TEST_F(ShippedScriptsTest, PresentationScriptBringsAnImpressWindowForwardOnX11)
{
    InstallNuvexactl();
    AScopedEnvironment display("DISPLAY", ":97");
    const auto log = fRoot.Path() / "xdotool.log";
    const auto windows = fRoot.Path() / "windows";
    const auto active = fRoot.Path() / "active";
    // xdotool as far as the script uses it: the Impress windows found by
    // class, the active window, and the activations asked for.
    WriteExecutable(Tools() / "xdotool", "#!/bin/sh\n"
                                         "case $1 in\n"
                                         "search) [ \"$3\" = --class ] && cat " + ShellQuoted(windows.string()) + ";;\n"
                                         "getactivewindow) cat " + ShellQuoted(active.string()) + ";;\n"
                                         "windowactivate) echo \"$*\" >> " + ShellQuoted(log.string()) + ";;\n"
                                         "esac\n"
                                         "exit 0\n");
    const std::string script = Install("PowerPointStart.scpt");
    const struct {
        const char* fRule;
        std::string fWindows;
        std::string fActive;
        std::string fActivated;
    } cases[] = {
        {"an Impress window behind another is raised first", "4194307\n4194311\n", "555\n",
         "windowactivate --sync 4194311\n"},
        {"an Impress window already in front is left alone", "4194307\n4194311\n", "4194307\n", ""},
    };
    for (const auto& c : cases) {
        WriteWholeFile(windows, c.fWindows);
        WriteWholeFile(active, c.fActive);
        std::filesystem::remove(log);
        std::filesystem::remove(Record());
        EXPECT_EQ(FailureOf(script), "") << c.fRule;
        EXPECT_EQ(std::filesystem::exists(log) ? ReadWholeFile(log) : "", c.fActivated) << c.fRule;
        EXPECT_EQ(Played(), (std::vector<std::string>{"keys", "96"})) << c.fRule;
    }

    WriteWholeFile(windows, "");
    std::filesystem::remove(Record());
    EXPECT_EQ(FailureOf(script), "Description: PowerPointStart.scpt: no LibreOffice Impress window Code: 1");
    EXPECT_EQ(Played(), std::vector<std::string>{});
}
