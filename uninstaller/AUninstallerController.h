#pragma once
// AUninstallerController drives the uninstaller's window. Its button starts
// "uninstall.sh" as the administrator (AScriptRun), the script's output goes
// through AOutputReader into the log view and the progress bar, and once the
// output has ended the button's title is "Done", which is the controller's
// state: a click then asks whether to restart. "Restart" asks logind to
// restart the computer; either answer quits the application, as does closing
// the window in any state (a running script goes on by itself).
//
// States: Ready (button enabled, its first title), Running (disabled),
// Done (enabled, "Done"). A dismissed or refused password dialog, a launch
// that fails and a missing script leave it Ready, with the log untouched,
// for another try; they are written to the system log.

#include "uninstaller/AOutputReader.h"

#include <QObject>
#include <QString>

class AScriptRun;
class ASystemLog;
class AUninstallerDialogs;
class AUninstallerWindow;

class AUninstallerController : public QObject {
    Q_OBJECT

public:
    AUninstallerController(AUninstallerWindow& window, QString scriptPath, ASystemLog& log,
                           AUninstallerDialogs& dialogs, QObject* parent = nullptr);

    // The action button's click: starts the script, or in Done asks about
    // the restart.
    void Uninstall();

signals:
    // The application is to quit.
    void QuitRequested();

private:
    void StandardOutputData(const QByteArray& bytes);
    void ScriptEnded(int exitStatus);
    void AlertDidEnd(bool restart);
    void WindowWillClose();
    void Show(const std::vector<AOutputLine>& lines);

    AUninstallerWindow& fWindow;
    QString fScriptPath;
    ASystemLog& fLog;
    AUninstallerDialogs& fDialogs;
    AScriptRun* fRun = nullptr;
    AOutputReader fReader;
    bool fAnyOutput = false;
};
