// The main view against a stand-in agent device list on a real message port
// and the private session bus: what the row shows for each kind of reply,
// selection and the editor, rebuilding on "NuvexaPreferences", and the
// host's selection life.
#include "pane/AMainView.h"
#include "tests/pane/APaneTestSupport.h"
#include "tests/support/ATestPaths.h"

#include <QtTest>

#include <sys/epoll.h>
#include <unistd.h>

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

    void ReplyMakesRow_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("expected");
        for (const auto& [rule, given, expected] : ReadFixtureRows("pane/device-lists.txt"))
            QTest::newRow(rule.c_str() + 2) << QString::fromStdString(given) << QString::fromStdString(expected);
    }
    void ReplyMakesRow()
    {
        QFETCH(QString, reply);
        QFETCH(QString, expected);
        const bool alert = expected.startsWith(u"alert ");
        QElapsedTimer elapsed;
        elapsed.start();
        AMainView& view = Show(reply == u"no data" ? std::nullopt : std::make_optional(reply.toStdString()), reply != u"no agent");
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

        fAgent->SetReply("<l><d type='2'/></l>");
        PostDevicesChanged();
        QTRY_COMPARE(Buttons(view), QStringList{kPresenter});
        QVERIFY(fPane->fDetails->IsWindowOpen());
        // The rebuilt row shows no selection; the button stays as it was.
        QVERIFY(!view.DeviceButtons()[0]->isChecked());
        QVERIFY(view.fConfigureButton->isEnabled());

        fAgent->SetReply("<l><d type='1'/></l>");
        PostDevicesChanged();
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

        fAgent->SetReply("<l><d type='1'/><d type='2'/></l>");
        PostDevicesChanged();
        QTest::qWait(200);
        QCOMPARE(view.DeviceButtons().size(), 0);
        fPane->fWindow->show();
        QCOMPARE(Buttons(view), (QStringList{kBTMouse, kPresenter}));
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

    std::unique_ptr<APaneFixture> fPane;
    std::unique_ptr<AStandInDeviceList> fAgent;
};

QTEST_MAIN(AMainPrefControllerTest)
#include "AMainPrefControllerTest.moc"
