#pragma once
// Shared: dialogs answered in advance, a stand-in agent device list, and the
// application on a private session recording the notifications it posts.

#include "pane/ADetailsController.h"
#include "pane/AEventLoopBridge.h"
#include "pane/AMainPrefController.h"
#include "pane/ASettingsWindow.h"
#include "pane/AUserDialogs.h"
#include "platform/bus/ADistributedNotificationCenter.h"
#include "platform/ports/AMessagePort.h"
#include "tests/support/AAgentSession.h"
#include "tests/support/ATestPaths.h"

#include <QtTest>
#include <QtWidgets>

#include <atomic>
#include <mutex>
#include <thread>

// The rows of tests/fixtures/<relative> as the data of a test: columns
// "given" and "expected", each row named after its rule.
inline void AddFixtureRows(const std::string& relative)
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    for (const auto& [rule, given, expected] : ReadFixtureRows(relative))
        QTest::newRow((rule.substr(2) + " | " + given).c_str()) << QString::fromStdString(given) << QString::fromStdString(expected);
}

class AAnsweringDialogs : public AUserDialogs {
public:
    bool AskQuestion(QWidget*, const QString&, const QString& text) override
    {
        fShown.push_back(text);
        return fYes;
    }
    void ShowAlert(QWidget*, const QString&, const QString& text) override { fShown.push_back(text); }
    std::optional<QString> ChooseOpenFile(QWidget*, const AOpenFileRequest& request) override
    {
        fOpenRequests.push_back(request);
        return NextFile();
    }
    std::optional<QString> ChooseSaveFile(QWidget*, const ASaveFileRequest& request) override
    {
        fSuggestedPaths.push_back(request.fSuggestedPath);
        return NextFile();
    }
    std::optional<QString> ChooseApplication(QWidget*) override { return NextFile(); }

    bool fYes = false;          // the answer to every question
    QStringList fFileAnswers;   // in order; a null string: the user cancels
    QStringList fShown;         // texts of questions and alerts, in order
    std::vector<AOpenFileRequest> fOpenRequests;
    QStringList fSuggestedPaths;  // of the save dialogs
private:
    std::optional<QString> NextFile()
    {
        const QString answer = fFileAnswers.isEmpty() ? QString() : fFileAnswers.takeFirst();
        return answer.isNull() ? std::nullopt : std::make_optional(answer);
    }
};

// The agent's device list: "MouseListPort" served by a real message port on
// a thread of its own (a request from the serving thread would not wait for
// its answer).
class AStandInDeviceList {
public:
    // The reply's bytes; none: the agent answers without data.
    explicit AStandInDeviceList(std::optional<std::string> reply) : fReply(std::move(reply))
    {
        while (!fReady)
            std::this_thread::yield();
    }
    void SetReply(std::optional<std::string> reply)
    {
        std::lock_guard lock(fMutex);
        fReply = std::move(reply);
    }

private:
    static std::optional<AMessageData> Answer(ALocalMessagePort*, int32_t, const AMessageData*, void* info)
    {
        auto* self = static_cast<AStandInDeviceList*>(info);
        std::lock_guard lock(self->fMutex);
        return self->fReply ? std::make_optional(AMessageData(self->fReply->begin(), self->fReply->end())) : std::nullopt;
    }

    std::mutex fMutex;
    std::optional<std::string> fReply;
    std::atomic<bool> fReady = false;
    std::jthread fThread{[this](std::stop_token stop) {
        AEventLoop loop;
        auto port = ALocalMessagePort::Create(loop, "MouseListPort", Answer, this);
        fReady = true;
        while (!stop.stop_requested())
            loop.RunOnce(20'000);
    }};
};

// The settings application as main.cpp builds it, on a private runtime
// folder, configuration folder and session bus. Start builds it (after a
// test has written the files the editor's store should read); the update
// check runs then, with `options` when given.
struct APaneFixture {
    AAgentSession fSession;
    AEventLoop fLoop;
    ADistributedNotificationCenter fCenter{&fLoop};
    AEventLoopBridge fBridge{fLoop};
    AAnsweringDialogs fDialogs;
    std::unique_ptr<ASettingsWindow> fWindow;
    ADetailsController* fDetails = nullptr;
    AMainPrefController* fController = nullptr;

    void Start(const QString& informationPath = {}, std::optional<AAutoUpdateOptions> options = {})
    {
        fWindow = std::make_unique<ASettingsWindow>(fDialogs);
        fDetails = new ADetailsController(fDialogs, fCenter, &fBridge, fWindow.get());
        fController = new AMainPrefController(fWindow->View(), *fDetails, fCenter, informationPath);
        if (options)
            fController->SetAutoUpdateOptions(*options);
        fWindow->SetController(fController);
    }
    std::filesystem::path MappingPath() const { return fSession.ConfigFolder() / "Nuvexa" / "mapping.xml"; }

    // The objects of the "NuvexaAgent" notifications the application posted
    // since the last call: it posts a marker after them and waits for it on
    // a connection of its own (one poster's notifications arrive in order).
    std::vector<std::string> TakeNotifications()
    {
        fCenter.PostNotification("NuvexaAgent", kMarker);
        fBridge.Process();
        // A lost marker shows as an object no save posts, so that a check for
        // no notification cannot pass on a bus that delivers nothing.
        const bool delivered = fRecorderLoop.RunUntil([this] { return !fSeen.empty() && fSeen.back() == kMarker; }, 5'000'000);
        delivered ? fSeen.pop_back() : void(fSeen.emplace_back("(marker not delivered)"));
        return std::exchange(fSeen, {});
    }

private:
    static constexpr const char* kMarker = "(test marker)";
    AEventLoop fRecorderLoop;
    ADistributedNotificationCenter fRecorder{&fRecorderLoop};
    std::vector<std::string> fSeen;
    bool fObserving = fRecorder.AddObserver(this, [](ADistributedNotificationCenter*, void* self, std::string_view, std::string_view object) {
        static_cast<APaneFixture*>(self)->fSeen.emplace_back(object);
    }, "NuvexaAgent", std::nullopt);
};
