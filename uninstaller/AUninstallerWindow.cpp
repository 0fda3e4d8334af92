#include "uninstaller/AUninstallerWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

AUninstallerWindow::AUninstallerWindow(QWidget* parent)
    : QWidget(parent),
      fLogView(new QPlainTextEdit(this)),
      fProgress(new QProgressBar(this)),
      fActionButton(new QPushButton(u"Uninstall"_qs, this))
{
    setWindowTitle(u"Nuvexa Uninstaller"_qs);
    auto* intro = new QLabel(u"Removes the Nuvexa Device Controller from this computer: the agent, the settings "
                             "application, the kernel filter and their files. Each user's button mappings "
                             "are kept. You will be asked for an administrator's password."_qs, this);
    intro->setWordWrap(true);
    fLogView->setReadOnly(true);
    fLogView->setObjectName(u"log"_qs);
    // Indeterminate until the first progress line.
    fProgress->setRange(0, 0);
    fProgress->setTextVisible(false);
    fActionButton->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(fActionButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(fLogView, 1);
    layout->addWidget(fProgress);
    layout->addLayout(buttons);
    resize(520, 380);
}

void AUninstallerWindow::closeEvent(QCloseEvent* event)
{
    emit Closing();
    QWidget::closeEvent(event);
}
