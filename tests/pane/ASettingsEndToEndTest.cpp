// End to end: the whole agent in this process (real loop, message ports and
// private session bus; a stand-in HID device), the settings application's
// editor changing a mapping through its widgets and key capture, and the
// agent's next press performing the new action.
#include "pane/ADetailsView.h"
#include "tests/pane/APaneTestSupport.h"
#include "tests/support/AAgentHarness.h"

#include <linux/input-event-codes.h>

class ASettingsEndToEndTest : public QObject {
    Q_OBJECT

private slots:
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
        AAnsweringDialogs dialogs;
        QWidget mainWindow;
        ADetailsController details(dialogs, notifications, &bridge, &mainWindow);
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
};

QTEST_MAIN(ASettingsEndToEndTest)
#include "ASettingsEndToEndTest.moc"
