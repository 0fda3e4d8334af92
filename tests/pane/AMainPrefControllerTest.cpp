// The main view against a stand-in agent device list on a real message port:
// the row for each reply, selection and the editor, rebuilding on
// "NuvexaPreferences", the host's selection life; and the update check and
// download against a real HTTP server on loopback.
#include "pane/AAutoUpdateDownload.h"
#include "pane/AAutoUpdateSystemVersion.h"
#include "pane/AMainView.h"
#include "tests/pane/APaneTestSupport.h"

#include <QtNetwork>

#include <sys/epoll.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QString kBTMouse = u"Bluetooth Mouse:NuvexaBTMouse/NuvexaBTMouseSelected"_qs;
const QString kPresenter = u"Bluetooth Presenter:NuvexaPresenter/NuvexaPresenterSelected"_qs;

// Each button as "title:picture/selected picture".
QStringList Buttons(AMainView& view)
{
    QStringList buttons;
    for (QToolButton* button : view.DeviceButtons())
        buttons.append(button->text() + u":"_qs + button->property("picture").toString() + u"/"_qs
                       + button->property("selectedPicture").toString());
    return buttons;
}

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

    void ReplyMakesRow_data() { AddFixtureRows("pane/device-lists.txt"); }
    void ReplyMakesRow()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        const bool alert = expected.startsWith(u"alert ");
        QElapsedTimer elapsed;
        elapsed.start();
        AMainView& view = Show(given == u"no data" ? std::nullopt : std::make_optional(given.toStdString()), given != u"no agent");
        QVERIFY(elapsed.elapsed() < 900);  // a reply or a failed look-up, never a request's time-out (1 s)
        QCOMPARE(Buttons(view).join(u", "_qs), alert ? QString() : expected);
        QCOMPARE(view.fNoDevicesFound->isVisible(), alert || expected.isEmpty());
        QVERIFY(alert || view.fActiveDeviceRow->isVisible() == !expected.isEmpty());  // a failure keeps the (empty) row
        QVERIFY(!view.fConfigureButton->isEnabled());
        QTRY_COMPARE(fPane->fDialogs.fShown.size(), alert ? 1 : 0);
        QVERIFY2(!alert || fPane->fDialogs.fShown.front().contains(expected.mid(6)), qPrintable(fPane->fDialogs.fShown.value(0)));
    }

    void SelectionOpensEditorWhichClosesOnlyWhenItsTypeIsGone()
    {
        AMainView& view = Show("<l><d type='1'/><d type='2'/></l>");
        QTest::mouseClick(view.DeviceButtons()[0], Qt::LeftButton);
        QVERIFY(view.fConfigureButton->isEnabled());
        QCOMPARE(fPane->fDetails->GetDeviceType(), kDeviceBTMouse);
        QVERIFY(!fPane->fDetails->IsWindowOpen());
        QTest::mouseClick(view.DeviceButtons()[1], Qt::LeftButton);
        QTest::mouseDClick(view.DeviceButtons()[1], Qt::LeftButton);
        QVERIFY(view.DeviceButtons()[1]->isChecked() && !view.DeviceButtons()[0]->isChecked());
        QVERIFY(fPane->fDetails->IsWindowOpen() && fPane->fDetails->Window().isVisible());
        QCOMPARE(fPane->fDetails->GetDeviceType(), kDevicePresenter);
        QCOMPARE(fPane->fDetails->Window().windowModality(), Qt::WindowModal);

        Rebuild("<l><d type='2'/></l>");
        QTRY_COMPARE(Buttons(view), QStringList{kPresenter});
        QVERIFY(fPane->fDetails->IsWindowOpen());
        // The rebuilt row shows no selection; the button stays as it was.
        QVERIFY(!view.DeviceButtons()[0]->isChecked());
        QVERIFY(view.fConfigureButton->isEnabled());

        Rebuild("<l><d type='1'/></l>");
        QTRY_COMPARE(Buttons(view), QStringList{kBTMouse});
        QVERIFY(!fPane->fDetails->IsWindowOpen() && !fPane->fDetails->Window().isVisible());
    }

    void HiddenWindowHoldsNoRowAndObservesNothing()
    {
        AMainView& view = Show("<l><d type='1'/></l>");
        QCOMPARE(view.DeviceButtons().size(), 1);
        fPane->fWindow->hide();
        QVERIFY(!fPane->fWindow->IsSelected());
        QCOMPARE(view.DeviceButtons().size(), 0);

        Rebuild("<l><d type='1'/><d type='2'/></l>");
        QTest::qWait(200);
        QCOMPARE(view.DeviceButtons().size(), 0);
        fPane->fWindow->show();
        QCOMPARE(Buttons(view), (QStringList{kBTMouse, kPresenter}));
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
    // The main window shown, with a stand-in agent answering `reply`, or none.
    AMainView& Show(std::optional<std::string> reply, bool agent = true)
    {
        if (agent)
            fAgent = std::make_unique<AStandInDeviceList>(std::move(reply));
        fPane->Start();
        fPane->fWindow->show();
        return fPane->fWindow->View();
    }

    // The agent's list changes and it says so.
    void Rebuild(const char* reply) { fAgent->SetReply(reply); QVERIFY(ADistributedNotificationCenter(nullptr).PostNotification("NuvexaPreferences", std::nullopt)); }

    std::unique_ptr<AUpdateFixture> fPane;
    std::unique_ptr<AStandInDeviceList> fAgent;
};

QTEST_MAIN(AMainPrefControllerTest)
#include "AMainPrefControllerTest.moc"
