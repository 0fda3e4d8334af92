// The button editor on real widgets, checked against the "mapping.xml" it
// writes in a temporary XDG_CONFIG_HOME and the reload notifications seen on
// a private session bus.
#include "pane/ADesktopEntries.h"
#include "pane/ADetailsView.h"
#include "pane/APictureView.h"
#include "pane/AQtUserDialogs.h"
#include "prefs/APrefController.h"
#include "tests/pane/APaneTestSupport.h"
#include "tests/support/AAgentHarness.h"

#include <QButtonGroup>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

namespace {

const std::vector<std::string> kOneSave = {"PrefChange"};

// What the file holds for one button: "kind|argument", or "none".
std::string Stored(const std::filesystem::path& file, EDeviceType type, int32_t buttonId)
{
    if (!std::filesystem::exists(file))
        return "none";
    APrefController store(file.string());
    const AEvent* event = store.GetEvent(type, buttonId);
    return event ? APrefController::FromLaunchType(event->GetLaunchType()) + "|" + event->GetLaunchArg() : "none";
}

} // namespace

class ADetailsControllerTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fPane = std::make_unique<APaneFixture>(); }
    void cleanup() { fPane.reset(); }

    void NewDeviceShowsDefaultsAndWritesNothing()
    {
        Open(kDeviceBTMouse);
        for (int row = 0; row < 2; ++row)
            QCOMPARE(View().fActionCells[row]->currentText(), u"Default Action"_qs);
        QCOMPARE(View().fActionTab->currentIndex(), 0);
        QCOMPARE(View().fDefaultCaption->text(), u"Safari Navigation - Back"_qs);
        View().fButtonTableView->selectRow(1);
        QCOMPARE(View().fDefaultCaption->text(), u"Safari Navigation - Forward"_qs);
        QVERIFY(View().fPresentationBox->isHidden());
        QCOMPARE(Details().ObjectValue(1, 0), u"button4"_qs);
        QCOMPARE(View().fDeviceImage->GetPictureName(), u"NuvexaBTMouseActive"_qs);
        QVERIFY(!std::filesystem::exists(fPane->MappingPath()));
        QVERIFY(fPane->TakeNotifications().empty());
    }

    void EachActionKindStoresItsArgument_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("saves");  // of choosing the kind: showing a key-stroke row saves too
        QTest::newRow("script: its full path")
            << 1 << u"/home/u/Back.scpt"_qs << u"applescript|/home/u/Back.scpt"_qs << 1;
        QTest::newRow("application: the entry's full path")
            << 2 << u"/usr/share/applications/x.desktop"_qs << u"exec|/usr/share/applications/x.desktop"_qs << 1;
        QTest::newRow("key strokes: Shift toggled around nothing") << 3 << QString() << u"keystroke|56|56"_qs << 2;
        QTest::newRow("predefined: the function number") << 4 << QString() << u"predefinedkeys|5"_qs << 1;
    }

    void EachActionKindStoresItsArgument()
    {
        QFETCH(int, kind);
        QFETCH(QString, answer);
        QFETCH(QString, stored);
        QFETCH(int, saves);
        Open(kDeviceRFMouse);
        ChooseAction(0, kind);
        // A new kind starts with the empty argument, saved at once.
        QCOMPARE(Stored(fPane->MappingPath(), kDeviceRFMouse, 4), APrefController::FromLaunchType(kind) + "|");
        QCOMPARE(Stored(fPane->MappingPath(), kDeviceRFMouse, 5), std::string("default|"));
        QCOMPARE(fPane->TakeNotifications(), std::vector<std::string>(saves, "PrefChange"));
        QCOMPARE(View().fActionTab->currentIndex(), kind);

        fPane->fDialogs.fFileAnswers.push_back(answer);
        if (kind == 1)
            View().fChooseScriptButton->click();
        else if (kind == 2)
            View().fChooseApplicationButton->click();
        else if (kind == 3)
            View().fToggleShift->click();
        else {
            View().fPredefinedCombo->setCurrentIndex(5);
            emit View().fPredefinedCombo->activated(5);
        }
        QCOMPARE(Stored(fPane->MappingPath(), kDeviceRFMouse, 4), stored.toStdString());
        QCOMPARE(fPane->TakeNotifications(), kOneSave);

        // The same kind chosen again keeps the argument.
        ChooseAction(0, kind);
        QCOMPARE(Stored(fPane->MappingPath(), kDeviceRFMouse, 4), stored.toStdString());
        Details().CloseWindow();  // reopened, it shows what was stored
        Open(kDeviceRFMouse);
        QCOMPARE(View().fActionTab->currentIndex(), kind);
        QCOMPARE(Details().GetButtonActionArg(0).value(), stored.section(u'|', 1).toStdString());
    }

    void CancelledChooserChangesNothing()
    {
        Open(kDeviceBTMouse);
        ChooseAction(1, 1);
        fPane->fDialogs.fFileAnswers.push_back(u"/s.scpt"_qs);
        View().fChooseScriptButton->click();
        fPane->TakeNotifications();
        const std::string before = ReadWholeFile(fPane->MappingPath());

        fPane->fDialogs.fFileAnswers.push_back(QString());
        View().fChooseScriptButton->click();
        fPane->fDialogs.fFileAnswers.push_back(QString());
        View().fChooseApplicationButton->click();
        QCOMPARE(fPane->fDialogs.fOpenRequests.back().fKind, AFileKind::kScript);
        QCOMPARE(fPane->fDialogs.fApplicationRequests, 1);
        QCOMPARE(ReadWholeFile(fPane->MappingPath()), before);
        QVERIFY(fPane->TakeNotifications().empty());
        QCOMPARE(View().fAppleScriptPath->text(), u"/s.scpt"_qs);
    }

    void ShowingKeyStrokeRowRewritesItsList()
    {
        WriteStore(MappingXml({{"btmouse", 0, {{4, "keystroke", "56|0|56"}, {5, "keystroke", "x|3"}}}}));
        Open(kDeviceBTMouse);
        QCOMPARE(Stored(fPane->MappingPath(), kDeviceBTMouse, 4), std::string("keystroke|56|0|56"));
        QVERIFY(Details().Window().AreKeyEventsEnabled());
        QVERIFY(View().fToggleShift->isChecked() && !View().fToggleControl->isChecked());
        QCOMPARE(View().fKeyStrokeField->text(), FormatKeyStrings(&Details().Window().GetKeyStrokes()));
        View().fButtonTableView->selectRow(1);
        QCOMPARE(Stored(fPane->MappingPath(), kDeviceBTMouse, 5), std::string("keystroke|0|3"));
        // Each save told the agent once.
        const std::vector<std::string> seen = fPane->TakeNotifications();
        QVERIFY(!seen.empty());
        QCOMPARE(seen, std::vector<std::string>(seen.size(), "PrefChange"));

        ChooseAction(1, 0);
        QVERIFY(!Details().Window().AreKeyEventsEnabled());
        View().fButtonTableView->selectRow(0);
        View().fClearKeyStrokesButton->click();
        QCOMPARE(Stored(fPane->MappingPath(), kDeviceBTMouse, 4), std::string("keystroke|"));
        QVERIFY(!View().fToggleShift->isChecked());
    }

    void PresenterShowsItsPicturesAndStoresButtonsFourAndFive()
    {
        WriteStore(MappingXml({{"presenter", 1, {}}, {"rfmouse", 0, {{4, "exec", "/a & <b>"}}}}));
        Open(kDevicePresenter);
        QCOMPARE(Details().ObjectValue(1, 0), u"button5"_qs);
        QCOMPARE(Details().ObjectValue(1, 1), u"button6"_qs);
        QVERIFY(!View().fPresentationBox->isHidden());
        QVERIFY(View().fPresentationMatrix->button(1)->isChecked());

        View().fPresentationMatrix->button(0)->click();
        ChooseAction(1, 4);
        APrefController store(fPane->MappingPath().string());
        const ADevice* presenter = store.GetDevice(kDevicePresenter);
        QVERIFY(presenter);
        QCOMPARE(presenter->GetPresentationType(), 0);
        QCOMPARE(presenter->GetDevicePID(), 2001u);
        QCOMPARE(presenter->GetDeviceVID(), kVendorID);
        QCOMPARE(Stored(fPane->MappingPath(), kDevicePresenter, 4), std::string("default|"));
        QCOMPARE(Stored(fPane->MappingPath(), kDevicePresenter, 5), std::string("predefinedkeys|"));
        // The other device type's record is written back unchanged.
        QCOMPARE(Stored(fPane->MappingPath(), kDeviceRFMouse, 4), std::string("exec|/a & <b>"));
        QCOMPARE(fPane->TakeNotifications(), std::vector<std::string>(2, "PrefChange"));

        // A change another writer (nuvexactl) made while the editor was
        // closed is read when it opens again, not saved over.
        Details().CloseWindow();
        store.AddOrUpdateEvent(kDeviceRFMouse, 5, kLaunchKeystroke, "0");
        store.FlushXml();
        // A mouse hides the choice and writes the type last loaded.
        Open(kDeviceBTMouse);
        QVERIFY(View().fPresentationBox->isHidden());
        ChooseAction(0, 4);
        QCOMPARE(Stored(fPane->MappingPath(), kDeviceRFMouse, 5), std::string("keystroke|0"));
        APrefController reread(fPane->MappingPath().string());
        QCOMPARE(reread.GetDevice(kDeviceBTMouse)->GetPresentationType(), 0);
        QCOMPARE(reread.GetDevice(kDeviceBTMouse)->GetDevicePID(), 1002u);
    }

    void StoreFailuresAreShownAndLoseNothing()
    {
        WriteStore("<devices><device");
        Open(kDeviceBTMouse);
        QVERIFY(!Details().IsWindowOpen());
        QCOMPARE(fPane->fDialogs.fShown.size(), 1);
        QVERIFY(fPane->fDialogs.fShown.front().contains(u"XMLParser: "_qs));
        QCOMPARE(ReadWholeFile(fPane->MappingPath()), std::string("<devices><device"));

        // Repaired, the store is read when the editor opens next.
        WriteWholeFile(fPane->MappingPath(), MappingXml({{"presenter", 0, {{4, "exec", "/p"}}}}));
        Open(kDeviceBTMouse);
        QVERIFY(Details().IsWindowOpen());

        // A write that fails: no notification; the next good save writes all.
        const std::filesystem::path folder = fPane->MappingPath().parent_path();
        std::filesystem::rename(folder, folder.string() + ".aside");
        WriteWholeFile(folder, "not a folder");
        ChooseAction(0, 4);
        QCOMPARE(fPane->fDialogs.fShown.size(), 2);
        QVERIFY(fPane->fDialogs.fShown.back().contains(u"Error saving preferences"_qs));
        QVERIFY(fPane->TakeNotifications().empty());
        std::filesystem::remove(folder);
        std::filesystem::rename(folder.string() + ".aside", folder);
        ChooseAction(1, 4);
        QCOMPARE(Stored(fPane->MappingPath(), kDeviceBTMouse, 4), std::string("predefinedkeys|"));
        QCOMPARE(Stored(fPane->MappingPath(), kDevicePresenter, 4), std::string("exec|/p"));
        QCOMPARE(fPane->TakeNotifications(), kOneSave);
    }

    void ApplicationsOfferedAndTheirIcons()
    {
        ATemporaryFolder root;
        const auto write = [&](const std::string& path, const std::string& entry) {
            std::filesystem::create_directories((root.Path() / path).parent_path());
            WriteWholeFile(root.Path() / path, entry);
        };
        const std::string app = "[Desktop Entry]\nType=Application\n", icon = (root.Path() / "i.svg").string();
        write("i.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='8' height='8'/>");
        write("home/applications/editor.desktop", app + "Name=Home Editor\nIcon=" + icon + "\n");
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
            offered.append(entry.fName + u"|"_qs + QFileInfo(entry.fPath).fileName());
        QCOMPARE(offered, (QStringList{u"Home Editor|editor.desktop"_qs, u"viewer|viewer.desktop"_qs, u"Zed|zed.desktop"_qs}));

        // The editor shows the entry's icon, else the generic picture.
        Open(kDeviceRFMouse);
        const QString editor = QString::fromStdString((root.Path() / "home/applications/editor.desktop").string());
        fPane->fDialogs.fFileAnswers = {editor, QString::fromStdString((root.Path() / "other/applications/zed.desktop").string())};
        View().fChooseApplicationButton->click();
        QCOMPARE(View().fApplicationIcon->GetPictureName(), editor);
        View().fChooseApplicationButton->click();
        QCOMPARE(View().fApplicationIcon->GetPictureName(), u"Applications"_qs);
        // The script chooser lists folders, "*.scpt" and executable files.
        chmod(icon.c_str(), 0755);
        for (const auto& [name, listed] : {std::pair{"i.svg", true}, {"home", true}, {"usr/applications/link.desktop", false}})
            QCOMPARE(IsScriptChoice(QString::fromStdString((root.Path() / name).string())), listed);
        QVERIFY(IsScriptChoice(u"/no/such/Back.scpt"_qs));
        // The real chooser starts in the home folder, wherever the program was started.
        QString startFolder;
        QTimer::singleShot(0, [&] {
            auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            startFolder = chooser ? chooser->directory().absolutePath() : u"no chooser"_qs;
            if (chooser)
                chooser->reject();
        });
        QVERIFY(!AQtUserDialogs().ChooseOpenFile(nullptr, {u"Script"_qs, AFileKind::kScript, {}}));
        QCOMPARE(startFolder, QDir::homePath());
    }

    void EveryControlHasAnAccessibleName()
    {
        fPane->Start();
        for (QWidget* root : {static_cast<QWidget*>(fPane->fWindow.get()), static_cast<QWidget*>(&Details().Window())})
            for (QWidget* control : root->findChildren<QWidget*>()) {
                auto* button = qobject_cast<QAbstractButton*>(control);
                const bool isControl = button || qobject_cast<QComboBox*>(control) || qobject_cast<QLineEdit*>(control)
                    || qobject_cast<APictureView*>(control) || qobject_cast<QAbstractItemView*>(control);
                // Qt's own parts of tables and tab bars name themselves.
                const bool ownPart = control->objectName().startsWith(u"qt_"_qs) || control->inherits("QTableCornerButton")
                    || qobject_cast<QTabBar*>(control->parentWidget()) || qobject_cast<QAbstractItemView*>(control->parentWidget());
                if (isControl && !ownPart)
                    QVERIFY2(!control->accessibleName().isEmpty() || (button && !button->text().isEmpty()),
                             control->metaObject()->className());
            }
    }

private:
    ADetailsController& Details() { return *fPane->fDetails; }
    ADetailsView& View() { return Details().View(); }
    void WriteStore(const std::string& xml)
    {
        std::filesystem::create_directories(fPane->MappingPath().parent_path());
        WriteWholeFile(fPane->MappingPath(), xml);
    }
    void Open(EDeviceType type)
    {
        if (!fPane->fWindow)
            fPane->Start();
        Details().SetDeviceType(type);
        Details().ConfigureClick();
    }
    // What the action column's cell does when the user picks a name.
    void ChooseAction(int row, int kind)
    {
        QComboBox* cell = View().fActionCells[row];
        cell->setCurrentIndex(kind);
        emit cell->activated(kind);
    }

    std::unique_ptr<APaneFixture> fPane;
};

QTEST_MAIN(ADetailsControllerTest)
#include "ADetailsControllerTest.moc"
