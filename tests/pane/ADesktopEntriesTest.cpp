// Which desktop entries the application chooser offers, and in what order,
// from real XDG data folders in a temporary folder.
#include "pane/ADesktopEntries.h"
#include "pane/AQtUserDialogs.h"
#include "tests/support/ATestPaths.h"

#include <QtTest>

#include <sys/stat.h>

class ADesktopEntriesTest : public QObject {
    Q_OBJECT

private slots:
    void OffersShownApplicationsEarlierFolderFirst()
    {
        ATemporaryFolder root;
        const auto write = [&](const std::string& path, const std::string& entry) {
            std::filesystem::create_directories((root.Path() / path).parent_path());
            WriteWholeFile(root.Path() / path, entry);
        };
        const std::string app = "[Desktop Entry]\nType=Application\n";
        write("home/applications/editor.desktop", app + "Name=Home Editor\nIcon=/i.svg\n");
        write("usr/applications/editor.desktop", app + "Name=System Editor\n");
        write("usr/applications/gone.desktop", app + "Name=Gone\n");
        write("home/applications/gone.desktop", app + "Name=Gone\nHidden=true\n");
        write("usr/applications/kde/viewer.desktop", "# c\n[Desktop Entry]\nName=viewer\nType=Application\n"
                                                     "[Desktop Action New]\nName=Not This\n");
        write("usr/applications/menu.desktop", app + "Name=Menu Only\nNoDisplay=true\n");
        write("usr/applications/link.desktop", "[Desktop Entry]\nType=Link\nName=Link\n");
        write("usr/applications/nameless.desktop", app);
        write("other/applications/zed.desktop", app + "Name=Zed\n");
        AScopedEnvironment home("XDG_DATA_HOME", (root.Path() / "home").string());
        AScopedEnvironment dirs("XDG_DATA_DIRS", (root.Path() / "usr").string() + ":" + (root.Path() / "other").string());

        QStringList offered;
        for (const ADesktopEntry& entry : FindInstalledApplications())
            offered.append(entry.fName + u"|"_qs + entry.fIcon + u"|"_qs + QFileInfo(entry.fPath).fileName());
        QCOMPARE(offered, (QStringList{u"Home Editor|/i.svg|editor.desktop"_qs, u"viewer||viewer.desktop"_qs,
                                       u"Zed||zed.desktop"_qs}));
    }

    void ScriptChooserListsScriptsExecutablesAndFolders()
    {
        ATemporaryFolder root;
        for (const char* name : {"a.scpt", "run.sh", "notes.txt"})
            WriteWholeFile(root.Path() / name, "#!/bin/sh\n");
        chmod((root.Path() / "run.sh").c_str(), 0755);
        const auto offered = [&](const char* name) { return IsScriptChoice(QString::fromStdString((root.Path() / name).string())); };
        QVERIFY(offered("a.scpt") && offered("run.sh") && offered("."));
        QVERIFY(!offered("notes.txt"));
    }
};

QTEST_MAIN(ADesktopEntriesTest)
#include "ADesktopEntriesTest.moc"
