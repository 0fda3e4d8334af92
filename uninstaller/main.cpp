// nuvexa-uninstaller: removes the Nuvexa Device Controller from the computer
// by running "uninstall.sh" (in share/nuvexa beside the program's bin
// folder) as the administrator, showing its output and progress, and then
// offering a restart.

#include "uninstaller/ASystemLog.h"
#include "uninstaller/AUninstallerController.h"
#include "uninstaller/AUninstallerDialogs.h"
#include "uninstaller/AUninstallerWindow.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(u"nuvexa-uninstaller"_qs);
    QApplication::setDesktopFileName(u"nuvexa-uninstaller"_qs);

    ASyslog log;
    AQtUninstallerDialogs dialogs;
    AUninstallerWindow window;
    const QString script = QDir(QApplication::applicationDirPath()).absoluteFilePath(u"../share/nuvexa/uninstall.sh"_qs);
    AUninstallerController controller(window, QDir::cleanPath(script), log, dialogs);
    QObject::connect(&controller, &AUninstallerController::QuitRequested, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    return QApplication::exec();
}
