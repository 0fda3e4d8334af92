// The main view against a stand-in agent device list on a real message port
// and the private session bus: what the row shows for each kind of reply,
// selection and the editor, rebuilding on "NuvexaPreferences", and the
// host's selection life.
#include "pane/AMainView.h"
#include "tests/pane/APaneTestSupport.h"
#include "tests/support/ATestPaths.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QSocketNotifier>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <sys/epoll.h>
#include <unistd.h>

namespace {

QStringList Titles(AMainView& view)
{
    QStringList titles;
    for (QToolButton* button : view.DeviceButtons())
        titles.append(button->text());
    return titles;
}

// Each button as "title:picture/selected picture".
QStringList Buttons(AMainView& view)
{
    QStringList buttons;
    for (QToolButton* button : view.DeviceButtons())
        buttons.append(button->text() + u":"_qs + button->property("picture").toString() + u"/"_qs
                       + button->property("selectedPicture").toString());
    return buttons;
}

void PostDevicesChanged()
{
    ADistributedNotificationCenter poster(nullptr);
    QVERIFY(poster.PostNotification("NuvexaPreferences", std::nullopt));
}

} // namespace

class AMainPrefControllerTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fPane = std::make_unique<APaneFixture>(); }
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

    void NoAgentShowsNoDevicesWithoutWaiting()
    {
        fPane->Start();
        QElapsedTimer elapsed;
        elapsed.start();
        fPane->fWindow->show();
        // The look-up of a port nobody serves fails at once; the request's
        // time-outs (1 s each) never come into play.
        QVERIFY(elapsed.elapsed() < 900);
        AMainView& view = fPane->fWindow->View();
        QVERIFY(view.fNoDevicesFound->isVisible());
        QVERIFY(!view.fActiveDeviceRow->isVisible());
        QVERIFY(!view.fConfigureButton->isEnabled());
        QVERIFY(fPane->fDialogs.fShown.isEmpty());
    }

    void ReplyMakesRow_data()
    {
        QTest::addColumn<QString>("reply");  // null: the agent answers without data
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QString>("alert");
        const QString bt = u"Bluetooth Mouse:NuvexaBTMouse/NuvexaBTMouseSelected"_qs;
        const QString presenter = u"Bluetooth Presenter:NuvexaPresenter/NuvexaPresenterSelected"_qs;
        const QString rf = u"Wireless Mouse:NuvexaRFMouse/NuvexaRFMouseSelected"_qs;
        const auto reply = [](const std::vector<int>& types) { return QString::fromStdString(AStandInDeviceList::Reply(types)); };
        QTest::newRow("devices in reply order") << reply({1, 2}) << QStringList{bt, presenter} << QString();
        QTest::newRow("reversed reply, reversed row") << reply({2, 0}) << QStringList{presenter, rf} << QString();
        QTest::newRow("a type twice, two buttons") << reply({0, 0}) << QStringList{rf, rf} << QString();
        QTest::newRow("unknown types: no picture, no title") << reply({7, -1}) << QStringList{u":/"_qs, u":/"_qs}
                                                             << QString();
        QTest::newRow("any element name, type a leading integer")
            << u"<list><mouse type=' 1x'/><!-- no device --><x type='+2'/>text<y/></list>"_qs
            << QStringList{bt, presenter, rf} << QString();
        QTest::newRow("empty device list") << reply({}) << QStringList() << QString();
        QTest::newRow("agent answers without data") << QString() << QStringList() << QString();
        QTest::newRow("malformed reply: the parser's failure")
            << u"<devicelist><device type='1'>"_qs << QStringList() << u"XMLParser: "_qs;
        QTest::newRow("no document element") << u"<?xml version='1.0'?>"_qs << QStringList()
                                             << u"AMainPrefController: Error loading preferences"_qs;
    }

    void ReplyMakesRow()
    {
        QFETCH(QString, reply);
        QFETCH(QStringList, buttons);
        QFETCH(QString, alert);
        AMainView& view = Show(reply.isNull() ? std::nullopt : std::make_optional(reply.toStdString()));
        QCOMPARE(Buttons(view), buttons);
        QCOMPARE(view.fNoDevicesFound->isVisible(), buttons.isEmpty());
        QVERIFY(!view.fConfigureButton->isEnabled());
        if (alert.isEmpty()) {
            QVERIFY(fPane->fDialogs.fShown.isEmpty());
        } else {
            QTRY_COMPARE(fPane->fDialogs.fShown.size(), 1);
            QVERIFY2(fPane->fDialogs.fShown.front().contains(alert), qPrintable(fPane->fDialogs.fShown.front()));
        }
    }

    void SelectionOpensEditorWhichClosesOnlyWhenItsTypeIsGone()
    {
        AMainView& view = Show(AStandInDeviceList::Reply({1, 2}));
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

        fAgent->SetReply(AStandInDeviceList::Reply({2}));
        PostDevicesChanged();
        QTRY_COMPARE(Titles(view), QStringList{u"Bluetooth Presenter"_qs});
        QVERIFY(fPane->fDetails->IsWindowOpen());
        // The rebuilt row shows no selection; the button stays as it was.
        QVERIFY(!view.DeviceButtons()[0]->isChecked());
        QVERIFY(view.fConfigureButton->isEnabled());

        fAgent->SetReply(AStandInDeviceList::Reply({1}));
        PostDevicesChanged();
        QTRY_COMPARE(Titles(view), QStringList{u"Bluetooth Mouse"_qs});
        QVERIFY(!fPane->fDetails->IsWindowOpen() && !fPane->fDetails->Window().isVisible());
    }

    void HiddenWindowHoldsNoRowAndObservesNothing()
    {
        AMainView& view = Show(AStandInDeviceList::Reply({0}));
        QCOMPARE(view.DeviceButtons().size(), 1);
        fPane->fWindow->hide();
        QVERIFY(!fPane->fWindow->IsSelected());
        QCOMPARE(view.DeviceButtons().size(), 0);

        fAgent->SetReply(AStandInDeviceList::Reply({0, 1}));
        PostDevicesChanged();
        QTest::qWait(200);
        QCOMPARE(view.DeviceButtons().size(), 0);
        fPane->fWindow->show();
        QCOMPARE(Titles(view), (QStringList{u"Wireless Mouse"_qs, u"Bluetooth Mouse"_qs}));
    }

    void VersionComesFromInformationFile()
    {
        ATemporaryFolder folder;
        WriteWholeFile(folder.Path() / "settings.info",
                       "# comment\nNuvexaVersion=1.0\nCFBundleVersion=2.5 (build 7)\nNuvexaAutoUpdateUrl=\n");
        fPane->Start(QString::fromStdString((folder.Path() / "settings.info").string()));
        QCOMPARE(fPane->fWindow->View().fVersion->text(), u"2.5 (build 7)"_qs);

        APaneFixture missing;
        missing.Start(QString::fromStdString((folder.Path() / "absent.info").string()));
        QCOMPARE(missing.fWindow->View().fVersion->text(), QString());

        // The build writes the application's own file.
        const std::string text = ReadWholeFile(BuildDataFolder() / "settings.info");
        for (const char* key : {"\nCFBundleVersion=", "\nNuvexaVersion=", "\nNuvexaAutoUpdateUrl=\n"})
            QVERIFY2(text.find(key) != std::string::npos, key);
    }

private:
    // The main window shown, with a stand-in agent answering `reply`.
    AMainView& Show(std::optional<std::string> reply)
    {
        fAgent = std::make_unique<AStandInDeviceList>(std::move(reply));
        fPane->Start();
        fPane->fWindow->show();
        return fPane->fWindow->View();
    }

    std::unique_ptr<APaneFixture> fPane;
    std::unique_ptr<AStandInDeviceList> fAgent;
};

QTEST_MAIN(AMainPrefControllerTest)
#include "AMainPrefControllerTest.moc"
