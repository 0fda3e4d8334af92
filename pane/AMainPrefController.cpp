#include "pane/AMainPrefController.h"

#include "base/AMessageNames.h"
#include "base/AProduct.h"
#include "pane/ADetailsController.h"
#include "pane/ADeviceListReply.h"
#include "pane/AMainView.h"
#include "pane/APaneInformation.h"
#include "pane/AUserDialogs.h"
#include "platform/bus/ADistributedNotificationCenter.h"
#include "prefs/AException.h"

#include <QButtonGroup>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QToolButton>
#include <QUrl>

#include <array>

namespace {

struct ADevicePictures {
    EDeviceType fType;
    const char* fPicture;
    const char* fSelectedPicture;
};

constexpr std::array kDevicePictures = {
    ADevicePictures{kDeviceRFMouse, "NuvexaRFMouse", "NuvexaRFMouseSelected"},
    ADevicePictures{kDeviceBTMouse, "NuvexaBTMouse", "NuvexaBTMouseSelected"},
    ADevicePictures{kDevicePresenter, "NuvexaPresenter", "NuvexaPresenterSelected"},
};

const ADevicePictures* FindDevicePictures(EDeviceType type)
{
    for (const ADevicePictures& pictures : kDevicePictures) {
        if (pictures.fType == type)
            return &pictures;
    }
    return nullptr;
}

// The download's own name, offered in the save dialog: the last segment of
// the address's path, never one that would lead out of the chosen folder.
QString DownloadFileName(const QString& address)
{
    const QString name = QUrl(address.trimmed()).fileName().section(u'/', -1);
    return name == u"." || name == u".." ? QString() : name;
}

QString DesktopFolder()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return !desktop.isEmpty() && QFileInfo(desktop).isDir() ? desktop : QDir::homePath();
}

} // namespace

AMainPrefController::AMainPrefController(AMainView& view, ADetailsController& details,
                                         ADistributedNotificationCenter& notifications, QString informationPath,
                                         QObject* parent)
    : QObject(parent),
      fView(view),
      fDetailsController(details),
      fNotifications(notifications),
      fInformationPath(std::move(informationPath))
{
}

AMainPrefController::~AMainPrefController()
{
    UnregisterPrefChangeNotification();
    FlushDevices();
}

void AMainPrefController::SetFailureHandler(AFailureHandler handler)
{
    fFailureHandler = std::move(handler);
}

void AMainPrefController::SetUserDialogs(AUserDialogs& dialogs)
{
    fDialogs = &dialogs;
}

void AMainPrefController::SetAutoUpdateOptions(const AAutoUpdateOptions& options)
{
    fAutoUpdateOptions = options;
}

void AMainPrefController::MainViewDidLoad()
{
    AutoUpdateCheck();
    fView.fConfigureButton->setEnabled(false);
    UpdateSoftwareVersion();
    connect(fView.fActiveDeviceGroup, &QButtonGroup::idClicked, this, &AMainPrefController::SelectDevice);
    connect(&fView, &AMainView::DeviceDoubleClicked, this, &AMainPrefController::DeviceClick);
    connect(fView.fConfigureButton, &QPushButton::clicked, &fDetailsController,
            [this] { fDetailsController.ConfigureClick(); });
}

void AMainPrefController::WillSelect()
{
    RegisterPrefChangeNotification();
    ShowDevices();
}

void AMainPrefController::WillUnselect()
{
    FlushDevices();
    UnregisterPrefChangeNotification();
}

void AMainPrefController::AutoUpdateCheck()
{
    if (fDialogs == nullptr)
        return;
    fAutoUpdate = std::make_unique<AAutoUpdate>(ReadPaneInformation(fInformationPath).value_or(APaneInformation()),
                                                fAutoUpdateOptions, *fDialogs, fView.window());
    if (!fAutoUpdate->CheckForUpdates()
        || !fDialogs->AskQuestion(fView.window(), QString::fromLatin1(kProductDisplayName),
                                  tr("A newer version of the Nuvexa Device Conntroller is available. "
                                     "Do you wish to download?"))) {
        fAutoUpdate.reset();
        return;
    }
    const QString name = DownloadFileName(fAutoUpdate->GetDownloadUrl().value_or(QString()));
    const std::optional<QString> path = fDialogs->ChooseSaveFile(
        fView.window(), {tr("Save the Update"), DesktopFolder() + u'/' + name});
    if (!path || path->isEmpty() || QFileInfo(*path).fileName().isEmpty()) {
        fAutoUpdate.reset();
        return;
    }
    fAutoUpdate->DownloadNewVersion(*path);
}

void AMainPrefController::ShowDevices()
{
    try {
        ReloadActiveDevicesFromAgent();
    } catch (const AException&) {
        // The list is empty now; the row keeps what it held (nothing after
        // FlushDevices), and the view says so instead of showing a blank.
        fView.fNoDevicesFound->show();
        fView.fConfigureButton->setEnabled(false);
        throw;
    }
    if (fActiveDevices.empty()) {
        fView.fNoDevicesFound->show();
        fView.fConfigureButton->setEnabled(false);
        fView.fActiveDeviceRow->hide();
        return;
    }
    fView.fNoDevicesFound->hide();
    fView.fActiveDeviceRow->show();
    for (const ADevice& device : fActiveDevices) {
        const ADevicePictures* pictures = FindDevicePictures(device.GetDeviceType());
        fView.AddDeviceButton(pictures ? QString::fromLatin1(pictures->fPicture) : QString(),
                              pictures ? QString::fromLatin1(pictures->fSelectedPicture) : QString(),
                              QString::fromStdString(device.GetDeviceTypeDescription()));
    }
    // The configure button stays as it was until a device is selected.
}

void AMainPrefController::FlushDevices()
{
    fView.RemoveDeviceButtons();
}

void AMainPrefController::ReloadActiveDevicesFromAgent()
{
    fActiveDevices.clear();
    for (const EDeviceType type : RequestDeviceList()) {
        ADevice device;
        device.SetDeviceType(type);
        fActiveDevices.push_back(device);
    }
}

bool AMainPrefController::IsDeviceTypePresent(EDeviceType type) const
{
    for (const ADevice& device : fActiveDevices) {
        if (device.GetDeviceType() == type)
            return true;
    }
    return false;
}

void AMainPrefController::UpdateSoftwareVersion()
{
    if (const std::optional<APaneInformation> information = ReadPaneInformation(fInformationPath))
        fView.fVersion->setText(information->value(u"CFBundleVersion"_qs));
}

void AMainPrefController::RegisterPrefChangeNotification()
{
    if (!fObserving)
        fObserving = fNotifications.AddObserver(this, HandleNotification, kDevicesChangedNotification, std::nullopt);
}

void AMainPrefController::UnregisterPrefChangeNotification()
{
    if (fObserving)
        fNotifications.RemoveObserver(this, kDevicesChangedNotification, std::nullopt);
    fObserving = false;
}

void AMainPrefController::PrefChangeNotification()
{
    FlushDevices();
    ShowDevices();
    if (!IsDeviceTypePresent(fDetailsController.GetDeviceType()))
        fDetailsController.CloseWindow();
    fView.update();
}

void AMainPrefController::SelectDevice(int column)
{
    const QList<QToolButton*> buttons = fView.DeviceButtons();
    if (column >= 0 && column < buttons.size())
        buttons[column]->setChecked(true);
    fView.fConfigureButton->setEnabled(true);
    if (column < 0 || static_cast<size_t>(column) >= fActiveDevices.size())
        return;
    fDetailsController.SetDeviceType(fActiveDevices[column].GetDeviceType());
}

void AMainPrefController::DeviceClick()
{
    fDetailsController.ConfigureClick();
}

void AMainPrefController::HandleNotification(ADistributedNotificationCenter*, void* observer, std::string_view,
                                             std::string_view)
{
    auto* controller = static_cast<AMainPrefController*>(observer);
    // Called from the bus connection: a failure must not leave through it.
    try {
        controller->PrefChangeNotification();
    } catch (const AException& failure) {
        if (controller->fFailureHandler)
            controller->fFailureHandler(failure);
    }
}
