// The scripts the agent ships (rows in tests/fixtures/agent/shipped-scripts.txt),
// run as the agent runs them from a temporary installation, with stand-in
// tools: a nuvexactl that records the key list it is asked to play, MPRIS
// players on a private bus, xdotool.

#include "agent/ExecAppleScript.h"

#include "prefs/AException.h"
#include "tests/support/ABusServiceStandIn.h"
#include "tests/support/AChildProgram.h"
#include "tests/support/APrivateBus.h"
#include "tests/support/AStandInPrograms.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <mutex>
#include <sstream>

namespace {

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

TEST(ShippedScripts, EachRowOfTheFixtureHasItsOutcome)
{
    for (const auto& [rule, given, expected] : ReadFixtureRows("agent/shipped-scripts.txt")) {
        SCOPED_TRACE(rule + "\n" + given);
        ATemporaryFolder root;
        const auto& folder = root.Path();
        for (const char* made : {"share/nuvexa", "bin", "tools"})
            std::filesystem::create_directories(folder / made);
        std::istringstream words(given);
        std::string script;
        words >> script;
        const auto installed = folder / "share" / "nuvexa" / script;
        std::filesystem::copy_file(BuildDataFolder() / script, installed);  // with its mode
        EXPECT_TRUE(ReadWholeFile(installed).starts_with("#!/bin/sh\n"));
        AScopedEnvironment path("PATH", FixturePath("agent/tools").string() + ":" + (folder / "tools").string() +
                                            ":/usr/bin:/bin");
        AScopedEnvironment xdotool("NUVEXA_XDOTOOL", folder.string());
        std::optional<AScopedEnvironment> display(std::in_place, "DISPLAY", "");
        std::optional<APrivateBus> bus(std::in_place);
        std::optional<AScopedEnvironment> noBus;
        std::vector<std::unique_ptr<AStandInPlayer>> players;
        std::optional<AChildProgram> office;
        std::string nuvexactl = "beside";
        for (std::string word; words >> word;) {
            const std::string key = word.substr(0, word.find('=')), value = word.substr(word.find('=') + 1);
            const std::string name = value.substr(0, value.find(':')), status = value.substr(value.find(':') + 1);
            if (key == "nuvexactl") {
                nuvexactl = value;
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
            WriteRecorder(folder / (nuvexactl == "path" ? "tools" : "bin") / "nuvexactl", folder / "record",
                          nuvexactl == "fails" ? "nuvexactl: unknown command 'keys'\n" : "", nuvexactl == "fails" ? 2 : 0);

        std::string observed = "ok";
        try {
            ExecAppleScript(installed.string());
        } catch (const AException& failure) {
            observed = failure.GetReason();
        }
        if (std::filesystem::exists(folder / "record")) {
            observed += "; played";
            for (const std::string& argument : ReadRecordedArguments(folder / "record"))
                observed += " " + argument;
        }
        for (const auto& player : players) {
            std::lock_guard lock(player->fMutex);
            observed += player->fCalls;
        }
        if (std::filesystem::exists(folder / "activated"))
            observed += "; " + ReadWholeFile(folder / "activated");
        for (size_t at; (at = observed.find('\n')) != std::string::npos;)
            observed.replace(at, 1, "\\n");
        EXPECT_EQ(observed, expected);
    }
}
