#pragma once
// ADetailsController is the button editor: the window in which the user
// chooses what buttons 4 and 5 of one device type do. It keeps its own
// preferences store (read once, when the controller is made), loads the
// device type's record when it opens, and saves after every completed change:
// AddOrUpdateDevice, AddOrUpdateEvent for buttons 4 and 5, FlushXml, then
// the "NuvexaAgent" / "PrefChange" notification that makes the agent reload.
// Row 0 of its table is button 4 and row 1 button 5 for every device type;
// tab index i shows the controls of action kind i. Its window, an
// AKeyStrokeWindow, is modal to the main window and records key strokes
// while a key-stroke row is shown.
//
// A store failure is shown to the user with its reason, through the
// dialogs: a store that cannot be made is tried again each time the editor
// opens, and the editor does not open without one (saving an empty store
// would erase the other device types' records); a failed write keeps the
// change in memory and the old file, and tells the agent nothing.
//
// The controls' actions are in ADetailsControllerActions.cpp.

#include "pane/AKeyStrokeWindow.h"
#include "prefs/ATypes.h"

#include <QObject>
#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <string>

class ADistributedNotificationCenter;
class AEventLoopBridge;
class APrefController;
class AUserDialogs;
class QAbstractButton;
struct ADetailsView;

// The five action names, by action kind.
extern const std::array<const char*, 5> kActionNames;

// A key-code list in its stored form ("59|56|0|56|59"), and back: each piece
// between the bars read as a leading integer (no digits: 0).
std::string FormatStoredKeyStrokes(const AKeyCodeList& keyStrokes);
AKeyCodeList ReadStoredKeyStrokes(const std::string& stored);

class ADetailsController : public QObject, public AKeyStrokeDelegate {
    Q_OBJECT

public:
    // The window is made as a child of `parent`, modal to it. `bridge`, when
    // given, sends what the notification centre queued.
    ADetailsController(AUserDialogs& dialogs, ADistributedNotificationCenter& notifications,
                       AEventLoopBridge* bridge, QWidget* parent);
    ~ADetailsController() override;

    // Used by the main view.
    void SetDeviceType(EDeviceType type);
    EDeviceType GetDeviceType() const { return fDeviceType; }
    void ConfigureClick();
    void CloseWindow();
    bool IsWindowOpen() const { return fDetailsSession; }

    // The key-stroke window's delegate.
    void SetKeyStrokes(const AKeyCodeList& keyStrokes) override;

    // The controls' actions.
    void SelectAppleScript();
    void SelectApplication();
    void ToggleVirtualKey(QAbstractButton* toggle);
    void ClearKeyStrokes();
    void PredefinedChange();
    void SelectPresentationSoftware();

    // The button table's data: column 1 the picture's name, column 2 the
    // action's name; an empty string for anything else.
    int NumberOfRows() const { return 2; }
    QString ObjectValue(int column, int row) const;
    void SetObjectValue(const QString& value, int column, int row);
    void TableViewSelectionDidChange();
    void TabViewDidSelect();
    void WindowWillClose();

    AKeyStrokeWindow& Window() { return *fDetailsWindow; }
    ADetailsView& View() { return *fView; }
    ELaunchType GetButtonAction(int row) const { return fButtonAction.at(row); }
    const std::optional<std::string>& GetButtonActionArg(int row) const { return fButtonActionArg.at(row); }
    int32_t GetPresentationType() const { return fPresentationType; }
    bool HasStore() const { return fPrefController != nullptr; }

private:
    bool OpenStore();
    void SetDefaults();
    void LoadPref();
    void SetActionArg(ELaunchType kind);
    void SetApplicationIcon(const QString& path);
    void SetDeviceImage();
    void SelectActionTab(int row);
    void SetPresentationSoftware();
    QString GetButtonImage(int row) const;
    void SavePrefAndUpdateAgent();
    void SetOwnKeyStrokes(const AKeyCodeList* keyStrokes);
    void ReloadTable();
    int SelectedRow() const;

    AUserDialogs& fDialogs;
    ADistributedNotificationCenter& fNotifications;
    AEventLoopBridge* fBridge;
    AKeyStrokeWindow* fDetailsWindow = nullptr;
    std::unique_ptr<ADetailsView> fView;
    bool fDetailsSession = false;
    std::unique_ptr<APrefController> fPrefController;
    QString fStoreFailure;
    EDeviceType fDeviceType = kDeviceRFMouse;
    std::array<ELaunchType, 2> fButtonAction{};
    std::array<std::optional<std::string>, 2> fButtonActionArg;
    int32_t fPresentationType = 0;
};
