// The settings application on real widgets, on a private runtime folder,
// configuration folder, home folder and session bus, each part row by row
// from its table in tests/fixtures/pane:
// - the main view against a stand-in agent device list on a real message
//   port (main-view.txt): the row for each reply, selection and the editor,
//   rebuilding on "NuvexaPreferences", the host's selection life;
// - the update check and download against a real HTTP server on loopback
//   (update-answers.txt);
// - the button editor (editor.txt), checked against the "mapping.xml" it
//   writes in a temporary XDG_CONFIG_HOME and the reload notifications seen;
// - the key-stroke list's editing and its names, in a US and a German layout
//   (where Y and Z trade places), and where the user's layout comes from when
//   there is no X server to ask (key-strokes.txt); and capture on a real
//   AKeyStrokeWindow (capture.txt): key events as the platform sends them,
//   carrying native scan codes (evdev code + 8), to the window's focus widget;
// - end to end: the whole agent in this process (a stand-in HID device), the
//   editor changing a mapping through its widgets and key capture, and the
//   agent's next press performing the new action.
#include "pane/AAutoUpdateDownload.h"
#include "pane/AAutoUpdateSystemVersion.h"
#include "pane/ADesktopEntries.h"
#include "pane/ADetailsController.h"
#include "pane/ADetailsView.h"
#include "pane/AEventLoopBridge.h"
#include "pane/AMainPrefController.h"
#include "pane/AMainView.h"
#include "pane/APictureView.h"
#include "pane/AQtUserDialogs.h"
#include "pane/ASettingsWindow.h"
#include "pane/AXkbKeyLayout.h"
#include "prefs/APrefController.h"
#include "tests/support/AAgentHarness.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include <atomic>
#include <mutex>
#include <regex>
#include <thread>

#include <linux/input-event-codes.h>
#include <sys/epoll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// The rows of tests/fixtures/<relative> as the data of a test: columns
// "given" and "expected", each row named after its rule.
void AddFixtureRows(const std::string& relative)
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");
    for (const auto& [rule, given, expected] : ReadFixtureRows(relative))
        QTest::newRow((rule.substr(2) + " | " + given).c_str()) << QString::fromStdString(given) << QString::fromStdString(expected);
}

// Dialogs answered in advance.
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

const QString kOffer = u"A newer version of the Nuvexa Device Conntroller is available. Do you wish to download?"_qs;
const QString kFailed = u"Error downloading updated Nuvexa Device Controller image."_qs;
const QByteArray kImage(3000, 'i');

QByteArray Response(const QByteArray& body, qint64 length = -1, const QByteArray& statusAndHeaders = "200 OK")
{
    return "HTTP/1.1 " + statusAndHeaders + "\r\nContent-Length: " + QByteArray::number(length < 0 ? body.size() : length)
        + "\r\nConnection: close\r\n\r\n" + body;
}
QByteArray Redirect(const QByteArray& to) { return Response({}, 0, "302 Found\r\nLocation: " + to); }

// The settings application as main.cpp builds it, with an HTTP server. Start
// builds it (after a test has written the files the editor's store should
// read); the update check runs then, with `options` when given.
struct APaneFixture {
    AAgentSession fSession;
    AEventLoop fLoop;
    ADistributedNotificationCenter fCenter{&fLoop};
    AEventLoopBridge fBridge{fLoop};
    AAnsweringDialogs fDialogs;
    std::unique_ptr<ASettingsWindow> fWindow;
    ADetailsController* fDetails = nullptr;
    AMainPrefController* fController = nullptr;
    QString fHome = QString::fromStdString(fSession.MakeFolder("home").string());
    AScopedEnvironment fHomeVariable{"HOME", fHome.toStdString()};
    QString fDownloads = QString::fromStdString(fSession.MakeFolder("downloads").string());
    std::unique_ptr<AStandInDeviceList> fAgent;  // none: nobody serves the device list
    QTcpServer fServer;
    // What the server answers at a path; the tests add what /update answers.
    QHash<QString, QByteArray> fResponses = {{u"/moved"_qs, Redirect("/update")}, {u"/silent"_qs, {}},
                                             {u"/files/image"_qs, Response(kImage)}, {u"/files/moved"_qs, Redirect("/files/image")},
                                             {u"/files/to-file"_qs, Redirect("file:///etc/hostname")},
                                             {u"/files/broken"_qs, Response(kImage, 2 * kImage.size())},
                                             {u"/files/slow"_qs, Response(QByteArray(1000, 's'), 1'000'000)}};
    QStringList fRequests;  // the path and query of each

    APaneFixture()
    {
        fServer.listen(QHostAddress::LocalHost);
        // Answers each GET with the response set for its path (404 when none)
        // and closes; an empty one never comes, a 1,000,000-byte one stalls.
        QObject::connect(&fServer, &QTcpServer::newConnection, &fServer, [this] {
            QTcpSocket* socket = fServer.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request = QByteArray()]() mutable {
                if (!(request += socket->readAll()).contains("\r\n\r\n"))
                    return;
                fRequests.append(QString::fromLatin1(request.split(' ').value(1)));
                const QByteArray response = fResponses.value(fRequests.last().section(u'?', 0, 0),
                                                             Response("<u><latest_build>99</latest_build></u>", -1, "404 Not Found"));
                socket->write(response);
                if (!response.isEmpty() && !response.contains("Length: 1000000\r"))
                    socket->disconnectFromHost();
            });
        });
    }
    void Start(const QString& informationPath = {}, std::optional<AAutoUpdateOptions> options = {})
    {
        fWindow = std::make_unique<ASettingsWindow>(fDialogs);
        fDetails = new ADetailsController(fDialogs, fCenter, &fBridge, fWindow.get());
        fController = new AMainPrefController(fWindow->View(), *fDetails, fCenter, informationPath);
        if (options)
            fController->SetAutoUpdateOptions(*options);
        fWindow->SetController(fController);
    }
    QString Base() const { return u"http://127.0.0.1:"_qs + QString::number(fServer.serverPort()); }
    // The check asks `path` on the server as kernel 6.1.0; null: no such key.
    void Check(const QString& version, const QString& path, std::chrono::milliseconds timeout = 10s)
    {
        const std::string file = fSession.Root() / "settings.info";
        WriteWholeFile(file, "# comment\nCFBundleVersion=2.5 (build 7)\n" + (version.isNull() ? "" : "NuvexaVersion=" + version.toStdString())
                                 + "\nNuvexaAutoUpdateUrl=" + (path.isNull() ? "" : (Base() + path).toStdString()));
        Start(QString::fromStdString(file), AAutoUpdateOptions{PackKernelVersion("6.1.0-18-amd64"), timeout});
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

AKeyCodeList Codes(const QString& text)
{
    AKeyCodeList codes;
    for (const QString& code : text.split(u' ', Qt::SkipEmptyParts))
        codes.push_back(code.toUShort());
    return codes;
}

// The codes of a list as text, "none" for none.
QString Text(const AKeyCodeList& codes)
{
    QStringList numbers;
    for (const uint16_t code : codes)
        numbers.append(QString::number(code));
    return codes.empty() ? u"none"_qs : numbers.join(u' ');
}

// The keys of pane/capture.txt: each with its evdev code.
const std::map<QString, std::pair<Qt::Key, uint16_t>> kKeys = {
    {u"A"_qs, {Qt::Key_A, KEY_A}}, {u"B"_qs, {Qt::Key_B, KEY_B}}, {u"Tab"_qs, {Qt::Key_Tab, KEY_TAB}}, {u"Esc"_qs, {Qt::Key_Escape, KEY_ESC}},
    {u"Return"_qs, {Qt::Key_Return, KEY_ENTER}}, {u"Space"_qs, {Qt::Key_Space, KEY_SPACE}}, {u"Backspace"_qs, {Qt::Key_Backspace, KEY_BACKSPACE}},
    {u"Shift"_qs, {Qt::Key_Shift, KEY_LEFTSHIFT}}, {u"RightCtrl"_qs, {Qt::Key_Control, KEY_RIGHTCTRL}}, {u"Meta"_qs, {Qt::Key_Meta, KEY_LEFTMETA}},
    {u"F24"_qs, {Qt::Key_F24, KEY_F24}}, {u"Unknown"_qs, {Qt::Key_unknown, 0xFFF0}}};

QString YesNo(bool holds) { return holds ? u"yes"_qs : u"no"_qs; }

} // namespace

class ASettingsApplicationTest : public QObject, public AKeyStrokeDelegate {
    Q_OBJECT

    void SetKeyStrokes(const AKeyCodeList& keyStrokes) override { fReceived.push_back(keyStrokes); }

private slots:
    void init() { fPane = std::make_unique<APaneFixture>(); }
    void cleanup() { fPane.reset(); }

    // A handler that opens a modal dialog runs Qt's loop inside sd-event's
    // dispatch: there the bridge serves nothing and stops watching the
    // still-readable descriptor (which would wake Qt's loop without end);
    // once the handler has returned it serves what became ready meanwhile.
    void HandlerRunningQtsLoopIsNotReenteredAndServingGoesOnAfterIt()
    {
        const auto* notifier = fPane->fBridge.findChild<QSocketNotifier*>();
        QVERIFY(notifier != nullptr);
        int pipeFds[2];
        QVERIFY(pipe(pipeFds) == 0);
        bool later = false, watchingInside = true;
        int servedInside = -1;
        AEventSource second = fPane->fLoop.AddIO(pipeFds[0], EPOLLIN, [&](uint32_t) { later = true; });
        AEventSource first = fPane->fLoop.AddDefer([&] {
            QVERIFY(write(pipeFds[1], "x", 1) == 1);
            servedInside = fPane->fBridge.Process();
            watchingInside = notifier->isEnabled();
            QEventLoop modal;
            QTimer::singleShot(20, &modal, &QEventLoop::quit);
            modal.exec();
        });
        fPane->fBridge.Kick();
        QTRY_VERIFY(later);
        QCOMPARE(servedInside, 0);
        QVERIFY(!watchingInside);
        QVERIFY(notifier->isEnabled());
        close(pipeFds[0]);
        close(pipeFds[1]);
    }

    void MainViewSteps_data() { AddFixtureRows("pane/main-view.txt"); }
    void MainViewSteps()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        for (const QString& step : given.split(u", "_qs)) {
            const QString word = step.section(u' ', 0, 0);
            const QString argument = step.section(u' ', 1);
            const std::optional<std::string> reply = argument == u"no data" ? std::nullopt : std::make_optional(argument.toStdString());
            QToolButton* button = fPane->fWindow ? fPane->fWindow->View().DeviceButtons().value(argument.toInt()) : nullptr;
            if (word == u"reply" && fPane->fAgent) {
                fPane->fAgent->SetReply(reply);
            } else if (word == u"reply") {
                fPane->fAgent = std::make_unique<AStandInDeviceList>(reply);
            } else if (word == u"show") {
                QElapsedTimer elapsed;
                elapsed.start();
                if (!fPane->fWindow)
                    fPane->Start();
                fPane->fWindow->show();
                QVERIFY(elapsed.elapsed() < 900);
            } else if (word == u"hide") {
                fPane->fWindow->hide();
            } else if (word == u"click" || word == u"dclick") {
                QVERIFY2(button, qPrintable(step));
                word == u"click" ? QTest::mouseClick(button, Qt::LeftButton) : QTest::mouseDClick(button, Qt::LeftButton);
            } else if (word == u"changed") {
                QVERIFY(ADistributedNotificationCenter(nullptr).PostNotification("NuvexaPreferences", std::nullopt));
            } else {
                QVERIFY2(word == u"wait", qPrintable(step));
                QTest::qWait(200);
            }
        }
        for (const QString& fact : expected.split(u"; "_qs)) {
            const QString name = fact.section(u": "_qs, 0, 0);
            const QString value = fact.section(u": "_qs, 1);
            const auto holds = [&] { return value.endsWith(u"...") ? MainViewFacts().at(name).startsWith(value.chopped(3)) : MainViewFacts().at(name) == value; };
            QTRY_VERIFY2(holds(), qPrintable(name + u": "_qs + MainViewFacts().at(name)));
        }
    }

    void AnswersAndOutcomes_data() { AddFixtureRows("pane/update-answers.txt"); }
    void AnswersAndOutcomes()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        const QStringList check = given.section(u" | "_qs, 0, 0).split(u' '), user = given.section(u" | "_qs, 1).split(u' ');
        const QString path = check[1] == u"-" ? QString() : check[1];
        const QString target = QString::fromStdString(fPane->fSession.Root()) + u"/"_qs + user.value(1);
        const std::string existing = (fPane->fDownloads + u"/Nuvexa.dmg"_qs).toStdString();
        WriteWholeFile(existing, "old");
        QString answer = check.mid(2).join(u' ').replace(u"{files}"_qs, fPane->Base() + u"/files"_qs);
        answer.replace(u"{1 MiB of blanks}"_qs, QString(1 << 20, u' '));
        fPane->fResponses[u"/update"_qs] = Response(answer.toUtf8());
        fPane->fDialogs.fYes = user[0] == u"yes";
        fPane->fDialogs.fFileAnswers = {target};
        fPane->Check(check[0] == u"-" ? QString() : check[0], path, path == u"/silent" ? 100ms : 10s);
        QCOMPARE(fPane->fRequests.value(0), path.isNull() ? QString() : path + u"?os=60100"_qs);
        // The main view is set up after the check, whatever it found.
        fPane->fWindow->show();
        QCOMPARE(fPane->fWindow->View().fVersion->text(), u"2.5 (build 7)"_qs);
        if (user.value(2) == u"cancel") {
            AAutoUpdateDownload* download = fPane->fController->GetAutoUpdate()->GetDownload();
            QVERIFY(download != nullptr && download->GetProgressDialog()->isVisible());
            QTRY_VERIFY(download->GetProgressDialog()->labelText().contains(
                QLocale().formattedDataSize(1000) + u" of "_qs + QLocale().formattedDataSize(1'000'000)));
            QTest::mouseClick(download->GetProgressDialog()->findChild<QPushButton*>(), Qt::LeftButton);
            QCOMPARE(fPane->fController->GetAutoUpdate()->GetDownload(), nullptr);
            QTest::qWait(50);
        }
        const QString done = u"Successfully downloaded updated Nuvexa Device Controller image to "_qs + target + u"."_qs;
        const QHash<QString, QString> texts = {{u"offer"_qs, kOffer}, {u"done"_qs, done}, {u"failed"_qs, kFailed + u"\r\nError: (a reason)"_qs},
                                               {u"short"_qs, kFailed}};
        const QString told = expected.section(u" image"_qs, 0, 0);
        QTRY_COMPARE(fPane->fDialogs.fShown.size(), told.split(u' ', Qt::SkipEmptyParts).size());
        const QRegularExpression reason(u"\r\nError: .+$"_qs, QRegularExpression::DotMatchesEverythingOption);
        QStringList shown;  // by name; whatever the reason, there is one
        for (QString text : fPane->fDialogs.fShown)
            shown.append(texts.key(text.replace(reason, u"\r\nError: (a reason)"_qs), text));
        QCOMPARE(shown.join(u' '), told);
        // No temporary file is left beside the destination.
        QCOMPARE(QDir(fPane->fDownloads).entryList(QDir::Files | QDir::Hidden), QStringList{u"Nuvexa.dmg"_qs});
        QCOMPARE(ReadWholeFile(existing), expected.endsWith(u"image") ? kImage.toStdString() : "old");
    }

    void SaveDialogOnTheDesktopElseHomeAndNoDownloadWithoutAPath()
    {
        // The blanks around the address are layout.
        fPane->fResponses[u"/update"_qs] = Response("<u> <latest_build>57</latest_build>\n <download_url>\n  " + fPane->Base().toUtf8()
                                                    + "/files/Nuvexa-58.dmg?from=answer\n </download_url>\n</u>\n");
        fPane->fDialogs.fYes = true;
        fPane->Check(u"56"_qs, u"/update"_qs);  // no Desktop folder, Cancel
        QVERIFY(QDir(fPane->fHome).mkdir(u"Desktop"_qs));
        fPane->Check(u"56"_qs, u"/update"_qs);
        fPane->fDialogs.fYes = false;
        fPane->fDialogs.fFileAnswers = {fPane->fDownloads + u"/Nuvexa.dmg"_qs};
        fPane->Check(u"56"_qs, u"/update"_qs);  // the offer declined
        QCOMPARE(fPane->fDialogs.fSuggestedPaths,
                 (QStringList{fPane->fHome + u"/Nuvexa-58.dmg"_qs, fPane->fHome + u"/Desktop/Nuvexa-58.dmg"_qs}));
        QCOMPARE(fPane->fController->GetAutoUpdate(), nullptr);
        QTest::qWait(50);
        QCOMPARE(fPane->fRequests.size(), 3);
        QCOMPARE(fPane->fDialogs.fShown, (QStringList{kOffer, kOffer, kOffer}));
    }

    void NoVersionWithoutTheInformationFileWhichTheBuildWrites()
    {
        fPane->Start(QString::fromStdString(fPane->fSession.Root() / "absent.info"));
        QCOMPARE(fPane->fWindow->View().fVersion->text(), QString());
        const std::string text = ReadWholeFile(BuildDataFolder() / "settings.info");
        for (const char* key : {"\nCFBundleVersion=", "\nNuvexaVersion=", "\nNuvexaAutoUpdateUrl=\n"})
            QVERIFY2(text.find(key) != std::string::npos, key);
    }

    void EditingCases_data() { AddFixtureRows("pane/editor.txt"); }
    void EditingCases()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        const std::filesystem::path folder = fPane->MappingPath().parent_path(), aside = folder.string() + ".aside";
        for (const QString& step : given.split(u", "_qs)) {
            const QStringList word = step.split(u' ');
            const auto number = [&](int at) { return word.value(at).toInt(); };
            if (word[0] == u"store") {
                std::filesystem::create_directories(folder);
                WriteWholeFile(fPane->MappingPath(), std::regex_replace(ReadWholeFile(FixturePath("pane/" + word[1].toStdString() + ".xml")),
                                                                        std::regex("\\{vendor\\}"), std::to_string(kVendorID)));
            } else if (word[0] == u"open") {
                Open(APrefController::ToDeviceType(word[1].toStdString()));
            } else if (word[0] == u"close") {
                Details().CloseWindow();
            } else if (word[0] == u"row") {
                View().fButtonTableView->selectRow(number(1));
            } else if (word[0] == u"kind" || word[0] == u"predefined") {
                QComboBox* box = word[0] == u"kind" ? View().fActionCells[number(1)] : View().fPredefinedCombo;
                box->setCurrentIndex(number(word.size() - 1));
                emit box->activated(box->currentIndex());
            } else if (word[0] == u"script" || word[0] == u"application") {
                fPane->fDialogs.fFileAnswers = {word[1] == u"cancel" ? QString() : word[1]};
                (word[0] == u"script" ? View().fChooseScriptButton : View().fChooseApplicationButton)->click();
                QVERIFY(fPane->fDialogs.fFileAnswers.isEmpty());  // the chooser was asked
                QVERIFY(word[0] == u"application" || fPane->fDialogs.fOpenRequests.back().fKind == AFileKind::kScript);
            } else if (word[0] == u"shift" || word[0] == u"clear") {
                (word[0] == u"shift" ? View().fToggleShift : View().fClearKeyStrokesButton)->click();
            } else if (word[0] == u"presentation") {
                View().fPresentationMatrix->button(number(1))->click();
            } else if (word[0] == u"external") {
                APrefController store(fPane->MappingPath().string());
                store.AddOrUpdateEvent(APrefController::ToDeviceType(word[1].toStdString()), number(2),
                                       APrefController::ToLaunchType(word[3].toStdString()), word.value(4).toStdString());
                store.FlushXml();
            } else if (word[0] == u"unwritable") {
                std::filesystem::rename(folder, aside);
                WriteWholeFile(folder, "not a folder");
            } else {
                QVERIFY2(word[0] == u"writable", qPrintable(step));
                std::filesystem::remove(folder);
                std::filesystem::rename(aside, folder);
            }
        }
        const std::map<QString, QString> facts = EditorFacts();
        for (const QString& fact : expected.split(u"; "_qs))
            QCOMPARE(fact.section(u": "_qs, 0, 0) + u": "_qs + facts.at(fact.section(u": "_qs, 0, 0)), fact);
    }

    void ApplicationsOfferedAndTheirIcons()
    {
        ATemporaryFolder root;
        for (const auto& [rule, path, text] : ReadFixtureRows("pane/applications.txt")) {
            std::filesystem::create_directories((root.Path() / path).parent_path());
            const std::string lines = std::regex_replace(text, std::regex("\\\\n"), "\n");
            WriteWholeFile(root.Path() / path, std::regex_replace(lines, std::regex("\\{root\\}"), root.Path().string()) + "\n");
        }
        AScopedEnvironment home("XDG_DATA_HOME", (root.Path() / "home").string());
        AScopedEnvironment dirs("XDG_DATA_DIRS", (root.Path() / "usr").string() + ":" + (root.Path() / "other").string());
        QStringList offered;
        for (const ADesktopEntry& entry : FindInstalledApplications())
            offered.append(entry.fName + u"|"_qs + QFileInfo(entry.fPath).fileName());
        QCOMPARE(offered, (QStringList{u"Home Editor|editor.desktop"_qs, u"viewer|viewer.desktop"_qs, u"Zed|zed.desktop"_qs}));

        // The editor shows the entry's icon, else the generic picture.
        Open(kDeviceRFMouse);
        const QString editor = QString::fromStdString(root.Path() / "home/applications/editor.desktop");
        fPane->fDialogs.fFileAnswers = {editor, QString::fromStdString(root.Path() / "other/applications/zed.desktop")};
        View().fChooseApplicationButton->click();
        QCOMPARE(View().fApplicationIcon->GetPictureName(), editor);
        View().fChooseApplicationButton->click();
        QCOMPARE(View().fApplicationIcon->GetPictureName(), u"Applications"_qs);
        // The script chooser lists folders, "*.scpt" and executable files.
        chmod((root.Path() / "i.svg").c_str(), 0755);
        for (const auto& [name, listed] : {std::pair{"i.svg", true}, {"home", true}, {"usr/applications/link.desktop", false},
                                           {"/no/such/Back.scpt", true}})
            QCOMPARE(IsScriptChoice(QString::fromStdString(root.Path() / name)), listed);
        // The real chooser starts in the home folder, wherever the program was started.
        QString startFolder = u"no chooser"_qs;
        QTimer::singleShot(0, [&] {
            if (auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                startFolder = chooser->directory().absolutePath();
                chooser->reject();
            }
        });
        QVERIFY(!AQtUserDialogs().ChooseOpenFile(nullptr, {u"Script"_qs, AFileKind::kScript, {}}));
        QCOMPARE(startFolder, QDir::homePath());
    }

    void EveryControlHasAnAccessibleName()
    {
        fPane->Start();
        // The editor's window is the main window's child.
        for (QWidget* control : fPane->fWindow->findChildren<QWidget*>()) {
            auto* button = qobject_cast<QAbstractButton*>(control);
            const bool isControl = button || qobject_cast<QComboBox*>(control) || qobject_cast<QLineEdit*>(control)
                || qobject_cast<APictureView*>(control) || qobject_cast<QAbstractItemView*>(control);
            // Qt's own parts of tables and tab bars name themselves.
            const bool ownPart = control->objectName().startsWith(u"qt_"_qs) || control->inherits("QTableCornerButton")
                || qobject_cast<QTabBar*>(control->parentWidget()) || qobject_cast<QAbstractItemView*>(control->parentWidget());
            if (isControl && !ownPart)
                QVERIFY2(!control->accessibleName().isEmpty() || (button && !button->text().isEmpty()),
                         control->metaObject()->className());
        }
    }

    // The agent brings a session of its own (the fixture's stays idle).
    void EditorChangeReachesTheAgentsNextPress()
    {
        AAgentHarness agent;
        agent.WriteMapping(MappingXml({{"btmouse", 0, {{4, "predefinedkeys", "3"}}}}));
        agent.Start();
        const auto mouse = agent.AttachDevice(kProductBTMouse);
        QVERIFY(agent.Press(mouse, AAgentHarness::kButton5));
        QVERIFY(agent.RunUntil([&] { return agent.KeyEventsText().find("KEY_VOLUMEUP") != std::string::npos; }));
        agent.ClearKeyEvents();

        // The settings application, on the agent's session.
        AEventLoop loop;
        ADistributedNotificationCenter notifications(&loop);
        AEventLoopBridge bridge(loop);
        QWidget mainWindow;
        ADetailsController details(fPane->fDialogs, notifications, &bridge, &mainWindow);
        details.SetDeviceType(kDeviceBTMouse);
        details.ConfigureClick();
        details.View().fActionCells[0]->setCurrentIndex(kLaunchKeystroke);
        emit details.View().fActionCells[0]->activated(kLaunchKeystroke);
        details.View().fToggleShift->click();
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent key(type, Qt::Key_B, Qt::NoModifier, KEY_B + 8u, 0, 0, u"b"_qs);
            QApplication::sendEvent(&details.Window(), &key);
        }
        QCOMPARE(details.GetButtonActionArg(0).value(), std::string("56|11|56"));
        bridge.Process();

        // The agent reloads on the notification; its next press types Shift+B.
        QVERIFY(agent.RunUntil([&] {
            const ADevice* device = agent.Manager().GetDevice(kDeviceBTMouse);
            return device && device->GetEvent(4) && device->GetEvent(4)->GetLaunchArg() == "56|11|56";
        }));
        QVERIFY(agent.Press(mouse, AAgentHarness::kButton5));
        const std::string typed = "KEY_LEFTSHIFT down, SYN_REPORT, KEY_B down, SYN_REPORT, KEY_B up, SYN_REPORT, "
                                  "KEY_LEFTSHIFT up, SYN_REPORT";
        QVERIFY2(agent.RunUntil([&] { return agent.KeyEventsText() == typed; }), agent.KeyEventsText().c_str());
    }

    void KeyStrokeRows_data() { AddFixtureRows("pane/key-strokes.txt"); }
    void KeyStrokeRows()
    {
        QFETCH(QString, given);
        const QStringList words = given.split(u' ');
        QString result;
        if (words[0] == u"layout") {
            words[1] == u"-" ? qunsetenv("XKB_DEFAULT_LAYOUT") : qputenv("XKB_DEFAULT_LAYOUT", words[1].toLatin1());
            const AXkbLayoutNames names = ConfiguredLayoutNames(FixturePath("pane/" + words[2].toStdString()).string());
            for (const std::string& name : {names.fRules, names.fModel, names.fLayout, names.fVariant})
                result += QString::fromStdString(name) + u',';
            result += QString::fromStdString(names.fOptions);
        } else if (words[0] != u"edit") {
            const bool user = words[1].startsWith(u"user:");
            const QString layoutName = words[1].section(u':', -1);
            qputenv("XKB_DEFAULT_LAYOUT", layoutName.toLatin1());
            const auto layout = AXkbKeyLayout::FromNames({"", "", layoutName.toStdString(), "", ""});
            QVERIFY(layout);
            const AKeyCodeList list = Codes(given.section(u' ', 2));
            const AKeyCodeList* codes = list.empty() ? nullptr : &list;
            if (words[0] == u"name")
                result = user ? GetKeyString(words[2].toUShort(), words[3] == u"open")
                              : GetKeyString(words[2].toUShort(), words[3] == u"open", *layout);
            else
                result = user ? FormatKeyStrings(codes) : FormatKeyStrings(codes, *layout);
        } else {
            AKeyStrokeList list;
            list.ToggleVirtualKey(55, true);
            const AKeyCodeList start = Codes(given.section(u' ', 1).section(u'/', 0, 0));
            list.SetKeyStrokes(start.empty() ? nullptr : &start);
            for (const QString& step : given.section(u'/', 1).split(u' ', Qt::SkipEmptyParts)) {
                if (step[0] == u'+' || step[0] == u'-')
                    list.ToggleVirtualKey(step.mid(1).toUShort(), step[0] == u'+');
                else
                    list.KeyUp(step == u"del" ? kDeleteKeyCode : step.toUShort());
            }
            result = Text(list.GetKeyStrokes()) + u" ; "_qs + QString::number(list.GetNumberOfVirtualKeys());
        }
        QTEST(result, "expected");
    }

    void KeyCaptureCases_data() { AddFixtureRows("pane/capture.txt"); }
    void KeyCaptureCases()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        AKeyStrokeWindow window;
        window.SetDelegate(this);
        auto* first = new QPushButton(&window);
        auto* second = new QPushButton(&window);
        int shortcuts = 0;
        connect(new QShortcut(QKeySequence(Qt::Key_A), &window), &QShortcut::activated, this, [&] { ++shortcuts; });
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        first->setFocus();
        QSignalSpy clicked(first, &QPushButton::clicked);
        fReceived.clear();
        for (const QString& step : given.split(u", "_qs)) {
            const QStringList words = step.split(u' ');
            const AKeyCodeList codes = Codes(step.section(u' ', 1));
            if (words[0] == u"capture")
                window.EnableKeyEvents(words[1] == u"on");
            else if (words[0] == u"store")
                window.SetKeyStrokes(&codes);
            else if (words[0] == u"toggle")
                window.ToggleVirtualKey(codes.at(0), true);
            const bool keys = QStringList{u"press"_qs, u"release"_qs, u"type"_qs, u"repeat"_qs}.contains(words[0]);
            for (const QString& name : keys ? words.mid(1) : QStringList()) {
                QWidget* target = QApplication::focusWidget();
                QVERIFY2(target && kKeys.contains(name), qPrintable(step));
                for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                    if (words[0] == (type == QEvent::KeyPress ? u"release" : u"press"))
                        continue;
                    // As the platform sends it, with the native scan code.
                    QKeyEvent event(type, kKeys.at(name).first, Qt::NoModifier, kKeys.at(name).second + 8u, 0, 0, {}, words[0] == u"repeat");
                    QApplication::sendEvent(target, &event);
                }
            }
        }
        const std::map<QString, QString> facts = {
            {u"list"_qs, Text(window.GetKeyStrokes())}, {u"told"_qs, QString::number(fReceived.size())},
            {u"last told"_qs, fReceived.empty() ? u"none"_qs : Text(fReceived.back())},
            {u"focus"_qs, QApplication::focusWidget() == first ? u"first"_qs : QApplication::focusWidget() == second ? u"second"_qs : u"other"_qs},
            {u"shown"_qs, YesNo(window.isVisible())}, {u"clicked"_qs, QString::number(clicked.count())},
            {u"shortcuts"_qs, QString::number(shortcuts)}, {u"rejected"_qs, YesNo(window.result() == QDialog::Rejected)}};
        for (const QString& fact : expected.split(u"; "_qs))
            QCOMPARE(fact.section(u": "_qs, 0, 0) + u": "_qs + facts.at(fact.section(u": "_qs, 0, 0)), fact);
    }

private:
    // What the main view and its editor show, as the facts of pane/main-view.txt.
    std::map<QString, QString> MainViewFacts()
    {
        const AMainView& view = fPane->fWindow->View();
        QStringList buttons;
        QStringList checked;
        QStringList alerts;
        for (QToolButton* button : view.DeviceButtons()) {
            if (button->isChecked())
                checked.append(QString::number(buttons.size()));
            buttons.append(button->text() + u":"_qs + button->property("picture").toString() + u"/"_qs
                           + button->property("selectedPicture").toString());
        }
        for (const QString& text : fPane->fDialogs.fShown)
            alerts.append(text.section(u'\n', 1));
        const auto list = [](const QStringList& items, const QString& separator) { return items.isEmpty() ? u"none"_qs : items.join(separator); };
        return {{u"buttons"_qs, list(buttons, u", "_qs)}, {u"checked"_qs, list(checked, u" "_qs)}, {u"alerts"_qs, list(alerts, u" / "_qs)},
                {u"none found"_qs, YesNo(view.fNoDevicesFound->isVisible())}, {u"row"_qs, YesNo(view.fActiveDeviceRow->isVisible())},
                {u"configure"_qs, YesNo(view.fConfigureButton->isEnabled())},
                {u"editor"_qs, YesNo(Details().IsWindowOpen()) + u" "_qs + YesNo(Details().Window().isVisible())},
                {u"type"_qs, QString::fromStdString(APrefController::FromDeviceType(Details().GetDeviceType()))},
                {u"modal"_qs, YesNo(Details().Window().windowModality() == Qt::WindowModal)},
                {u"selected"_qs, YesNo(fPane->fWindow->IsSelected())}};
    }
    ADetailsController& Details() { return *fPane->fDetails; }
    ADetailsView& View() { return Details().View(); }
    void Open(EDeviceType type)
    {
        if (!fPane->fWindow)
            fPane->Start();
        Details().SetDeviceType(type);
        Details().ConfigureClick();
    }
    // What the editor shows and stored, as the facts of pane/editor.txt.
    std::map<QString, QString> EditorFacts()
    {
        QStringList records, toggles, shown;
        for (const QString& text : fPane->fDialogs.fShown)  // the message and where its reason comes from
            shown.append(text.section(u'\n', 0, 0) + u" | "_qs + text.section(u'\n', 1).section(u": "_qs, 0, 0));
        try {
            const APrefController store(fPane->MappingPath().string());
            for (const auto& [type, device] : store.GetDevices()) {
                std::string record = APrefController::FromDeviceType(type) + " "
                    + (device.GetDeviceVID() == kVendorID ? "vendor" : std::to_string(device.GetDeviceVID())) + " "
                    + std::to_string(device.GetDevicePID()) + " " + std::to_string(device.GetPresentationType()) + ":";
                for (const auto& [id, event] : device.GetEvents())
                    record += " " + std::to_string(id) + "/" + APrefController::FromLaunchType(event.GetLaunchType()) + "/"
                        + event.GetLaunchArg();
                records.append(QString::fromStdString(record));
            }
        } catch (const std::exception&) {
            records = QStringList{u"unreadable"_qs};
        }
        for (QPushButton* toggle : View().Toggles())
            if (toggle->isChecked())
                toggles.append(toggle->text());
        const std::vector<std::string> seen = fPane->TakeNotifications();
        return {{u"open"_qs, YesNo(Details().IsWindowOpen())},
                {u"records"_qs, std::filesystem::exists(fPane->MappingPath()) ? records.join(u" / "_qs) : u"none"_qs},
                {u"saves"_qs, seen == std::vector<std::string>(seen.size(), "PrefChange") ? QString::number(seen.size()) : u"not all PrefChange"_qs},
                {u"alerts"_qs, shown.join(u" / "_qs)}, {u"tab"_qs, QString::number(View().fActionTab->currentIndex())},
                {u"actions"_qs, View().fActionCells[0]->currentText() + u" / "_qs + View().fActionCells[1]->currentText()},
                {u"4"_qs, QString::fromStdString(APrefController::FromLaunchType(Details().GetButtonAction(0)) + "/"
                                                 + Details().GetButtonActionArg(0).value_or("-"))},
                {u"pictures"_qs, Details().ObjectValue(1, 0) + u" "_qs + Details().ObjectValue(1, 1)},
                {u"image"_qs, View().fDeviceImage->GetPictureName()},
                {u"presentation"_qs, View().fPresentationBox->isHidden() ? u"hidden"_qs : QString::number(View().fPresentationMatrix->checkedId())},
                {u"capture"_qs, Details().Window().AreKeyEventsEnabled() ? u"on"_qs : u"off"_qs},
                {u"toggles"_qs, toggles.isEmpty() ? u"none"_qs : toggles.join(u" "_qs)}, {u"keys"_qs, View().fKeyStrokeField->text()},
                {u"script"_qs, View().fAppleScriptPath->text()}, {u"caption"_qs, View().fDefaultCaption->text()}};
    }

    std::unique_ptr<APaneFixture> fPane;
    std::vector<AKeyCodeList> fReceived;
};

QTEST_MAIN(ASettingsApplicationTest)
#include "ASettingsApplicationTest.moc"
