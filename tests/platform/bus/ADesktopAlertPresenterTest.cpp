#include "platform/bus/ADesktopAlertPresenter.h"

#include "platform/bus/ADBusNames.h"
#include "tests/support/ABusServiceStandIn.h"
#include "tests/support/APrivateBus.h"
#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <mutex>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

struct ANotification {
    std::string fAppName;
    uint32_t fReplacesId = 0;
    std::string fIcon;
    std::string fSummary;
    std::string fBody;
    int32_t fExpireTimeout = 0;
};

// A notification service that advertises `capabilities`, records each
// Notify call and, unless told to hang, answers like a real one.
class ANotificationService {
public:
    explicit ANotificationService(std::vector<std::string> capabilities, bool answers = true)
        : fCapabilities(std::move(capabilities)),
          fAnswers(answers),
          fService(kDesktopNotificationsService, kDesktopNotificationsPath,
                   [this](sd_bus_message* call) { Handle(call); })
    {
    }

    std::vector<ANotification> Received()
    {
        std::lock_guard lock(fMutex);
        return fReceived;
    }

private:
    void Handle(sd_bus_message* call)
    {
        if (!fAnswers)
            return;
        if (sd_bus_message_is_method_call(call, kDesktopNotificationsInterface, "GetCapabilities")) {
            sd_bus_message* reply = nullptr;
            sd_bus_message_new_method_return(call, &reply);
            sd_bus_message_open_container(reply, 'a', "s");
            for (const auto& capability : fCapabilities)
                sd_bus_message_append(reply, "s", capability.c_str());
            sd_bus_message_close_container(reply);
            sd_bus_send(nullptr, reply, nullptr);
            sd_bus_message_unref(reply);
        } else if (sd_bus_message_is_method_call(call, kDesktopNotificationsInterface, "Notify")) {
            ANotification notification;
            const char *app = nullptr, *icon = nullptr, *summary = nullptr, *body = nullptr;
            sd_bus_message_read(call, "susss", &app, &notification.fReplacesId, &icon, &summary, &body);
            sd_bus_message_skip(call, "asa{sv}");
            sd_bus_message_read(call, "i", &notification.fExpireTimeout);
            notification.fAppName = app;
            notification.fIcon = icon;
            notification.fSummary = summary;
            notification.fBody = body;
            {
                std::lock_guard lock(fMutex);
                fReceived.push_back(notification);
            }
            sd_bus_reply_method_return(call, "u", 7u);
        } else {
            sd_bus_reply_method_errorf(call, "org.freedesktop.DBus.Error.UnknownMethod", "no such method");
        }
    }

    std::vector<std::string> fCapabilities;
    bool fAnswers;
    std::mutex fMutex;
    std::vector<ANotification> fReceived;
    ABusServiceStandIn fService;
};

// A pipe that stands for standard error: what the presenter falls back to.
class AFallbackSink {
public:
    AFallbackSink()
    {
        if (pipe2(fEnds, O_CLOEXEC | O_NONBLOCK) != 0)
            throw std::runtime_error("pipe");
    }
    ~AFallbackSink()
    {
        close(fEnds[0]);
        close(fEnds[1]);
    }
    int WriteEnd() const { return fEnds[1]; }
    std::string Text() const
    {
        std::string text;
        char buffer[4096];
        for (ssize_t got; (got = read(fEnds[0], buffer, sizeof buffer)) > 0;)
            text.append(buffer, static_cast<size_t>(got));
        return text;
    }

private:
    int fEnds[2];
};

} // namespace

TEST(ADesktopAlertPresenter, AlertBecomesANotificationWithTheMessageAsWritten)
{
    APrivateBus bus;
    ANotificationService service({"body", "actions"});
    AFallbackSink sink;
    ADesktopAlertPresenter presenter(3s, sink.WriteEnd());
    presenter.ShowAlert("Launch Error", "xdg-open: file '/a b/%@ %d <b>&amp;' does not exist\n");

    const auto received = service.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].fAppName, "Nuvexa Device Controller");
    EXPECT_EQ(received[0].fSummary, "Launch Error");
    EXPECT_EQ(received[0].fBody, "xdg-open: file '/a b/%@ %d <b>&amp;' does not exist\n");
    EXPECT_EQ(received[0].fReplacesId, 0u);
    EXPECT_EQ(received[0].fExpireTimeout, -1);
    EXPECT_EQ(sink.Text(), "") << "nothing falls back when the desktop took the alert";
}

TEST(ADesktopAlertPresenter, BodyIsEscapedWhereTheServiceReadsMarkupAndMadeValidUTF8)
{
    APrivateBus bus;
    ANotificationService service({"body", "body-markup"});
    AFallbackSink sink;
    ADesktopAlertPresenter presenter(3s, sink.WriteEnd());
    presenter.ShowAlert("Launch Error", "<b>bold</b> & 100% caf\xE9");

    const auto received = service.Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].fBody, "&lt;b&gt;bold&lt;/b&gt; &amp; 100% caf\xEF\xBF\xBD");
    EXPECT_EQ(received[0].fSummary, "Launch Error");
}

TEST(ADesktopAlertPresenter, FallsBackToStandardErrorWithoutBusServiceOrAnswer)
{
    ATemporaryFolder folder;
    {
        AScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (folder.Path() / "none").string());
        AFallbackSink sink;
        ADesktopAlertPresenter presenter(3s, sink.WriteEnd());
        presenter.ShowAlert("Launch Error", "100% gone\n");
        EXPECT_EQ(sink.Text(), "Launch Error: 100% gone\n") << "no session bus";
    }
    APrivateBus bus;
    {
        AFallbackSink sink;
        ADesktopAlertPresenter presenter(3s, sink.WriteEnd());
        presenter.ShowAlert("Nuvexa Device Controller", "Could not create signal handler.");
        EXPECT_EQ(sink.Text(), "Nuvexa Device Controller: Could not create signal handler.\n")
            << "no notification service on the bus";
    }
    {
        ANotificationService hanging({"body"}, false);
        AFallbackSink sink;
        ADesktopAlertPresenter presenter(300ms, sink.WriteEnd());
        presenter.ShowAlert("Launch Error", "");
        EXPECT_EQ(sink.Text(), "Launch Error: \n") << "a service that never answers";
        EXPECT_TRUE(hanging.Received().empty());
    }
}
