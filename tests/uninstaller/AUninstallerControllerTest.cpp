// The uninstaller's controller on the offscreen platform, with a stand-in
// for pkexec first on PATH (it records its arguments, then exits with the
// status in its "answer" file or runs the shell script as the same user), a
// stand-in logind on a private system bus, and the system log kept.
#include "tests/support/AStandInLogind.h"
#include "tests/support/ATestPaths.h"
#include "uninstaller/ASystemLog.h"
#include "uninstaller/AUninstallerController.h"
#include "uninstaller/AUninstallerDialogs.h"
#include "uninstaller/AUninstallerWindow.h"

#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <systemd/sd-bus.h>

#include <memory>

namespace {

class AKeptLog : public ASystemLog {
public:
    void Write(const std::string& line) override { fLines.append(QString::fromStdString(line)); }
    QStringList fLines;
};

class AAnsweringDialogs : public AUninstallerDialogs {
public:
    bool AskRestart(QWidget*, const QString& text) override { fAsked.append(text); return fRestart; }
    QStringList fAsked;
    bool fRestart = false;
};

constexpr const char* kPkexecStandIn = "#!/bin/sh\n"
                                       "here=$(dirname \"$0\")\n"
                                       "echo \"$*\" >> \"$here/calls\"\n"
                                       "[ -s \"$here/answer\" ] && exit \"$(cat \"$here/answer\")\"\n"
                                       "exec \"$@\"\n";
constexpr const char* kScript = "echo 'Removing a'\nprintf 'PROGRESS:1/2\\nRemoving b\\nPROGRESS: 2/2\\nlast'\n";

// The interactive flag of each Reboot call logind's stand-in received.
std::vector<int> RebootCalls()
{
    sd_bus* bus = nullptr;
    sd_bus_message* reply = nullptr;
    std::vector<int> calls;
    if (sd_bus_open_system(&bus) >= 0 &&
        sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.DBus.Mock",
                           "GetMethodCalls", nullptr, &reply, "s", "Reboot") >= 0) {
        sd_bus_message_enter_container(reply, 'a', "(tav)");
        uint64_t time = 0;
        int interactive = 0;
        while (sd_bus_message_enter_container(reply, 'r', "tav") > 0) {
            sd_bus_message_read(reply, "tav", &time, 1, "b", &interactive);
            sd_bus_message_exit_container(reply);
            calls.push_back(interactive);
        }
    }
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
    return calls;
}

} // namespace

class AUninstallerControllerTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        fFolder = std::make_unique<ATemporaryFolder>();
        WriteWholeFile(Path("pkexec"), kPkexecStandIn);
        std::filesystem::permissions(Path("pkexec"), std::filesystem::perms::owner_all);
        WriteWholeFile(Path("uninstall.sh"), kScript);
        fPath = std::make_unique<AScopedEnvironment>("PATH", fFolder->Path().string() + ":" + getenv("PATH"));
        fLog = AKeptLog();
        fDialogs = AAnsweringDialogs();
        MakeController(Path("uninstall.sh"));
    }
    void cleanup()
    {
        fController.reset();
        fWindow.reset();
        fPath.reset();
        fFolder.reset();
    }

    void runsTheScriptShowsItsOutputAndIsDone()
    {
        QCOMPARE(fWindow->Progress()->maximum(), 0);
        Click();
        QVERIFY(!fWindow->ActionButton()->isEnabled());
        QTRY_COMPARE(fWindow->ActionButton()->text(), u"Done"_qs);
        QVERIFY(fWindow->ActionButton()->isEnabled());
        QCOMPARE(fWindow->LogView()->toPlainText(), u"Removing a\nRemoving b\nlast\n"_qs);
        QCOMPARE(fWindow->Progress()->maximum(), 2000);
        QCOMPARE(fWindow->Progress()->value(), 2000);
        QCOMPARE(ReadWholeFile(Path("calls")), "/bin/sh " + Path("uninstall.sh").string() + "\n");
        QVERIFY(fLog.fLines.isEmpty());
    }

    void aDismissedOrRefusedPasswordDialogIsLoggedAndASecondTryAsksAgain()
    {
        for (const char* status : {"126", "127"}) {
            WriteWholeFile(Path("answer"), status);
            Click();
            QTRY_VERIFY(fWindow->ActionButton()->isEnabled());
            QCOMPARE(fLog.fLines.value(0), u"AuthorizationCopyRights() returned "_qs + QString::fromLatin1(status));
            QCOMPARE(fWindow->ActionButton()->text(), u"Uninstall"_qs);
            QCOMPARE(fWindow->LogView()->toPlainText(), QString());
            fLog.fLines.clear();
        }
        WriteWholeFile(Path("answer"), "");
        Click();
        QTRY_COMPARE(fWindow->ActionButton()->text(), u"Done"_qs);
        QCOMPARE(QString::fromStdString(ReadWholeFile(Path("calls"))).count(u'\n'), 3);
    }

    void aMissingScriptNeverStartsTheShell()
    {
        MakeController(Path("missing.sh"));
        Click();
        QCOMPARE(fLog.fLines, QStringList{u"uninstall.sh not found at "_qs + QString::fromStdString(Path("missing.sh"))});
        QVERIFY(!std::filesystem::exists(Path("calls")));
        QVERIFY(fWindow->ActionButton()->isEnabled());
    }

    void aFailedLaunchIsLoggedWithItsErrno()
    {
        AScopedEnvironment noPkexec("PATH", (fFolder->Path() / "nowhere").string());
        Click();
        QCOMPARE(fLog.fLines, QStringList{u"AuthorizationExecuteWithPrivileges() returned 2"_qs});
        QVERIFY(fWindow->ActionButton()->isEnabled());
    }

    void theRestartQuestionQuitsAndRestartsOnlyWhenAsked()
    {
        AStandInLogind logind;
        for (bool restart : {false, true}) {
            MakeController(Path("uninstall.sh"));
            QSignalSpy quit(fController.get(), &AUninstallerController::QuitRequested);
            Click();
            QTRY_COMPARE(fWindow->ActionButton()->text(), u"Done"_qs);
            fDialogs.fRestart = restart;
            Click();
            QCOMPARE(fDialogs.fAsked.takeLast(),
                     u"It is recommended that you restart your computer before continuing."_qs);
            QCOMPARE(quit.count(), 1);
            QCOMPARE(RebootCalls(), restart ? std::vector<int>{1} : std::vector<int>{});
        }
        QVERIFY(fLog.fLines.isEmpty());
    }

    void aFailedRestartIsLoggedAndStillQuits()
    {
        AScopedEnvironment noBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + Path("no-bus").string());
        Click();
        QTRY_COMPARE(fWindow->ActionButton()->text(), u"Done"_qs);
        fDialogs.fRestart = true;
        QSignalSpy quit(fController.get(), &AUninstallerController::QuitRequested);
        Click();
        QCOMPARE(quit.count(), 1);
        QCOMPARE(fLog.fLines, QStringList{u"Failed to restart due to AppleScript error"_qs});
    }

    void closingTheWindowQuitsInEveryStateAndTheScriptGoesOn()
    {
        // As "uninstall.sh" does, the script ignores SIGPIPE, so its writes
        // after the window has gone fail instead of ending it.
        WriteWholeFile(Path("uninstall.sh"), "trap '' PIPE\necho started\nsleep 0.3\necho late\necho finished > \"$0.end\"\n");
        for (bool running : {false, true}) {
            MakeController(Path("uninstall.sh"));
            QSignalSpy quit(fController.get(), &AUninstallerController::QuitRequested);
            if (running)
                Click();
            fWindow->show();
            fWindow->close();
            QCOMPARE(quit.count(), 1);
        }
        fController.reset();
        fWindow.reset();
        QVERIFY(WaitFor([&] { return std::filesystem::exists(Path("uninstall.sh.end")); }, 5.0));
    }

private:
    std::filesystem::path Path(const char* name) const { return fFolder->Path() / name; }
    void MakeController(const std::filesystem::path& script)
    {
        fController.reset();
        fWindow = std::make_unique<AUninstallerWindow>();
        fController = std::make_unique<AUninstallerController>(*fWindow, QString::fromStdString(script.string()),
                                                               fLog, fDialogs);
    }
    void Click() { fWindow->ActionButton()->click(); }

    std::unique_ptr<ATemporaryFolder> fFolder;
    std::unique_ptr<AScopedEnvironment> fPath;
    AKeptLog fLog;
    AAnsweringDialogs fDialogs;
    std::unique_ptr<AUninstallerWindow> fWindow;
    std::unique_ptr<AUninstallerController> fController;
};

QTEST_MAIN(AUninstallerControllerTest)
#include "AUninstallerControllerTest.moc"
