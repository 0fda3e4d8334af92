// The scripts the agent ships, run as the agent runs them, in a temporary
// installation laid out like the real one (<root>/share/nuvexa/<scripts>
// beside <root>/bin/nuvexactl), with stand-in tools: a nuvexactl that records
// the key list it is asked to play, MPRIS players on a private bus, xdotool.

#include "agent/ExecAppleScript.h"

#include "platform/process/AChildProcess.h"
#include "prefs/AException.h"
#include "tests/support/ABusServiceStandIn.h"
#include "tests/support/APrivateBus.h"
#include "tests/support/AStandInPrograms.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <csignal>
#include <mutex>

namespace {

using AArguments = std::vector<std::string>;

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

class ShippedScriptsTest : public ::testing::Test {
protected:
    ShippedScriptsTest()
    {
        std::filesystem::create_directories(fRoot.Path() / "share" / "nuvexa");
        std::filesystem::create_directories(fRoot.Path() / "bin");
    }

    // Copies the shipped script from the build tree into the installation.
    std::string Install(const std::string& name) const
    {
        const auto target = fRoot.Path() / "share" / "nuvexa" / name;
        WriteExecutable(target, ReadWholeFile(BuildDataFolder() / name));
        return target.string();
    }
    void InstallNuvexactl(const std::filesystem::path& folder, const std::string& errorText = "", int status = 0)
    {
        WriteRecorder(folder / "nuvexactl", Record(), errorText, status);
    }
    std::filesystem::path Record() const { return fRoot.Path() / "record"; }
    AArguments Played() const
    {
        AArguments played = std::filesystem::exists(Record()) ? ReadRecordedArguments(Record()) : AArguments{};
        std::filesystem::remove(Record());
        return played;
    }

    ATemporaryFolder fRoot;
    AScopedEnvironment fPath{"PATH", FixturePath("agent/tools").string() + ":" + (fRoot.Path() / "tools").string() +
                                         ":/usr/bin:/bin"};
};

// An MPRIS media player on the private bus: answers PlaybackStatus and
// records the Player methods called, or refuses them.
class AStandInPlayer {
public:
    AStandInPlayer(const std::string& name, std::string status, bool refuses = false)
        : fStatus(std::move(status)), fRefuses(refuses),
          fService("org.mpris.MediaPlayer2." + name, "/org/mpris/MediaPlayer2", [this](sd_bus_message* call) {
              const char *interface = nullptr, *property = nullptr;
              if (sd_bus_message_is_method_call(call, "org.freedesktop.DBus.Properties", "Get") &&
                  sd_bus_message_read(call, "ss", &interface, &property) >= 0 &&
                  property == std::string("PlaybackStatus"))
                  sd_bus_reply_method_return(call, "v", "s", fStatus.c_str());
              else if (sd_bus_message_get_interface(call) != std::string("org.mpris.MediaPlayer2.Player"))
                  sd_bus_reply_method_errorf(call, "org.freedesktop.DBus.Error.UnknownMethod", "no such method");
              else {
                  std::lock_guard lock(fMutex);
                  fCalls.push_back(sd_bus_message_get_member(call));
                  fRefuses ? sd_bus_reply_method_errorf(call, "org.mpris.MediaPlayer2.Error", "cannot do that now")
                           : sd_bus_reply_method_return(call, nullptr);
              }
          })
    {
    }
    AArguments Calls()
    {
        std::lock_guard lock(fMutex);
        return fCalls;
    }

private:
    std::string fStatus;
    bool fRefuses;
    std::mutex fMutex;
    AArguments fCalls;
    ABusServiceStandIn fService;
};

} // namespace

// Each is also run below, which checks its syntax as /bin/sh reads it.
TEST(ShippedScripts, AllSevenAreInTheBuildTreeAsExecutablePosixShellScripts)
{
    for (const char* name : {"SafariBack.scpt", "SafariForward.scpt", "FirefoxForward.scpt", "FirefoxBack.scpt",
                             "iTunesPlayPause.scpt", "iTunesStop.scpt", "PowerPointStart.scpt"}) {
        const auto path = BuildDataFolder() / name;
        EXPECT_EQ(ReadWholeFile(path).rfind("#!/bin/sh\n", 0), 0u) << name;
        EXPECT_NE(std::filesystem::status(path).permissions() & std::filesystem::perms::owner_exec,
                  std::filesystem::perms::none) << name;
    }
}

TEST_F(ShippedScriptsTest, BrowserScriptsPlayAltArrowsThroughNuvexactlBesideTheAgentElseOnPath)
{
    const std::string back = Install("SafariBack.scpt");
    EXPECT_EQ(FailureOf(back),
              "Description: SafariBack.scpt: nuvexactl not found beside the agent or on PATH Code: 127");
    std::filesystem::create_directories(fRoot.Path() / "tools");
    InstallNuvexactl(fRoot.Path() / "tools");
    EXPECT_EQ(FailureOf(Install("SafariForward.scpt")), "");
    EXPECT_EQ(Played(), (AArguments{"keys", "58|124|58"}));
    InstallNuvexactl(fRoot.Path() / "bin");
    for (const auto& [script, keys] : {std::pair{"SafariBack.scpt", "58|123|58"}, {"FirefoxBack.scpt", "58|123|58"},
                                       {"SafariForward.scpt", "58|124|58"}, {"FirefoxForward.scpt", "58|124|58"}}) {
        EXPECT_EQ(FailureOf(Install(script)), "") << script;
        EXPECT_EQ(Played(), (AArguments{"keys", keys})) << script;
    }
    InstallNuvexactl(fRoot.Path() / "bin", "nuvexactl: unknown command 'keys'\n", 2);
    EXPECT_EQ(FailureOf(back), "Description: nuvexactl: unknown command 'keys' Code: 2");
}

TEST_F(ShippedScriptsTest, PlayerScriptsAddressThePlayingPlayerElseThePausedElseTheFirst)
{
    APrivateBus bus;
    const struct {
        const char* fRule;
        std::vector<std::pair<std::string, std::string>> fPlayers;  // name, status
        std::string fAddressed;
    } rows[] = {
        {"the playing one", {{"alpha", "Stopped"}, {"beta", "Paused"}, {"gamma", "Playing"}}, "gamma"},
        {"else the paused one", {{"alpha", "Stopped"}, {"beta.instance42", "Paused"}}, "beta.instance42"},
        {"else the first by name", {{"beta", "Stopped"}, {"alpha", "Stopped"}}, "alpha"},
    };
    for (const auto& row : rows) {
        for (const auto& [script, method] :
             {std::pair{"iTunesPlayPause.scpt", "PlayPause"}, {"iTunesStop.scpt", "Stop"}}) {
            SCOPED_TRACE(std::string(row.fRule) + ", " + script);
            std::vector<std::pair<std::string, std::unique_ptr<AStandInPlayer>>> players;
            for (const auto& [name, status] : row.fPlayers)
                players.emplace_back(name, std::make_unique<AStandInPlayer>(name, status));
            EXPECT_EQ(FailureOf(Install(script)), "");
            for (auto& [name, player] : players)
                EXPECT_EQ(player->Calls(), name == row.fAddressed ? AArguments{method} : AArguments{}) << name;
        }
    }
}

TEST_F(ShippedScriptsTest, PlayerScriptsFailCleanlyWithoutBusPlayerOrConsent)
{
    const std::string playPause = Install("iTunesPlayPause.scpt");
    {
        AScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (fRoot.Path() / "none").string());
        EXPECT_TRUE(FailureOf(playPause).ends_with("iTunesPlayPause.scpt: no session bus Code: 1"));
    }
    APrivateBus bus;
    EXPECT_EQ(FailureOf(Install("iTunesStop.scpt")),
              "Description: iTunesStop.scpt: no media player on the session bus Code: 1");
    AStandInPlayer refusing("vlc", "Playing", true);
    const std::string reason = FailureOf(playPause);
    EXPECT_TRUE(reason.ends_with("iTunesPlayPause.scpt: org.mpris.MediaPlayer2.vlc did not take PlayPause Code: 1"))
        << reason;
    EXPECT_NE(reason.find("cannot do that now"), std::string::npos) << "the player's own words are kept";
}

TEST_F(ShippedScriptsTest, PresentationScriptNeedsImpressRunningWithoutX11AndRaisesItsWindowOnX11)
{
    InstallNuvexactl(fRoot.Path() / "bin");
    const std::string script = Install("PowerPointStart.scpt");
    {
        AScopedEnvironment noDisplay("DISPLAY", "");
        EXPECT_EQ(FailureOf(script), "Description: PowerPointStart.scpt: LibreOffice Impress is not running Code: 1");
        EXPECT_EQ(Played(), AArguments{});
        const auto office = fRoot.Path() / "soffice.bin";  // a process that goes by LibreOffice's name
        WriteExecutable(office, ReadWholeFile("/bin/sleep"));
        AChildProcess running;
        ASSERT_TRUE(running.Start(office.string(), {"300"}, {}));
        EXPECT_EQ(FailureOf(script), "");
        kill(running.Pid(), SIGKILL);
        running.Wait();
        EXPECT_EQ(Played(), (AArguments{"keys", "96"}));
    }
    AScopedEnvironment display("DISPLAY", ":97");
    AScopedEnvironment xdotool("NUVEXA_XDOTOOL", fRoot.Path().string());
    const struct {
        const char* fRule;
        const char* fWindows;
        const char* fActive;
        std::string fActivated;
        std::string fFailure;
    } rows[] = {
        {"an Impress window behind another is raised", "4194307\n4194311\n", "555\n",
         "windowactivate --sync 4194311\n", ""},
        {"an Impress window already in front is left alone", "4194307\n4194311\n", "4194307\n", "", ""},
        {"without an Impress window nothing is typed", "", "555\n", "",
         "Description: PowerPointStart.scpt: no LibreOffice Impress window Code: 1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fRule);
        WriteWholeFile(fRoot.Path() / "windows", row.fWindows);
        WriteWholeFile(fRoot.Path() / "active", row.fActive);
        std::filesystem::remove(fRoot.Path() / "activated");
        EXPECT_EQ(FailureOf(script), row.fFailure);
        EXPECT_EQ(std::filesystem::exists(fRoot.Path() / "activated") ? ReadWholeFile(fRoot.Path() / "activated") : "",
                  row.fActivated);
        EXPECT_EQ(Played(), (row.fFailure.empty() ? AArguments{"keys", "96"} : AArguments{}));
    }
}
