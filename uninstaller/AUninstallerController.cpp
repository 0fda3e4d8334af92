#include "uninstaller/AUninstallerController.h"

#include "uninstaller/ALogindRestart.h"
#include "uninstaller/AScriptRun.h"
#include "uninstaller/ASystemLog.h"
#include "uninstaller/AUninstallerDialogs.h"
#include "uninstaller/AUninstallerWindow.h"

#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>

#include <cmath>
#include <string>

namespace {

const QString kDoneTitle = u"Done"_qs;
const QString kRestartQuestion = u"It is recommended that you restart your computer before continuing."_qs;
// pkexec's exit statuses when the shell never ran: the password dialog was
// dismissed, or authorization was refused or could not be obtained.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;
// The bar counts in thousandths, so that fractional progress shows.
constexpr double kProgressScale = 1000;

int ScaledProgress(double value)
{
    return static_cast<int>(std::lround(value * kProgressScale));
}

} // namespace

AUninstallerController::AUninstallerController(AUninstallerWindow& window, QString scriptPath, ASystemLog& log,
                                               AUninstallerDialogs& dialogs, QObject* parent)
    : QObject(parent),
      fWindow(window),
      fScriptPath(std::move(scriptPath)),
      fLog(log),
      fDialogs(dialogs),
      fRun(new AScriptRun(this))
{
    connect(fWindow.ActionButton(), &QPushButton::clicked, this, &AUninstallerController::Uninstall);
    connect(&fWindow, &AUninstallerWindow::Closing, this, &AUninstallerController::WindowWillClose);
    connect(fRun, &AScriptRun::OutputRead, this, &AUninstallerController::StandardOutputData);
    connect(fRun, &AScriptRun::Ended, this, &AUninstallerController::ScriptEnded);
}

void AUninstallerController::Uninstall()
{
    if (fWindow.ActionButton()->text() == kDoneTitle) {
        AlertDidEnd(fDialogs.AskRestart(&fWindow, kRestartQuestion));
        return;
    }
    // The shell is never started without a script.
    if (!QFileInfo(fScriptPath).isFile()) {
        fLog.Write("uninstall.sh not found at " + fScriptPath.toStdString());
        return;
    }
    if (const int error = fRun->Start(fScriptPath); error != 0) {
        fLog.Write("AuthorizationExecuteWithPrivileges() returned " + std::to_string(error));
        return;
    }
    fAnyOutput = false;
    fWindow.ActionButton()->setEnabled(false);
}

void AUninstallerController::StandardOutputData(const QByteArray& bytes)
{
    fAnyOutput = true;
    Show(fReader.Read(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size()))));
}

void AUninstallerController::ScriptEnded(int exitStatus)
{
    // pkexec ends this way, with no output, only when the shell never ran.
    if (!fAnyOutput && (exitStatus == kPkexecDismissed || exitStatus == kPkexecNotAuthorized)) {
        fLog.Write("AuthorizationCopyRights() returned " + std::to_string(exitStatus));
        fWindow.ActionButton()->setEnabled(true);
        return;
    }
    Show(fReader.Finish());
    fWindow.ActionButton()->setText(kDoneTitle);
    fWindow.ActionButton()->setEnabled(true);
}

void AUninstallerController::Show(const std::vector<AOutputLine>& lines)
{
    QPlainTextEdit* log = fWindow.LogView();
    QProgressBar* bar = fWindow.Progress();
    for (const AOutputLine& line : lines) {
        if (line.fProgress) {
            bar->setRange(0, ScaledProgress(line.fProgress->fMaximum));
            bar->setValue(ScaledProgress(line.fProgress->fValue));
            continue;
        }
        // Appended at the end, wherever the user has put the cursor.
        QTextCursor end(log->document());
        end.movePosition(QTextCursor::End);
        end.insertText(QString::fromStdString(line.fText));
    }
    // The latest step stays in sight.
    log->verticalScrollBar()->setValue(log->verticalScrollBar()->maximum());
}

void AUninstallerController::AlertDidEnd(bool restart)
{
    if (restart) {
        if (RequestRestartFromLogind() != 0)
            fLog.Write("Failed to restart due to AppleScript error");
    }
    emit QuitRequested();
}

void AUninstallerController::WindowWillClose()
{
    emit QuitRequested();
}
