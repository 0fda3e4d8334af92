#include "pane/AMainView.h"

#include "pane/APictureView.h"

#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// Sizes in lines of the system font.
constexpr double kLogoWidth = 16;
constexpr double kLogoHeight = 4;
constexpr double kDevicePictureSize = 7;

} // namespace

AMainView::AMainView(QWidget* parent)
    : QWidget(parent)
{
    setAccessibleName(tr("Nuvexa Device Controller settings"));

    fLogo = new APictureView(kLogoWidth, kLogoHeight, this);
    fLogo->SetPicture(u"NuvexaLogo"_qs);
    fLogo->setAccessibleName(tr("Nuvexa logo"));

    fNoDevicesFound = new QLabel(tr("No supported device is connected.\n"
                                    "Connect a Nuvexa device, or start the agent (nuvexa-agent)."),
                                 this);
    fNoDevicesFound->setAlignment(Qt::AlignCenter);
    fNoDevicesFound->setAccessibleName(tr("No devices found"));

    fActiveDeviceRow = new QWidget(this);
    fActiveDeviceRow->setAccessibleName(tr("Connected devices"));
    fRowLayout = new QHBoxLayout(fActiveDeviceRow);
    fRowLayout->setContentsMargins(0, 0, 0, 0);
    fActiveDeviceGroup = new QButtonGroup(this);
    fActiveDeviceGroup->setExclusive(true);

    fConfigureButton = new QPushButton(tr("&Configure Buttons..."), this);
    fConfigureButton->setAccessibleName(tr("Configure buttons of the selected device"));

    fVersion = new QLabel(this);
    fVersion->setAccessibleName(tr("Version"));
    fVersion->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fLogo, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    layout->addWidget(fNoDevicesFound, 0, Qt::AlignHCenter);
    layout->addWidget(fActiveDeviceRow, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    layout->addWidget(fConfigureButton, 0, Qt::AlignHCenter);
    auto* versionRow = new QHBoxLayout;
    versionRow->addStretch(1);
    versionRow->addWidget(new QLabel(tr("Version"), this));
    versionRow->addWidget(fVersion);
    layout->addLayout(versionRow);
}

QToolButton* AMainView::AddDeviceButton(const QString& picture, const QString& selectedPicture, const QString& title)
{
    auto* button = new QToolButton(fActiveDeviceRow);
    QIcon icon;
    if (const QString path = PicturePath(picture); !path.isEmpty())
        icon.addFile(path, {}, QIcon::Normal, QIcon::Off);
    if (const QString path = PicturePath(selectedPicture); !path.isEmpty())
        icon.addFile(path, {}, QIcon::Normal, QIcon::On);
    button->setIcon(icon);
    button->setProperty("picture", icon.isNull() ? QString() : picture);
    button->setProperty("selectedPicture", icon.isNull() ? QString() : selectedPicture);
    const int side = qRound(kDevicePictureSize * fontMetrics().height());
    button->setIconSize({side, side});
    button->setText(title);
    button->setAccessibleName(title.isEmpty() ? tr("Unknown device") : title);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->installEventFilter(this);
    // Keyboard order: the devices in row order, then the configure button.
    const QList<QAbstractButton*> earlier = fActiveDeviceGroup->buttons();
    if (!earlier.isEmpty())
        setTabOrder(earlier.back(), button);
    setTabOrder(button, fConfigureButton);
    fActiveDeviceGroup->addButton(button, earlier.size());
    fRowLayout->addWidget(button);
    return button;
}

QList<QToolButton*> AMainView::DeviceButtons() const
{
    QList<QToolButton*> buttons;
    for (QAbstractButton* button : fActiveDeviceGroup->buttons())
        buttons.append(static_cast<QToolButton*>(button));
    return buttons;
}

void AMainView::RemoveDeviceButtons()
{
    for (QAbstractButton* button : fActiveDeviceGroup->buttons()) {
        fActiveDeviceGroup->removeButton(button);
        fRowLayout->removeWidget(button);
        // Later: this may be the button whose click is being handled.
        button->deleteLater();
        button->hide();
    }
}

bool AMainView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick && fActiveDeviceGroup->buttons().contains(qobject_cast<QAbstractButton*>(watched))) {
        emit DeviceDoubleClicked();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
