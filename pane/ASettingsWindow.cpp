#include "pane/ASettingsWindow.h"

#include "base/AProduct.h"
#include "pane/AMainPrefController.h"
#include "pane/AMainView.h"
#include "pane/AUserDialogs.h"
#include "prefs/AException.h"

#include <QHideEvent>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

ASettingsWindow::ASettingsWindow(AUserDialogs& dialogs, QWidget* parent)
    : QWidget(parent), fDialogs(dialogs)
{
    setWindowTitle(QString::fromLatin1(kProductDisplayName));
    fView = new AMainView(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fView);
    // The main view's width, in lines of the system font.
    setMinimumSize(34 * fontMetrics().height(), 22 * fontMetrics().height());
}

ASettingsWindow::~ASettingsWindow()
{
    Unselect();
    // Before the view it drives, which is destroyed with the window's children.
    delete fController;
}

void ASettingsWindow::SetController(AMainPrefController* controller)
{
    fController = controller;
    fController->setParent(this);
    fController->SetFailureHandler([this](const AException& failure) { ShowFailure(failure); });
    fController->SetUserDialogs(fDialogs);
    fController->MainViewDidLoad();
}

void ASettingsWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (fSelected || fController == nullptr)
        return;
    fSelected = true;
    try {
        fController->WillSelect();
    } catch (const AException& failure) {
        // Shown once the window is on screen, so the alert has a parent.
        QTimer::singleShot(0, this, [this, failure] { ShowFailure(failure); });
    }
}

void ASettingsWindow::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    Unselect();
}

void ASettingsWindow::Unselect()
{
    if (!fSelected || fController == nullptr)
        return;
    fSelected = false;
    fController->WillUnselect();
}

void ASettingsWindow::ShowFailure(const AException& failure)
{
    fDialogs.ShowAlert(this, QString::fromLatin1(kProductDisplayName),
                       tr("The list of devices could not be read from the agent.\n%1: %2")
                           .arg(QString::fromStdString(failure.GetName()),
                                QString::fromStdString(failure.GetReason())));
}
