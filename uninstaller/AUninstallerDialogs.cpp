#include "uninstaller/AUninstallerDialogs.h"

#include <QMessageBox>
#include <QPushButton>

bool AQtUninstallerDialogs::AskRestart(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Question, parent != nullptr ? parent->windowTitle() : QString(), text,
                    QMessageBox::NoButton, parent);
    box.setWindowModality(Qt::WindowModal);
    QPushButton* restart = box.addButton(u"Restart"_qs, QMessageBox::AcceptRole);
    box.addButton(u"Quit"_qs, QMessageBox::RejectRole);
    box.setDefaultButton(restart);
    box.exec();
    return box.clickedButton() == restart;
}
