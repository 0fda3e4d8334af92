// The button editor's control actions: what each tab's controls store as
// the selected row's argument, the key-stroke list in its stored form, the
// choosers, and the pictures of the device and the application.
#include "pane/ADetailsController.h"

#include "pane/ADesktopEntries.h"
#include "pane/ADetailsView.h"
#include "pane/APictureView.h"
#include "pane/AUserDialogs.h"
#include "prefs/ALeadingInteger.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

namespace {

struct ADeviceImage {
    EDeviceType fType;
    const char* fPicture;
};
constexpr std::array kDeviceImages = {
    ADeviceImage{kDeviceRFMouse, "NuvexaRFMouseActive"},
    ADeviceImage{kDeviceBTMouse, "NuvexaBTMouseActive"},
    ADeviceImage{kDevicePresenter, "NuvexaPresenterActive"},
};

} // namespace

std::string FormatStoredKeyStrokes(const AKeyCodeList& keyStrokes)
{
    std::string stored;
    for (size_t index = 0; index < keyStrokes.size(); ++index)
        stored += (index == 0 ? "" : "|") + std::to_string(keyStrokes[index]);
    return stored;
}

AKeyCodeList ReadStoredKeyStrokes(const std::string& stored)
{
    AKeyCodeList keyStrokes;
    if (stored.empty())
        return keyStrokes;
    size_t start = 0;
    while (true) {
        const size_t bar = stored.find('|', start);
        const std::string_view piece = std::string_view(stored).substr(start, bar - start);
        keyStrokes.push_back(static_cast<uint16_t>(ReadLeadingInteger(piece)));
        if (bar == std::string::npos)
            return keyStrokes;
        start = bar + 1;
    }
}

void ADetailsController::SetActionArg(ELaunchType kind)
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    fButtonAction[row] = kind;
    fButtonActionArg[row].reset();
    switch (kind) {
    case kLaunchAppleScript:
        fButtonActionArg[row] = fView->fAppleScriptPath->text().toStdString();
        break;
    case kLaunchExec:
        fButtonActionArg[row] = fView->fApplicationPath->text().toStdString();
        break;
    case kLaunchKeystroke:
        fButtonActionArg[row] = FormatStoredKeyStrokes(fDetailsWindow->GetKeyStrokes());
        break;
    case kLaunchPredefinedKeys:
        fButtonActionArg[row] = std::to_string(fView->fPredefinedCombo->currentData().toInt());
        break;
    default:
        break;
    }
    ReloadTable();
    SavePrefAndUpdateAgent();
}

void ADetailsController::SetKeyStrokes(const AKeyCodeList& keyStrokes)
{
    SetOwnKeyStrokes(&keyStrokes);
}

void ADetailsController::SetOwnKeyStrokes(const AKeyCodeList* keyStrokes)
{
    fView->fKeyStrokeField->setText(FormatKeyStrings(keyStrokes));
    for (QPushButton* toggle : fView->Toggles())
        toggle->setChecked(fDetailsWindow->VirtualKeyExists(static_cast<uint16_t>(toggle->property("tag").toInt())));
    SetActionArg(kLaunchKeystroke);
}

void ADetailsController::ToggleVirtualKey(QAbstractButton* toggle)
{
    const auto keyCode = static_cast<uint16_t>(toggle->property("tag").toInt() & 0xFFFF);
    fDetailsWindow->ToggleVirtualKey(keyCode, toggle->isChecked());
    // With capture off the window ignores the toggle: it shows the list again.
    if (!fDetailsWindow->AreKeyEventsEnabled())
        toggle->setChecked(fDetailsWindow->VirtualKeyExists(keyCode));
}

void ADetailsController::ClearKeyStrokes()
{
    fDetailsWindow->SetKeyStrokes(nullptr);
    SetOwnKeyStrokes(nullptr);
}

void ADetailsController::PredefinedChange()
{
    SetActionArg(kLaunchPredefinedKeys);
}

void ADetailsController::SelectPresentationSoftware()
{
    fPresentationType = fView->fPresentationMatrix->checkedId();
    SavePrefAndUpdateAgent();
}

void ADetailsController::SelectAppleScript()
{
    const std::optional<QString> path =
        fDialogs.ChooseOpenFile(fDetailsWindow, {tr("Choose a Script"), AFileKind::kScript, {}});
    if (!path || path->isEmpty())
        return;
    fView->fAppleScriptPath->setText(*path);
    SetActionArg(kLaunchAppleScript);
}

void ADetailsController::SelectApplication()
{
    const std::optional<QString> path = fDialogs.ChooseApplication(fDetailsWindow);
    if (!path || path->isEmpty())
        return;
    fView->fApplicationPath->setText(*path);
    SetApplicationIcon(*path);
    SetActionArg(kLaunchExec);
}

void ADetailsController::SetApplicationIcon(const QString& path)
{
    const QIcon icon = path.isEmpty() ? QIcon() : ApplicationIcon(path);
    if (!icon.isNull())
        fView->fApplicationIcon->SetIcon(icon, path);
    else
        fView->fApplicationIcon->SetPicture(u"Applications"_qs);
}

void ADetailsController::SetDeviceImage()
{
    QString picture;
    for (const ADeviceImage& image : kDeviceImages) {
        if (image.fType == fDeviceType)
            picture = QString::fromLatin1(image.fPicture);
    }
    fView->fDeviceImage->SetPicture(picture);
}

void ADetailsController::SetPresentationSoftware()
{
    if (fDeviceType != kDevicePresenter) {
        fView->fPresentationBox->hide();
        return;
    }
    fView->fPresentationBox->show();
    if (QAbstractButton* choice = fView->fPresentationMatrix->button(fPresentationType))
        choice->setChecked(true);
}
