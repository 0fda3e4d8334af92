// nuvexa-settings: the settings application of the Nuvexa Device Controller.
// It shows the devices the agent has open and edits the mapping of their
// buttons in "mapping.xml", telling the agent to reload after each change.
// Everything runs on the main thread: Qt's loop also serves the platform's
// event loop, on which the session bus connection lives.

#include "base/AProduct.h"
#include "pane/ADetailsController.h"
#include "pane/AEventLoopBridge.h"
#include "pane/AMainPrefController.h"
#include "pane/APaneInformation.h"
#include "pane/APictureView.h"
#include "pane/AQtUserDialogs.h"
#include "pane/ASettingsWindow.h"
#include "platform/bus/ADistributedNotificationCenter.h"
#include "platform/loop/AEventLoop.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(u"nuvexa-settings"_qs);
    QApplication::setApplicationDisplayName(QString::fromLatin1(kProductDisplayName));
    QApplication::setDesktopFileName(u"nuvexa-settings"_qs);
    QApplication::setWindowIcon(PictureIcon(u"nuvexa-settings"_qs));

    AEventLoop loop;
    ADistributedNotificationCenter notifications(&loop);
    AEventLoopBridge bridge(loop);
    AQtUserDialogs dialogs;

    ASettingsWindow window(dialogs);
    auto* details = new ADetailsController(dialogs, notifications, &bridge, &window);
    window.SetController(
        new AMainPrefController(window.View(), *details, notifications, DefaultPaneInformationPath()));
    window.show();
    const int status = QApplication::exec();
    // Everything queued on the bus is sent before the connection closes.
    bridge.Process();
    return status;
}
