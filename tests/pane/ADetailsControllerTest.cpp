// The button editor on real widgets, checked against the "mapping.xml" it
// writes in a temporary XDG_CONFIG_HOME and the reload notifications seen on
// a private session bus.
#include "pane/ADesktopEntries.h"
#include "pane/ADetailsView.h"
#include "pane/APictureView.h"
#include "pane/AQtUserDialogs.h"
#include "prefs/APrefController.h"
#include "tests/pane/APaneTestSupport.h"

#include <regex>

#include <sys/stat.h>

class ADetailsControllerTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fPane = std::make_unique<APaneFixture>(); }
    void cleanup() { fPane.reset(); }

    void EditingCases_data() { AddFixtureRows("pane/editor.txt"); }
    void EditingCases()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        const std::filesystem::path folder = fPane->MappingPath().parent_path(), aside = folder.string() + ".aside";
        for (const QString& step : given.split(u", "_qs)) {
            const QStringList word = step.split(u' ');
            const auto number = [&](int at) { return word.value(at).toInt(); };
            if (word[0] == u"store") {
                std::filesystem::create_directories(folder);
                WriteWholeFile(fPane->MappingPath(), std::regex_replace(ReadWholeFile(FixturePath("pane/" + word[1].toStdString() + ".xml")),
                                                                        std::regex("\\{vendor\\}"), std::to_string(kVendorID)));
            } else if (word[0] == u"open") {
                Open(APrefController::ToDeviceType(word[1].toStdString()));
            } else if (word[0] == u"close") {
                Details().CloseWindow();
            } else if (word[0] == u"row") {
                View().fButtonTableView->selectRow(number(1));
            } else if (word[0] == u"kind" || word[0] == u"predefined") {
                QComboBox* box = word[0] == u"kind" ? View().fActionCells[number(1)] : View().fPredefinedCombo;
                box->setCurrentIndex(number(word.size() - 1));
                emit box->activated(box->currentIndex());
            } else if (word[0] == u"script" || word[0] == u"application") {
                fPane->fDialogs.fFileAnswers = {word[1] == u"cancel" ? QString() : word[1]};
                (word[0] == u"script" ? View().fChooseScriptButton : View().fChooseApplicationButton)->click();
                QVERIFY(fPane->fDialogs.fFileAnswers.isEmpty());  // the chooser was asked
                QVERIFY(word[0] == u"application" || fPane->fDialogs.fOpenRequests.back().fKind == AFileKind::kScript);
            } else if (word[0] == u"shift" || word[0] == u"clear") {
                (word[0] == u"shift" ? View().fToggleShift : View().fClearKeyStrokesButton)->click();
            } else if (word[0] == u"presentation") {
                View().fPresentationMatrix->button(number(1))->click();
            } else if (word[0] == u"external") {
                APrefController store(fPane->MappingPath().string());
                store.AddOrUpdateEvent(APrefController::ToDeviceType(word[1].toStdString()), number(2),
                                       APrefController::ToLaunchType(word[3].toStdString()), word.value(4).toStdString());
                store.FlushXml();
            } else if (word[0] == u"unwritable") {
                std::filesystem::rename(folder, aside);
                WriteWholeFile(folder, "not a folder");
            } else {
                QVERIFY2(word[0] == u"writable", qPrintable(step));
                std::filesystem::remove(folder);
                std::filesystem::rename(aside, folder);
            }
        }
        const std::map<QString, QString> facts = Facts();
        for (const QString& fact : expected.split(u"; "_qs))
            QCOMPARE(fact.section(u": "_qs, 0, 0) + u": "_qs + facts.at(fact.section(u": "_qs, 0, 0)), fact);
    }

    void ApplicationsOfferedAndTheirIcons()
    {
        ATemporaryFolder root;
        for (const auto& [rule, path, text] : ReadFixtureRows("pane/applications.txt")) {
            std::filesystem::create_directories((root.Path() / path).parent_path());
            const std::string lines = std::regex_replace(text, std::regex("\\\\n"), "\n");
            WriteWholeFile(root.Path() / path, std::regex_replace(lines, std::regex("\\{root\\}"), root.Path().string()) + "\n");
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
        for (const auto& [name, listed] : {std::pair{"i.svg", true}, {"home", true}, {"usr/applications/link.desktop", false},
                                           {"/no/such/Back.scpt", true}})
            QCOMPARE(IsScriptChoice(QString::fromStdString(root.Path() / name)), listed);
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
    void Open(EDeviceType type)
    {
        if (!fPane->fWindow)
            fPane->Start();
        Details().SetDeviceType(type);
        Details().ConfigureClick();
    }
    // What the editor shows and stored, as the facts of pane/editor.txt.
    std::map<QString, QString> Facts()
    {
        QStringList records, toggles, shown;
        for (const QString& text : fPane->fDialogs.fShown)  // the message and where its reason comes from
            shown.append(text.section(u'\n', 0, 0) + u" | "_qs + text.section(u'\n', 1).section(u": "_qs, 0, 0));
        try {
            const APrefController store(fPane->MappingPath().string());
            for (const auto& [type, device] : store.GetDevices()) {
                std::string record = APrefController::FromDeviceType(type) + " "
                    + (device.GetDeviceVID() == kVendorID ? "vendor" : std::to_string(device.GetDeviceVID())) + " "
                    + std::to_string(device.GetDevicePID()) + " " + std::to_string(device.GetPresentationType()) + ":";
                for (const auto& [id, event] : device.GetEvents())
                    record += " " + std::to_string(id) + "/" + APrefController::FromLaunchType(event.GetLaunchType()) + "/"
                        + event.GetLaunchArg();
                records.append(QString::fromStdString(record));
            }
        } catch (const std::exception&) {
            records = QStringList{u"unreadable"_qs};
        }
        for (QPushButton* toggle : View().Toggles())
            if (toggle->isChecked())
                toggles.append(toggle->text());
        const std::vector<std::string> seen = fPane->TakeNotifications();
        const auto button = [this](int row) {
            return QString::fromStdString(APrefController::FromLaunchType(Details().GetButtonAction(row)) + "/"
                                          + Details().GetButtonActionArg(row).value_or("-"));
        };
        return {{u"open"_qs, Details().IsWindowOpen() ? u"yes"_qs : u"no"_qs},
                {u"records"_qs, std::filesystem::exists(fPane->MappingPath()) ? records.join(u" / "_qs) : u"none"_qs},
                {u"saves"_qs, seen == std::vector<std::string>(seen.size(), "PrefChange") ? QString::number(seen.size()) : u"not all PrefChange"_qs},
                {u"alerts"_qs, shown.join(u" / "_qs)}, {u"tab"_qs, QString::number(View().fActionTab->currentIndex())},
                {u"actions"_qs, View().fActionCells[0]->currentText() + u" / "_qs + View().fActionCells[1]->currentText()},
                {u"4"_qs, button(0)}, {u"5"_qs, button(1)},
                {u"pictures"_qs, Details().ObjectValue(1, 0) + u" "_qs + Details().ObjectValue(1, 1)},
                {u"image"_qs, View().fDeviceImage->GetPictureName()},
                {u"presentation"_qs, View().fPresentationBox->isHidden() ? u"hidden"_qs : QString::number(View().fPresentationMatrix->checkedId())},
                {u"capture"_qs, Details().Window().AreKeyEventsEnabled() ? u"on"_qs : u"off"_qs},
                {u"toggles"_qs, toggles.isEmpty() ? u"none"_qs : toggles.join(u" "_qs)}, {u"keys"_qs, View().fKeyStrokeField->text()},
                {u"script"_qs, View().fAppleScriptPath->text()}, {u"caption"_qs, View().fDefaultCaption->text()}};
    }

    std::unique_ptr<APaneFixture> fPane;
};

QTEST_MAIN(ADetailsControllerTest)
#include "ADetailsControllerTest.moc"
