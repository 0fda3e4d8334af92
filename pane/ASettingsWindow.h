#pragma once
// ASettingsWindow is the settings application's main window and the host of
// AMainPrefController, driving it as a preference pane is driven: the main
// view is loaded once when the window is built, WillSelect runs each time
// the window is shown and WillUnselect each time it is hidden or closed. A
// failure of the device list is shown to the user with its reason; the
// window stays usable with the empty list.

#include <QWidget>

class AMainPrefController;
class AMainView;
class AUserDialogs;
class AException;

class ASettingsWindow : public QWidget {
    Q_OBJECT

public:
    explicit ASettingsWindow(AUserDialogs& dialogs, QWidget* parent = nullptr);
    ~ASettingsWindow() override;

    AMainView& View() { return *fView; }
    // Takes the controller over (it becomes the window's child) and loads the
    // main view.
    void SetController(AMainPrefController* controller);
    bool IsSelected() const { return fSelected; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowFailure(const AException& failure);
    void Unselect();

    AUserDialogs& fDialogs;
    AMainView* fView = nullptr;
    AMainPrefController* fController = nullptr;
    bool fSelected = false;
};
