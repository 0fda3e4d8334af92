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

#include <QtTest>

#include <regex>

#include <sys/stat.h>

using AStrings = std::vector<std::string>;

// What the user does when picking an entry of a combo box.
static void Choose(QComboBox* box, int index)
{
    box->setCurrentIndex(index);
    emit box->activated(index);
}

class ADetailsControllerTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fPane = std::make_unique<APaneFixture>(); }
    void cleanup() { fPane.reset(); }

    void EachActionKindStoresItsArgument_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("stored");  // button 4's kind/argument
        QTest::addColumn<int>("saves");       // of choosing the kind: showing a key-stroke row saves too
        QTest::newRow("script: its full path") << 1 << u"/home/u/Back.scpt"_qs << u"applescript//home/u/Back.scpt"_qs << 1;
        QTest::newRow("application: the entry's full path")
            << 2 << u"/usr/share/applications/x.desktop"_qs << u"exec//usr/share/applications/x.desktop"_qs << 1;
        QTest::newRow("key strokes: Shift toggled around nothing") << 3 << QString() << u"keystroke/56|56"_qs << 2;
        QTest::newRow("predefined: the function number") << 4 << QString() << u"predefinedkeys/5"_qs << 1;
    }
    void EachActionKindStoresItsArgument()
    {
        QFETCH(int, kind);
        QFETCH(QString, stored);
        QFETCH(int, saves);
        const auto records = [](const QString& button4) { return "rfmouse vendor 1001 0: 4/" + button4.toStdString() + " 5/default/\n"; };
        Open(kDeviceRFMouse);
        Choose(View().fActionCells[0], kind);
        // A new kind starts with the empty argument, saved at once.
        QCOMPARE(Records(), records(QString::fromStdString(APrefController::FromLaunchType(kind)) + u"/"_qs));
        QCOMPARE(fPane->TakeNotifications(), AStrings(saves, "PrefChange"));
        QCOMPARE(View().fActionTab->currentIndex(), kind);

        QFETCH(QString, answer);
        fPane->fDialogs.fFileAnswers.push_back(answer);
        if (kind < 3)
            (kind == 1 ? View().fChooseScriptButton : View().fChooseApplicationButton)->click();
        else if (kind == 3)
            View().fToggleShift->click();
        else
            Choose(View().fPredefinedCombo, 5);
        QCOMPARE(Records(), records(stored));
        QCOMPARE(fPane->TakeNotifications(), AStrings{"PrefChange"});

        // The same kind chosen again keeps the argument.
        Choose(View().fActionCells[0], kind);
        QCOMPARE(Records(), records(stored));
        Details().CloseWindow();  // reopened, it shows what was stored
        Open(kDeviceRFMouse);
        QCOMPARE(View().fActionTab->currentIndex(), kind);
        QCOMPARE(Details().GetButtonActionArg(0).value(), stored.section(u'/', 1).toStdString());
    }

    void NewDeviceShowsDefaultsAndACancelledChooserChangesNothing()
    {
        Open(kDeviceBTMouse);
        QCOMPARE(View().fActionCells[0]->currentText(), u"Default Action"_qs);
        QCOMPARE(View().fActionCells[1]->currentText(), u"Default Action"_qs);
        QCOMPARE(View().fActionTab->currentIndex(), 0);
        QCOMPARE(View().fDefaultCaption->text(), u"Safari Navigation - Back"_qs);
        QVERIFY(View().fPresentationBox->isHidden());
        QCOMPARE(Details().ObjectValue(1, 0), u"button4"_qs);
        QCOMPARE(View().fDeviceImage->GetPictureName(), u"NuvexaBTMouseActive"_qs);
        View().fButtonTableView->selectRow(1);
        QCOMPARE(View().fDefaultCaption->text(), u"Safari Navigation - Forward"_qs);
        QCOMPARE(Records(), "");
        QVERIFY(fPane->TakeNotifications().empty());

        Choose(View().fActionCells[1], 1);
        fPane->fDialogs.fFileAnswers = {u"/s.scpt"_qs, QString(), QString()};
        View().fChooseScriptButton->click();
        fPane->TakeNotifications();
        const std::string before = ReadWholeFile(fPane->MappingPath());
        View().fChooseScriptButton->click();
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
        QVERIFY(Details().Window().AreKeyEventsEnabled());
        QVERIFY(View().fToggleShift->isChecked() && !View().fToggleControl->isChecked());
        QCOMPARE(View().fKeyStrokeField->text(), FormatKeyStrings(&Details().Window().GetKeyStrokes()));
        View().fButtonTableView->selectRow(1);
        QCOMPARE(Records(), "btmouse vendor 1002 0: 4/keystroke/56|0|56 5/keystroke/0|3\n");
        // Each save told the agent once.
        const AStrings seen = fPane->TakeNotifications();
        QVERIFY(!seen.empty());
        QCOMPARE(seen, AStrings(seen.size(), "PrefChange"));

        Choose(View().fActionCells[1], 0);
        QVERIFY(!Details().Window().AreKeyEventsEnabled());
        View().fButtonTableView->selectRow(0);
        View().fClearKeyStrokesButton->click();
        QCOMPARE(Records(), "btmouse vendor 1002 0: 4/keystroke/ 5/default/\n");
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
        Choose(View().fActionCells[1], 4);
        // The other device type's record is written back unchanged.
        QCOMPARE(Records(), "rfmouse vendor 1001 0: 4/exec//a & <b>\npresenter vendor 2001 0: 4/default/ 5/predefinedkeys/\n");
        QCOMPARE(fPane->TakeNotifications(), AStrings(2, "PrefChange"));

        // A change another writer (nuvexactl) made while the editor was
        // closed is read when it opens again, not saved over.
        Details().CloseWindow();
        APrefController store(fPane->MappingPath().string());
        store.AddOrUpdateEvent(kDeviceRFMouse, 5, kLaunchKeystroke, "0");
        store.FlushXml();
        // A mouse hides the choice and writes the type last loaded.
        Open(kDeviceBTMouse);
        QVERIFY(View().fPresentationBox->isHidden());
        Choose(View().fActionCells[0], 4);
        QCOMPARE(Records(), "rfmouse vendor 1001 0: 4/exec//a & <b> 5/keystroke/0\nbtmouse vendor 1002 0: 4/predefinedkeys/ 5/default/\n"
                            "presenter vendor 2001 0: 4/default/ 5/predefinedkeys/\n");
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
        WriteStore(MappingXml({{"presenter", 0, {{4, "exec", "/p"}}}}));
        Open(kDeviceBTMouse);
        QVERIFY(Details().IsWindowOpen());

        // A write that fails: no notification; the next good save writes all.
        const std::filesystem::path folder = fPane->MappingPath().parent_path();
        std::filesystem::rename(folder, folder.string() + ".aside");
        WriteWholeFile(folder, "not a folder");
        Choose(View().fActionCells[0], 4);
        QCOMPARE(fPane->fDialogs.fShown.size(), 2);
        QVERIFY(fPane->fDialogs.fShown.back().contains(u"Error saving preferences"_qs));
        QVERIFY(fPane->TakeNotifications().empty());
        std::filesystem::remove(folder);
        std::filesystem::rename(folder.string() + ".aside", folder);
        Choose(View().fActionCells[1], 4);
        QCOMPARE(Records(), "btmouse vendor 1002 0: 4/predefinedkeys/ 5/predefinedkeys/\npresenter vendor 2001 0: 4/exec//p\n");
        QCOMPARE(fPane->TakeNotifications(), AStrings{"PrefChange"});
    }

    void ApplicationsOfferedAndTheirIcons()
    {
        ATemporaryFolder root;
        std::vector<std::pair<std::filesystem::path, std::string>> files;
        for (const std::string& line : ReadFixtureLines("pane/applications.txt"))
            if (line.starts_with("== "))
                files.emplace_back(root.Path() / line.substr(3), "");
            else if (!files.empty())
                files.back().second += std::regex_replace(line, std::regex("\\{root\\}"), root.Path().string()) + "\n";
        for (const auto& [path, text] : files) {
            std::filesystem::create_directories(path.parent_path());
            WriteWholeFile(path, text);
        }
        AScopedEnvironment home("XDG_DATA_HOME", (root.Path() / "home").string());
        AScopedEnvironment dirs("XDG_DATA_DIRS", (root.Path() / "usr").string() + ":" + (root.Path() / "other").string());
        QStringList offered;
        for (const ADesktopEntry& entry : FindInstalledApplications())
            offered.append(entry.fName + u"|"_qs + QFileInfo(entry.fPath).fileName());
        QCOMPARE(offered, (QStringList{u"Home Editor|editor.desktop"_qs, u"viewer|viewer.desktop"_qs, u"Zed|zed.desktop"_qs}));

        // The editor shows the entry's icon, else the generic picture.
        Open(kDeviceRFMouse);
        const QString editor = QString::fromStdString(root.Path() / "home/applications/editor.desktop");
        fPane->fDialogs.fFileAnswers = {editor, QString::fromStdString(root.Path() / "other/applications/zed.desktop")};
        View().fChooseApplicationButton->click();
        QCOMPARE(View().fApplicationIcon->GetPictureName(), editor);
        View().fChooseApplicationButton->click();
        QCOMPARE(View().fApplicationIcon->GetPictureName(), u"Applications"_qs);
        // The script chooser lists folders, "*.scpt" and executable files.
        chmod((root.Path() / "i.svg").c_str(), 0755);
        for (const auto& [name, listed] : {std::pair{"i.svg", true}, {"home", true}, {"usr/applications/link.desktop", false}})
            QCOMPARE(IsScriptChoice(QString::fromStdString(root.Path() / name)), listed);
        QVERIFY(IsScriptChoice(u"/no/such/Back.scpt"_qs));
        // The real chooser starts in the home folder, wherever the program was started.
        QString startFolder = u"no chooser"_qs;
        QTimer::singleShot(0, [&] {
            if (auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                startFolder = chooser->directory().absolutePath();
                chooser->reject();
            }
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
    // The stored records, a line each: "type vendor|VID PID presentation: id/kind/argument...".
    std::string Records()
    {
        if (!std::filesystem::exists(fPane->MappingPath()))
            return "";
        const APrefController store(fPane->MappingPath().string());
        std::string text;
        for (const auto& [type, device] : store.GetDevices()) {
            text += APrefController::FromDeviceType(type) + " "
                + (device.GetDeviceVID() == kVendorID ? "vendor" : std::to_string(device.GetDeviceVID())) + " "
                + std::to_string(device.GetDevicePID()) + " " + std::to_string(device.GetPresentationType()) + ":";
            for (const auto& [id, event] : device.GetEvents())
                text += " " + std::to_string(id) + "/" + APrefController::FromLaunchType(event.GetLaunchType()) + "/"
                    + event.GetLaunchArg();
            text += "\n";
        }
        return text;
    }

    std::unique_ptr<APaneFixture> fPane;
};

QTEST_MAIN(ADetailsControllerTest)
#include "ADetailsControllerTest.moc"
