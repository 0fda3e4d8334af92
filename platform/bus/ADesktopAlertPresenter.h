#pragma once
// ADesktopAlertPresenter shows the agent's alerts as desktop notifications:
// one org.freedesktop.Notifications Notify call on the session bus, under the
// application name "Nuvexa Device Controller", with the title as summary and
// the message as body. The message is shown as written: where the service
// reads bodies as markup, it is escaped first. When there is no session bus,
// no notification service, or no answer within the time-out, the alert is
// written to standard error instead, as "<title>: <message>", so it reaches
// the journal. Each alert uses a connection of its own, opened and closed
// within the call; nothing is kept between alerts.

#include "platform/bus/AAlertPresenter.h"

#include <chrono>
#include <string>
#include <unistd.h>

class ADesktopAlertPresenter : public AAlertPresenter {
public:
    // `timeout` bounds the whole exchange with the bus; `fallbackFd` is
    // where an alert goes when it cannot be shown on the desktop.
    explicit ADesktopAlertPresenter(std::chrono::milliseconds timeout = std::chrono::seconds(3),
                                    int fallbackFd = STDERR_FILENO);

    void ShowAlert(const std::string& title, const std::string& message) override;

    // The Notify exchange alone: true when the notification service took it.
    bool Notify(const std::string& title, const std::string& message) const;

private:
    void WriteFallback(const std::string& title, const std::string& message) const;

    std::chrono::milliseconds fTimeout;
    int fFallbackFd;
};

// The presenter the agent shows its alerts through.
AAlertPresenter& DesktopAlertPresenter();
