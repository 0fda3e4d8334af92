#pragma once
// An alert presenter for tests: keeps every alert it is asked to show, in
// order, for the test to read back.

#include "platform/bus/AAlertPresenter.h"

#include <string>
#include <vector>

class ARecordingAlertPresenter : public AAlertPresenter {
public:
    struct AAlert {
        std::string fTitle;
        std::string fMessage;
        bool operator==(const AAlert&) const = default;
    };

    void ShowAlert(const std::string& title, const std::string& message) override
    {
        fAlerts.push_back({title, message});
    }

    const std::vector<AAlert>& Alerts() const { return fAlerts; }

private:
    std::vector<AAlert> fAlerts;
};
