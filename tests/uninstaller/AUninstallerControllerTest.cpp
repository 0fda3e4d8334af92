// The uninstaller's controller on the offscreen platform, with a stand-in
// for pkexec first on PATH (it records its arguments, then exits with the
// status in its "answer" file or runs the script as the same user), a
// stand-in logind on a private system bus, and the system log kept; and the
// reading of "uninstall.sh"'s output, the rows of its fixture (whose header
// says how they are read).
#include "tests/support/AChildProgram.h"
#include "tests/support/AStandInLogind.h"
#include "tests/support/AStandInPrograms.h"
#include "tests/support/ATestPaths.h"
#include "uninstaller/AOutputReader.h"
#include "uninstaller/ASystemLog.h"
#include "uninstaller/AUninstallerController.h"
#include "uninstaller/AUninstallerDialogs.h"
#include "uninstaller/AUninstallerWindow.h"

#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <regex>

// The test keeps the system log's lines and answers the restart question.
class AUninstallerControllerTest : public QObject, public ASystemLog, public AUninstallerDialogs {
    Q_OBJECT

    void Write(const std::string& line) override { fLines.append(QString::fromStdString(line)); }
    bool AskRestart(QWidget*, const QString& text) override
    {
        fAsked.append(text);
        return fRestart;
    }
    QStringList fLines;
    QStringList fAsked;
    bool fRestart = false;

private slots:
    void init()
    {
        fFolder.emplace();
        WriteExecutable(Path("pkexec"), "#!/bin/sh\necho \"$*\" >> \"${0%/*}/calls\"\n"
                                        "[ -s \"${0%/*}/answer\" ] && exit \"$(cat \"${0%/*}/answer\")\"\nexec \"$@\"\n");
        WriteWholeFile(Path("uninstall.sh"), "echo 'Removing a'\nprintf 'PROGRESS:1/2\\nRemoving b\\nPROGRESS: 2/2\\nlast'\n");
        fPath.emplace("PATH", fFolder->Path().string() + ":" + getenv("PATH"));
        fLines.clear();
        MakeController(Path("uninstall.sh"));
    }
    void cleanup()
    {
        fController.reset();
        fWindow.reset();
        fPath.reset();
        fFolder.reset();
    }

    void aDismissedOrRefusedPasswordIsLoggedThenASecondTryRunsTheScriptToDone()
    {
        for (const char* status : {"126", "127"}) {
            WriteWholeFile(Path("answer"), status);
            Click();
            QVERIFY(!fWindow->ActionButton()->isEnabled());
            QTRY_VERIFY(fWindow->ActionButton()->isEnabled());
            QCOMPARE(fLines.takeFirst(), u"AuthorizationCopyRights() returned "_qs + QString::fromLatin1(status));
            QCOMPARE(std::pair(fWindow->ActionButton()->text(), fWindow->LogView()->toPlainText()),
                     std::pair(u"Uninstall"_qs, QString()));
        }
        WriteWholeFile(Path("answer"), "");
        QCOMPARE(fWindow->Progress()->maximum(), 0);
        Click();
        QTRY_COMPARE(fWindow->ActionButton()->text(), u"Done"_qs);
        QVERIFY(fWindow->ActionButton()->isEnabled() && fLines.isEmpty());
        QCOMPARE(fWindow->LogView()->toPlainText(), u"Removing a\nRemoving b\nlast\n"_qs);
        QCOMPARE(std::pair(fWindow->Progress()->value(), fWindow->Progress()->maximum()), std::pair(2000, 2000));
        const std::string call = "/bin/sh " + Path("uninstall.sh").string() + "\n";
        QCOMPARE(ReadWholeFile(Path("calls")), call + call + call);
    }

    void aMissingScriptOrPkexecIsLoggedAndNoShellStarts()
    {
        MakeController(Path("missing.sh"));
        Click();
        AScopedEnvironment noPkexec("PATH", Path("nowhere").string());
        MakeController(Path("uninstall.sh"));
        Click();
        QCOMPARE(fLines, (QStringList{u"uninstall.sh not found at "_qs + QString::fromStdString(Path("missing.sh")),
                                           u"AuthorizationExecuteWithPrivileges() returned 2"_qs}));
        QVERIFY(!std::filesystem::exists(Path("calls")) && fWindow->ActionButton()->isEnabled());
    }

    void theRestartQuestionQuitsAndRestartsOnlyWhenAsked()
    {
        AStandInLogind logind;
        for (bool restart : {false, true}) {
            MakeController(Path("uninstall.sh"));
            QSignalSpy quit(fController.get(), &AUninstallerController::QuitRequested);
            Click();
            QTRY_COMPARE(fWindow->ActionButton()->text(), u"Done"_qs);
            fRestart = restart;
            Click();
            QCOMPARE(std::exchange(fAsked, {}),
                     QStringList{u"It is recommended that you restart your computer before continuing."_qs});
            QCOMPARE(quit.count(), 1);
            // The Reboot calls logind's stand-in received, their times left out.
            const AProgramResult calls = RunProgram("/usr/bin/busctl", {"--system", "call", "org.freedesktop.login1", "/org/freedesktop/login1",
                                                                        "org.freedesktop.DBus.Mock", "GetMethodCalls", "s", "Reboot"});
            QCOMPARE(QString::fromStdString(std::regex_replace(calls.fStdout, std::regex(" [0-9]{6,}"), "")),
                     restart ? u"a(tav) 1 1 b true\n"_qs : u"a(tav) 0\n"_qs);
        }
        QVERIFY(fLines.isEmpty());
        // Without logind the failure is logged, and the application quits all the same.
        AScopedEnvironment noBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + Path("no-bus").string());
        QSignalSpy quit(fController.get(), &AUninstallerController::QuitRequested);
        Click();
        QCOMPARE(quit.count(), 1);
        QCOMPARE(fLines, QStringList{u"Failed to restart due to AppleScript error"_qs});
    }

    void closingTheWindowQuitsInEveryStateAndTheScriptGoesOn()
    {
        // As "uninstall.sh" does, the script ignores SIGPIPE, so that its
        // writes after the window has gone fail instead of ending it.
        WriteWholeFile(Path("uninstall.sh"), "trap '' PIPE\necho started\nsleep 0.3\necho late\necho > \"$0.end\"\n");
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

    void readsLinesAsTheProtocolSays_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("shown");
        for (const AFixtureRow& row : ReadFixtureRows("uninstaller/output-reading.txt"))
            QTest::newRow(row.fRule.c_str()) << QString::fromStdString(row.fGiven).replace(u"\\n"_qs, u"\n"_qs)
                                             << QString::fromStdString(row.fExpected).replace(u"\\n"_qs, u"\n"_qs);
    }

    void readsLinesAsTheProtocolSays()
    {
        QFETCH(QString, output);
        QFETCH(QString, shown);
        const std::string bytes = output.toStdString();
        for (size_t split = 0; split <= bytes.size(); ++split) {
            AOutputReader reader;
            QString text;
            for (const auto& lines : {reader.Read(std::string_view(bytes).substr(0, split)),
                                      reader.Read(std::string_view(bytes).substr(split)), reader.Finish()})
                for (const AOutputLine& line : lines)
                    text += line.fProgress ? u"[%1/%2]"_qs.arg(line.fProgress->fValue).arg(line.fProgress->fMaximum)
                                           : QString::fromStdString(line.fText);
            QVERIFY2(text == shown, qPrintable(u"split at byte %1: %2"_qs.arg(split).arg(text)));
        }
    }

private:
    std::filesystem::path Path(const char* name) const { return fFolder->Path() / name; }
    void MakeController(const std::filesystem::path& script)
    {
        fController.reset();
        fWindow = std::make_unique<AUninstallerWindow>();
        fController = std::make_unique<AUninstallerController>(*fWindow, QString::fromStdString(script), *this, *this);
    }
    void Click() { fWindow->ActionButton()->click(); }

    std::optional<ATemporaryFolder> fFolder;
    std::optional<AScopedEnvironment> fPath;
    std::unique_ptr<AUninstallerWindow> fWindow;
    std::unique_ptr<AUninstallerController> fController;
};

QTEST_MAIN(AUninstallerControllerTest)
#include "AUninstallerControllerTest.moc"
