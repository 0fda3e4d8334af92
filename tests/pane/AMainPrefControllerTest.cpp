// The main view against a stand-in agent device list on a real message port
// and the private session bus: what the row shows for each kind of reply,
// selection and the editor, rebuilding on "NuvexaPreferences", and the
// host's selection life.
#include "pane/AMainView.h"
#include "pane/APictureView.h"
#include "tests/pane/APaneTestSupport.h"
#include "tests/support/ATestPaths.h"

#include <QButtonGroup>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

namespace {

QStringList Titles(AMainView& view)
{
    QStringList titles;
    for (QToolButton* button : view.DeviceButtons())
        titles.append(button->text());
    return titles;
}

QStringList Pictures(AMainView& view)
{
    QStringList pictures;
    for (QToolButton* button : view.DeviceButtons())
        pictures.append(button->property("picture").toString() + u"/"_qs
                        + button->property("selectedPicture").toString());
    return pictures;
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
    void cleanup() { fPane.reset(); }

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
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QStringList>("pictures");
        QTest::addColumn<QString>("alert");
        const QString bt = u"Bluetooth Mouse"_qs, presenter = u"Bluetooth Presenter"_qs, rf = u"Wireless Mouse"_qs;
        const QString btPicture = u"NuvexaBTMouse/NuvexaBTMouseSelected"_qs;
        const QString presenterPicture = u"NuvexaPresenter/NuvexaPresenterSelected"_qs;
        const QString rfPicture = u"NuvexaRFMouse/NuvexaRFMouseSelected"_qs;
        const auto reply = [](const std::vector<int>& types) { return QString::fromStdString(AStandInDeviceList::Reply(types)); };
        QTest::newRow("devices in reply order") << reply({1, 2}) << QStringList{bt, presenter}
                                                << QStringList{btPicture, presenterPicture} << QString();
        QTest::newRow("reversed reply, reversed row") << reply({2, 0}) << QStringList{presenter, rf}
                                                      << QStringList{presenterPicture, rfPicture} << QString();
        QTest::newRow("a type twice, two buttons") << reply({0, 0}) << QStringList{rf, rf}
                                                   << QStringList{rfPicture, rfPicture} << QString();
        QTest::newRow("unknown types: no picture, no title") << reply({7, -1}) << QStringList{u""_qs, u""_qs}
                                                             << QStringList{u"/"_qs, u"/"_qs} << QString();
        QTest::newRow("any element name, type a leading integer")
            << u"<list><mouse type=' 1x'/><!-- no device --><x type='+2'/>text<y/></list>"_qs
            << QStringList{bt, presenter, rf} << QStringList{btPicture, presenterPicture, rfPicture} << QString();
        QTest::newRow("empty device list") << reply({}) << QStringList() << QStringList() << QString();
        QTest::newRow("malformed reply: the parser's failure")
            << u"<devicelist><device type='1'>"_qs << QStringList() << QStringList() << u"XMLParser: "_qs;
        QTest::newRow("no document element") << u"<?xml version='1.0'?>"_qs << QStringList() << QStringList()
                                             << u"AMainPrefController: Error loading preferences"_qs;
    }

    void ReplyMakesRow()
    {
        QFETCH(QString, reply);
        QFETCH(QStringList, titles);
        QFETCH(QStringList, pictures);
        QFETCH(QString, alert);
        AStandInDeviceList agent(reply.toStdString());
        QVERIFY(agent.IsServing());
        fPane->Start();
        fPane->fWindow->show();
        AMainView& view = fPane->fWindow->View();
        QCOMPARE(Titles(view), titles);
        QCOMPARE(Pictures(view), pictures);
        QCOMPARE(view.fNoDevicesFound->isVisible(), titles.isEmpty());
        QVERIFY(!view.fConfigureButton->isEnabled());
        if (alert.isEmpty()) {
            QVERIFY(fPane->fDialogs.fShown.isEmpty());
        } else {
            QTRY_COMPARE(fPane->fDialogs.fShown.size(), 1);
            QVERIFY2(fPane->fDialogs.fShown.front().contains(alert), qPrintable(fPane->fDialogs.fShown.front()));
        }
    }

    void AgentWithoutDataShowsNoDevices()
    {
        AStandInDeviceList agent(std::nullopt);
        fPane->Start();
        fPane->fWindow->show();
        QVERIFY(fPane->fWindow->View().fNoDevicesFound->isVisible());
        QVERIFY(fPane->fDialogs.fShown.isEmpty());
    }

    void SelectionEnablesConfigureAndDoubleClickOpensEditor()
    {
        AStandInDeviceList agent(AStandInDeviceList::Reply({1, 2}));
        fPane->Start();
        fPane->fWindow->show();
        AMainView& view = fPane->fWindow->View();
        QTest::mouseClick(view.DeviceButtons()[0], Qt::LeftButton);
        QVERIFY(view.fConfigureButton->isEnabled());
        QCOMPARE(fPane->fDetails->GetDeviceType(), kDeviceBTMouse);
        QVERIFY(!fPane->fDetails->IsWindowOpen());

        QTest::mouseClick(view.DeviceButtons()[1], Qt::LeftButton);
        QTest::mouseDClick(view.DeviceButtons()[1], Qt::LeftButton);
        QVERIFY(view.DeviceButtons()[1]->isChecked() && !view.DeviceButtons()[0]->isChecked());
        QVERIFY(fPane->fDetails->IsWindowOpen());
        QCOMPARE(fPane->fDetails->GetDeviceType(), kDevicePresenter);
        QVERIFY(fPane->fDetails->Window().isVisible());
        QCOMPARE(fPane->fDetails->Window().windowModality(), Qt::WindowModal);
    }

    void NotificationRebuildsRowAndClosesEditorOnlyWhenItsTypeIsGone()
    {
        AStandInDeviceList agent(AStandInDeviceList::Reply({1, 2}));
        fPane->Start();
        fPane->fWindow->show();
        AMainView& view = fPane->fWindow->View();
        QTest::mouseClick(view.DeviceButtons()[1], Qt::LeftButton);
        fPane->fDetails->ConfigureClick();

        agent.SetReply(AStandInDeviceList::Reply({2}));
        PostDevicesChanged();
        QTRY_COMPARE(Titles(view), QStringList{u"Bluetooth Presenter"_qs});
        QVERIFY(fPane->fDetails->IsWindowOpen());
        // The rebuilt row shows no selection; the button stays as it was.
        QVERIFY(!view.DeviceButtons()[0]->isChecked());
        QVERIFY(view.fConfigureButton->isEnabled());

        agent.SetReply(AStandInDeviceList::Reply({1}));
        PostDevicesChanged();
        QTRY_COMPARE(Titles(view), QStringList{u"Bluetooth Mouse"_qs});
        QVERIFY(!fPane->fDetails->IsWindowOpen());
        QVERIFY(!fPane->fDetails->Window().isVisible());
    }

    void HiddenWindowHoldsNoRowAndObservesNothing()
    {
        AStandInDeviceList agent(AStandInDeviceList::Reply({0}));
        fPane->Start();
        fPane->fWindow->show();
        AMainView& view = fPane->fWindow->View();
        QCOMPARE(view.DeviceButtons().size(), 1);
        fPane->fWindow->hide();
        QVERIFY(!fPane->fWindow->IsSelected());
        QCOMPARE(view.DeviceButtons().size(), 0);

        agent.SetReply(AStandInDeviceList::Reply({0, 1}));
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
    }

    void BuildWritesInformationFile()
    {
        const std::string text = ReadWholeFile(BuildDataFolder() / "settings.info");
        for (const char* key : {"\nCFBundleVersion=", "\nNuvexaVersion=", "\nNuvexaAutoUpdateUrl=\n"})
            QVERIFY2(text.find(key) != std::string::npos, key);
    }

private:
    std::unique_ptr<APaneFixture> fPane;
};

QTEST_MAIN(AMainPrefControllerTest)
#include "AMainPrefControllerTest.moc"
