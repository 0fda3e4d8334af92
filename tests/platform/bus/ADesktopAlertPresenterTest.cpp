#include "platform/bus/ADesktopAlertPresenter.h"

#include "base/AFileDescriptor.h"
#include "platform/bus/ADBusNames.h"
#include "tests/support/ABusServiceStandIn.h"
#include "tests/support/APrivateBus.h"

#include <gtest/gtest.h>

#include <fcntl.h>

using namespace std::chrono_literals;

TEST(ADesktopAlertPresenter, AlertIsShownAsWrittenOnTheDesktopOrElseOnStandardError)
{
    enum AService { kNoBus, kNoService, kPlain, kMarkup, kHanging };
    const std::string shown = "Nuvexa Device Controller|0|Launch Error|";
    const struct {
        const char* fRule;
        AService fService;
        std::string fMessage, fShown, fFallback;
    } cases[] = {
        {"a body that is not read as markup goes as written", kPlain, "xdg-open: file '/a b/%@ %d <b>&amp;' does not exist\n",
         shown + "xdg-open: file '/a b/%@ %d <b>&amp;' does not exist\n|-1", ""},
        {"a body read as markup is escaped, and made valid UTF-8", kMarkup, "<b>bold</b> & 100% caf\xE9",
         shown + "&lt;b&gt;bold&lt;/b&gt; &amp; 100% caf\xEF\xBF\xBD|-1", ""},
        {"without a session bus it goes to standard error", kNoBus, "100% gone\n", "", "Launch Error: 100% gone\n"},
        {"without a notification service likewise", kNoService, "No handler.", "", "Launch Error: No handler.\n"},
        {"a service that never answers is given up on", kHanging, "", "", "Launch Error: \n"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.fRule);
        AScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        std::optional<APrivateBus> bus;
        if (test.fService != kNoBus)
            bus.emplace();
        // A notification service, reading bodies as markup or not, that keeps
        // each Notify call as "app|replaces id|summary|body|expiry" and answers
        // it, unless it hangs; what it kept is read once it has stopped.
        std::vector<std::string> received;
        std::optional<ABusServiceStandIn> service;
        if (test.fService >= kPlain)
            service.emplace(kDesktopNotificationsService, kDesktopNotificationsPath, [&](sd_bus_message* call) {
                if (test.fService == kHanging)
                    return;
                if (sd_bus_message_is_method_call(call, kDesktopNotificationsInterface, "GetCapabilities"))
                    return (void)sd_bus_reply_method_return(call, "as", 2, "body", test.fService == kMarkup ? "body-markup" : "actions");
                const char *app = "", *icon = "", *summary = "", *body = "";
                uint32_t replaces = 0;
                int32_t expiry = 0;
                sd_bus_message_read(call, "susss", &app, &replaces, &icon, &summary, &body);
                sd_bus_message_skip(call, "asa{sv}");
                sd_bus_message_read(call, "i", &expiry);
                received.push_back(std::string(app) + '|' + std::to_string(replaces) + '|' + summary + '|' + body + '|' +
                                   std::to_string(expiry));
                sd_bus_reply_method_return(call, "u", 7u);
            });
        ATemporaryFolder folder;
        const AFileDescriptor fallback(open((folder.Path() / "stderr").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        ADesktopAlertPresenter(500ms, fallback.Get()).ShowAlert("Launch Error", test.fMessage);
        service.reset();
        EXPECT_EQ(ReadWholeFile(folder.Path() / "stderr"), test.fFallback);
        EXPECT_EQ(received, test.fShown.empty() ? std::vector<std::string>{} : std::vector{test.fShown});
    }
}
