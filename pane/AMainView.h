#pragma once
// AMainView is the settings application's main view: the logo, the row of
// present devices (one picture button each, or the no-devices text in its
// place), the button that opens the editor, and the version. It only lays
// the controls out; AMainPrefController fills and drives them.

#include <QWidget>

class APictureView;
class QButtonGroup;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QToolButton;

class AMainView : public QWidget {
    Q_OBJECT

public:
    explicit AMainView(QWidget* parent = nullptr);

    APictureView* fLogo = nullptr;
    QLabel* fNoDevicesFound = nullptr;
    QWidget* fActiveDeviceRow = nullptr;
    QButtonGroup* fActiveDeviceGroup = nullptr;
    QPushButton* fConfigureButton = nullptr;
    QLabel* fVersion = nullptr;

    // A radio-style picture button at the end of the row.
    QToolButton* AddDeviceButton(const QString& picture, const QString& selectedPicture, const QString& title);
    QList<QToolButton*> DeviceButtons() const;
    void RemoveDeviceButtons();

signals:
    // A device button was double-clicked (after its first click selected it).
    void DeviceDoubleClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QHBoxLayout* fRowLayout = nullptr;
};
