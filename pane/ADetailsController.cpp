#include "pane/ADetailsController.h"

#include "base/AProduct.h"
#include "pane/ADetailsView.h"
#include "pane/AEventLoopBridge.h"
#include "base/AMessageNames.h"
#include "pane/APictureView.h"
#include "pane/AUserDialogs.h"
#include "platform/bus/ADistributedNotificationCenter.h"
#include "prefs/ADevice.h"
#include "prefs/AException.h"
#include "prefs/ALeadingInteger.h"
#include "prefs/APrefController.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

const std::array<const char*, 5> kActionNames = {
    "Default Action", "Run AppleScript", "Launch Application", "Perform Key Strokes", "Predefined Functions",
};

namespace {

constexpr int kPictureColumn = 1;
constexpr int kActionColumn = 2;
constexpr std::array<const char*, 2> kDefaultCaptions = {"Safari Navigation - Back", "Safari Navigation - Forward"};
constexpr std::array<int32_t, 2> kButtonIds = {kButtonBack, kButtonForward};

} // namespace

ADetailsController::ADetailsController(AUserDialogs& dialogs, ADistributedNotificationCenter& notifications,
                                       AEventLoopBridge* bridge, QWidget* parent)
    : QObject(parent), fDialogs(dialogs), fNotifications(notifications), fBridge(bridge)
{
    fDetailsWindow = new AKeyStrokeWindow(parent);
    fDetailsWindow->setWindowModality(Qt::WindowModal);
    fDetailsWindow->SetDelegate(this);
    fView = std::make_unique<ADetailsView>(fDetailsWindow);
    OpenStore();
    SetDefaults();

    ADetailsView& view = *fView;
    for (int row = 0; row < 2; ++row) {
        for (const char* name : kActionNames)
            view.fActionCells[row]->addItem(tr(name), QString::fromLatin1(name));
        connect(view.fActionCells[row], &QComboBox::activated, this, [this, row](int index) {
            SetObjectValue(fView->fActionCells[row]->itemData(index).toString(), kActionColumn, row);
        });
    }
    connect(view.fButtonTableView, &QTableWidget::itemSelectionChanged, this,
            &ADetailsController::TableViewSelectionDidChange);
    connect(view.fActionTab, &QTabWidget::currentChanged, this, &ADetailsController::TabViewDidSelect);
    connect(view.fChooseScriptButton, &QPushButton::clicked, this, &ADetailsController::SelectAppleScript);
    connect(view.fChooseApplicationButton, &QPushButton::clicked, this, &ADetailsController::SelectApplication);
    for (QPushButton* toggle : view.Toggles())
        connect(toggle, &QPushButton::clicked, this, [this, toggle] { ToggleVirtualKey(toggle); });
    connect(view.fClearKeyStrokesButton, &QPushButton::clicked, this, &ADetailsController::ClearKeyStrokes);
    connect(view.fPredefinedCombo, &QComboBox::activated, this, &ADetailsController::PredefinedChange);
    connect(view.fPresentationMatrix, &QButtonGroup::idClicked, this,
            &ADetailsController::SelectPresentationSoftware);
    connect(view.fCloseButton, &QPushButton::clicked, this, &ADetailsController::CloseWindow);
    connect(fDetailsWindow, &QDialog::finished, this, &ADetailsController::WindowWillClose);
    ReloadTable();
}

ADetailsController::~ADetailsController()
{
    fDetailsWindow->SetDelegate(nullptr);
}

bool ADetailsController::OpenStore()
{
    try {
        fPrefController = std::make_unique<APrefController>();
        fStoreFailure.clear();
    } catch (const AException& failure) {
        fStoreFailure = QString::fromStdString(failure.what());
    }
    return fPrefController != nullptr;
}

void ADetailsController::SetDeviceType(EDeviceType type)
{
    fDeviceType = type;
}

void ADetailsController::ConfigureClick()
{
    // The file is read each time the editor opens, so that what another
    // writer (nuvexactl, a second settings window) saved meanwhile is not
    // saved over by this editor's next change.
    fPrefController.reset();
    if (!OpenStore()) {
        fDialogs.ShowAlert(fDetailsWindow->parentWidget(), QString::fromLatin1(kProductDisplayName),
                           tr("The button settings cannot be read, so they cannot be changed now.\n%1")
                               .arg(fStoreFailure));
        return;
    }
    LoadPref();
    fView->fButtonTableView->selectRow(0);
    SelectActionTab(0);
    SetDeviceImage();
    SetPresentationSoftware();
    ADevice device;
    device.SetDeviceType(fDeviceType);
    fDetailsWindow->setWindowTitle(tr("%1 Buttons").arg(QString::fromStdString(device.GetDeviceTypeDescription())));
    fDetailsWindow->show();
    fDetailsWindow->raise();
    fDetailsWindow->activateWindow();
    fDetailsSession = true;
}

void ADetailsController::CloseWindow()
{
    fDetailsWindow->close();
    if (fDetailsSession)
        WindowWillClose();
}

void ADetailsController::WindowWillClose()
{
    fDetailsSession = false;
    fDetailsWindow->EnableKeyEvents(false);
}

void ADetailsController::SetDefaults()
{
    for (size_t row = 0; row < 2; ++row) {
        fButtonAction[row] = kLaunchDefault;
        fButtonActionArg[row].reset();
    }
}

void ADetailsController::LoadPref()
{
    SetDefaults();
    if (fPrefController) {
        if (const ADevice* device = fPrefController->GetDevice(fDeviceType)) {
            for (size_t row = 0; row < 2; ++row) {
                if (const AEvent* event = device->GetEvent(kButtonIds[row])) {
                    fButtonAction[row] = event->GetLaunchType();
                    fButtonActionArg[row] = event->GetLaunchArg();
                }
            }
            fPresentationType = device->GetPresentationType();
        }
    }
    ReloadTable();
}

int ADetailsController::SelectedRow() const
{
    const QModelIndexList rows = fView->fButtonTableView->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void ADetailsController::SelectActionTab(int row)
{
    // No row selected: the controls stay as they are (the editor always
    // keeps one selected).
    if (row < 0 || row > 1)
        return;
    fView->fActionTab->setCurrentIndex(0);
    if (fButtonAction[row] == kLaunchDefault)
        fView->fDefaultCaption->setText(QString::fromLatin1(kDefaultCaptions[row]));
    fView->fActionTab->setCurrentIndex(fButtonAction[row]);
}

void ADetailsController::TableViewSelectionDidChange()
{
    SelectActionTab(SelectedRow());
}

void ADetailsController::TabViewDidSelect()
{
    ADetailsView& view = *fView;
    view.fAppleScriptPath->setText({});
    view.fApplicationPath->setText({});
    fDetailsWindow->EnableKeyEvents(false);
    fDetailsWindow->SetKeyStrokes(nullptr);
    view.fKeyStrokeField->setText({});
    for (QPushButton* toggle : view.Toggles())
        toggle->setChecked(false);
    view.fPredefinedCombo->setCurrentIndex(view.fPredefinedCombo->findData(0));

    const int row = SelectedRow();
    if (row < 0 || fButtonAction[row] == kLaunchDefault)
        return;
    const std::string argument = fButtonActionArg[row].value_or(std::string());
    switch (fButtonAction[row]) {
    case kLaunchAppleScript:
        view.fAppleScriptPath->setText(QString::fromStdString(argument));
        break;
    case kLaunchExec:
        view.fApplicationPath->setText(QString::fromStdString(argument));
        SetApplicationIcon(QString::fromStdString(argument));
        break;
    case kLaunchKeystroke: {
        fDetailsWindow->EnableKeyEvents(true);
        const AKeyCodeList keyStrokes = ReadStoredKeyStrokes(argument);
        fDetailsWindow->SetKeyStrokes(&keyStrokes);
        SetOwnKeyStrokes(&keyStrokes);
        break;
    }
    case kLaunchPredefinedKeys:
        view.fPredefinedCombo->setCurrentIndex(view.fPredefinedCombo->findData(ReadLeadingInteger(argument)));
        break;
    default:
        break;
    }
}

QString ADetailsController::ObjectValue(int column, int row) const
{
    if (row < 0 || row > 1)
        return {};
    if (column == kPictureColumn)
        return GetButtonImage(row);
    const ELaunchType kind = fButtonAction[row];
    if (column == kActionColumn && kind >= 0 && static_cast<size_t>(kind) < kActionNames.size())
        return QString::fromLatin1(kActionNames[kind]);
    return {};
}

void ADetailsController::SetObjectValue(const QString& value, int column, int row)
{
    if (row < 0 || row > 1)
        return;
    if (column == kActionColumn) {
        int index = -1;
        for (size_t name = 0; name < kActionNames.size(); ++name) {
            if (value == QString::fromLatin1(kActionNames[name]))
                index = static_cast<int>(name);
        }
        // A name that is none of the five changes nothing.
        if (index < 0)
            return;
        // The row being changed is the one shown, as when its cell is edited.
        if (SelectedRow() != row)
            fView->fButtonTableView->selectRow(row);
        if (index != fButtonAction[row])
            fButtonActionArg[row] = std::string();
        fButtonAction[row] = index;
        ReloadTable();
    }
    SelectActionTab(row);
    SavePrefAndUpdateAgent();
}

QString ADetailsController::GetButtonImage(int row) const
{
    if (fDeviceType == kDevicePresenter)
        return row == 0 ? u"button5"_qs : u"button6"_qs;
    return row == 0 ? u"button4"_qs : u"button5"_qs;
}

void ADetailsController::ReloadTable()
{
    for (int row = 0; row < 2; ++row) {
        const QString picture = ObjectValue(kPictureColumn, row);
        QTableWidgetItem* item = fView->fButtonTableView->item(row, 0);
        // The same picture in a selected row: the style would tint it otherwise.
        QIcon icon;
        if (const QString path = PicturePath(picture); !path.isEmpty()) {
            icon.addFile(path, {}, QIcon::Normal);
            icon.addFile(path, {}, QIcon::Selected);
        }
        item->setIcon(icon);
        item->setData(Qt::UserRole, picture);
        item->setData(Qt::AccessibleTextRole, tr("Button %1").arg(row + 1));
        QComboBox* cell = fView->fActionCells[row];
        cell->setCurrentIndex(cell->findData(ObjectValue(kActionColumn, row)));
    }
}

void ADetailsController::SavePrefAndUpdateAgent()
{
    // Without a store nothing can be written without erasing the file.
    if (!fPrefController)
        return;
    fPrefController->AddOrUpdateDevice(fDeviceType, kVendorID, GetPID(fDeviceType), fPresentationType);
    for (size_t row = 0; row < 2; ++row) {
        const std::optional<std::string>& argument = fButtonActionArg[row];
        fPrefController->AddOrUpdateEvent(fDeviceType, kButtonIds[row], fButtonAction[row],
                                          argument ? std::optional<std::string_view>(*argument) : std::nullopt);
    }
    try {
        fPrefController->FlushXml();
    } catch (const AException& failure) {
        fDialogs.ShowAlert(fDetailsWindow, QString::fromLatin1(kProductDisplayName),
                           tr("The button settings could not be saved.\n%1").arg(QString::fromStdString(failure.what())));
        return;
    }
    fNotifications.PostNotification(kReloadNotification, kReloadNotificationObject);
    if (fBridge)
        fBridge->Kick();
}
