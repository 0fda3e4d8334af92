#pragma once
// AScriptRun runs "uninstall.sh" as the administrator: `pkexec /bin/sh
// <script>`, where polkit asks for an administrator's password. Its standard
// input is /dev/null, its standard error goes where the application's goes
// (it is not read), and its standard output comes through a pipe read on
// Qt's event loop as it arrives. After the end of the output the child is
// reaped and its exit status reported: pkexec exits 126 when the password
// dialog was dismissed and 127 when authorization was refused, before the
// shell ever runs. The pipe is owned here and closed with the object; the
// child is not: a script still running when the application quits goes on
// by itself.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <sys/types.h>

class QSocketNotifier;
class QTimer;

class AScriptRun : public QObject {
    Q_OBJECT

public:
    explicit AScriptRun(QObject* parent = nullptr);
    ~AScriptRun() override;

    // Starts the script; 0, or the errno of a launch that failed (pkexec
    // missing from PATH, say).
    int Start(const QString& scriptPath);
    bool IsRunning() const { return fPid > 0; }

signals:
    void OutputRead(const QByteArray& bytes);
    // The output has ended and the child has been reaped: its exit status,
    // or 128 + the signal that ended it.
    void Ended(int exitStatus);

private:
    void ReadAvailable();
    void TryReap();
    void CloseOutput();

    int fOutput = -1;
    pid_t fPid = -1;
    QSocketNotifier* fNotifier = nullptr;
    QTimer* fReapTimer = nullptr;
};
