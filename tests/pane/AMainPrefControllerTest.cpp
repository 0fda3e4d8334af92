// The main view against a stand-in agent device list on a real message port,
// row by row from pane/main-view.txt: the row for each reply, selection and
// the editor, rebuilding on "NuvexaPreferences", the host's selection life;
// and the update check and download against a real HTTP server on loopback.
#include "pane/AAutoUpdateDownload.h"
#include "pane/AAutoUpdateSystemVersion.h"
#include "pane/AMainView.h"
#include "prefs/APrefController.h"
#include "tests/pane/APaneTestSupport.h"

#include <QtNetwork>

#include <sys/epoll.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QString kOffer = u"A newer version of the Nuvexa Device Conntroller is available. Do you wish to download?"_qs;
const QString kFailed = u"Error downloading updated Nuvexa Device Controller image."_qs;
const QByteArray kImage(3000, 'i');

QByteArray Response(const QByteArray& body, qint64 length = -1, const QByteArray& statusAndHeaders = "200 OK")
{
    return "HTTP/1.1 " + statusAndHeaders + "\r\nContent-Length: " + QByteArray::number(length < 0 ? body.size() : length)
        + "\r\nConnection: close\r\n\r\n" + body;
}
QByteArray Redirect(const QByteArray& to) { return Response({}, 0, "302 Found\r\nLocation: " + to); }

// The application on a private session and home folder, with an HTTP server.
struct AUpdateFixture : APaneFixture {
    AUpdateFixture()
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
    QString Base() const { return u"http://127.0.0.1:"_qs + QString::number(fServer.serverPort()); }
    // The check asks `path` on the server as kernel 6.1.0; null: no such key.
    void Check(const QString& version, const QString& path, std::chrono::milliseconds timeout = 10s)
    {
        const std::string file = fSession.Root() / "settings.info";
        WriteWholeFile(file, "# comment\nCFBundleVersion=2.5 (build 7)\n" + (version.isNull() ? "" : "NuvexaVersion=" + version.toStdString())
                                 + "\nNuvexaAutoUpdateUrl=" + (path.isNull() ? "" : (Base() + path).toStdString()));
        Start(QString::fromStdString(file), AAutoUpdateOptions{PackKernelVersion("6.1.0-18-amd64"), timeout});
    }
    QString fHome = QString::fromStdString(fSession.MakeFolder("home").string());
    AScopedEnvironment fHomeVariable{"HOME", fHome.toStdString()};
    QString fDownloads = QString::fromStdString(fSession.MakeFolder("downloads").string());
    QTcpServer fServer;
    QHash<QString, QByteArray> fResponses;
    QStringList fRequests;  // the path and query of each
};

} // namespace

class AMainPrefControllerTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fPane = std::make_unique<AUpdateFixture>(); }
    void cleanup()
    {
        fPane.reset();
        fAgent.reset();
    }

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
            if (word == u"reply" && fAgent) {
                fAgent->SetReply(reply);
            } else if (word == u"reply") {
                fAgent = std::make_unique<AStandInDeviceList>(reply);
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
            const auto holds = [&] { return value.endsWith(u"...") ? Facts().at(name).startsWith(value.chopped(3)) : Facts().at(name) == value; };
            QTRY_VERIFY2(holds(), qPrintable(name + u": "_qs + Facts().at(name)));
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
        fPane->fResponses = {{u"/update"_qs, Response(answer.toUtf8())},
                             {u"/moved"_qs, Redirect("/update")}, {u"/silent"_qs, {}},
                             {u"/files/image"_qs, Response(kImage)}, {u"/files/moved"_qs, Redirect("/files/image")},
                             {u"/files/to-file"_qs, Redirect("file:///etc/hostname")},
                             {u"/files/broken"_qs, Response(kImage, 2 * kImage.size())},
                             {u"/files/slow"_qs, Response(QByteArray(1000, 's'), 1'000'000)}};
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
        QStringList wanted;
        for (const QString& text : expected.split(u' ', Qt::SkipEmptyParts))
            if (texts.contains(text))
                wanted.append(texts[text]);
        QTRY_COMPARE(fPane->fDialogs.fShown.size(), wanted.size());
        QStringList shown = fPane->fDialogs.fShown;
        for (QString& text : shown)  // whatever the reason, there is one
            text.replace(QRegularExpression(u"\r\nError: .+$"_qs, QRegularExpression::DotMatchesEverythingOption), u"\r\nError: (a reason)"_qs);
        QCOMPARE(shown, wanted);
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

private:
    // What the main view and its editor show, as the facts of pane/main-view.txt.
    std::map<QString, QString> Facts()
    {
        const AMainView& view = fPane->fWindow->View();
        ADetailsController& details = *fPane->fDetails;
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
        const auto yes = [](bool holds) { return holds ? u"yes"_qs : u"no"_qs; };
        const auto list = [](const QStringList& items, const QString& separator) { return items.isEmpty() ? u"none"_qs : items.join(separator); };
        return {{u"buttons"_qs, list(buttons, u", "_qs)}, {u"checked"_qs, list(checked, u" "_qs)}, {u"alerts"_qs, list(alerts, u" / "_qs)},
                {u"none found"_qs, yes(view.fNoDevicesFound->isVisible())}, {u"row"_qs, yes(view.fActiveDeviceRow->isVisible())},
                {u"configure"_qs, yes(view.fConfigureButton->isEnabled())},
                {u"editor"_qs, yes(details.IsWindowOpen()) + u" "_qs + yes(details.Window().isVisible())},
                {u"type"_qs, QString::fromStdString(APrefController::FromDeviceType(details.GetDeviceType()))},
                {u"modal"_qs, yes(details.Window().windowModality() == Qt::WindowModal)},
                {u"selected"_qs, yes(fPane->fWindow->IsSelected())}};
    }

    std::unique_ptr<AUpdateFixture> fPane;
    std::unique_ptr<AStandInDeviceList> fAgent;
};

QTEST_MAIN(AMainPrefControllerTest)
#include "AMainPrefControllerTest.moc"
