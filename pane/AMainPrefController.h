#pragma once
// AMainPrefController is the settings application's principal controller:
// it shows which supported devices are present, one picture button per
// device the agent reports on "MouseListPort" (in the reply's order), lets
// the user pick one and opens the button editor for it, and shows the
// version from the application's information file. While the main window is
// shown it observes the agent's "NuvexaPreferences" and rebuilds the row on
// each, closing the editor when the device type it edits has gone. It never
// touches "mapping.xml": the editor does.
//
// MainViewDidLoad first runs the update check (AutoUpdateCheck), whose
// offer, save dialog and alerts go through the dialogs the host gives.
//
// The host (ASettingsWindow) drives its life: MainViewDidLoad once, then
// WillSelect each time the window is shown and WillUnselect each time it is
// hidden or closed. A reply that does not parse raises AException
// ("AMainPrefController" / "Error loading preferences", or the parser's
// error); the list is empty then and the view shows the no-devices state.

#include "pane/AAutoUpdate.h"
#include "prefs/ADevice.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

class ADetailsController;
class ADistributedNotificationCenter;
class AException;
class AMainView;
class AUserDialogs;

class AMainPrefController : public QObject {
    Q_OBJECT

public:
    using AFailureHandler = std::function<void(const AException& failure)>;

    // `informationPath`: the application's information file.
    AMainPrefController(AMainView& view, ADetailsController& details, ADistributedNotificationCenter& notifications,
                        QString informationPath, QObject* parent = nullptr);
    ~AMainPrefController() override;

    // Where a failure raised while handling a notification goes; the host
    // shows it to the user. Failures of WillSelect reach the caller.
    void SetFailureHandler(AFailureHandler handler);
    // Where the update check asks the user; without them it does not run.
    void SetUserDialogs(AUserDialogs& dialogs);
    void SetAutoUpdateOptions(const AAutoUpdateOptions& options);

    void MainViewDidLoad();
    void WillSelect();
    void WillUnselect();

    void AutoUpdateCheck();
    // The check of the last AutoUpdateCheck while it offers or downloads.
    AAutoUpdate* GetAutoUpdate() const { return fAutoUpdate.get(); }

    void ShowDevices();
    void FlushDevices();
    void ReloadActiveDevicesFromAgent();
    bool IsDeviceTypePresent(EDeviceType type) const;
    void UpdateSoftwareVersion();
    void RegisterPrefChangeNotification();
    void UnregisterPrefChangeNotification();
    void PrefChangeNotification();

    // The row's click (the button at `column`) and double click.
    void SelectDevice(int column);
    void DeviceClick();

    const std::vector<ADevice>& GetActiveDevices() const { return fActiveDevices; }

private:
    static void HandleNotification(ADistributedNotificationCenter* center, void* observer, std::string_view name,
                                   std::string_view object);

    AMainView& fView;
    ADetailsController& fDetailsController;
    ADistributedNotificationCenter& fNotifications;
    QString fInformationPath;
    AFailureHandler fFailureHandler;
    AUserDialogs* fDialogs = nullptr;
    AAutoUpdateOptions fAutoUpdateOptions = DefaultAutoUpdateOptions();
    std::unique_ptr<AAutoUpdate> fAutoUpdate;
    bool fObserving = false;
    std::vector<ADevice> fActiveDevices;
};
