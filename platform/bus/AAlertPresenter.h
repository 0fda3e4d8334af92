#pragma once
// AAlertPresenter is the one seam through which the agent shows an alert: a
// title and a message, with the platform's single confirmation. The program
// uses the desktop presenter (ADesktopAlertPresenter); tests hand the code
// under test a recording one and read back what would have been shown.

#include <string>

class AAlertPresenter {
public:
    virtual ~AAlertPresenter() = default;

    // Shows the alert. Returns without waiting for the user: a background
    // agent never holds its loop on a dialog.
    virtual void ShowAlert(const std::string& title, const std::string& message) = 0;
};
