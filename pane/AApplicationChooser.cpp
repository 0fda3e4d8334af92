#include "pane/AApplicationChooser.h"

#include "pane/APictureView.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

AApplicationChooser::AApplicationChooser(const std::vector<ADesktopEntry>& applications, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Choose an Application"));
    fList = new QListWidget(this);
    fList->setAccessibleName(tr("Installed applications"));
    const int line = fontMetrics().height();
    fList->setIconSize({2 * line, 2 * line});
    const QIcon generic = PictureIcon(u"Applications"_qs);
    for (const ADesktopEntry& application : applications) {
        const QIcon icon = ApplicationIcon(application.fPath);
        auto* item = new QListWidgetItem(icon.isNull() ? generic : icon, application.fName, fList);
        item->setData(Qt::UserRole, application.fPath);
    }
    if (fList->count() > 0)
        fList->setCurrentRow(0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* other = buttons->addButton(tr("Other &File..."), QDialogButtonBox::ActionRole);
    other->setAccessibleName(tr("Choose another file"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(other, &QPushButton::clicked, this, [this] {
        fWantsOtherFile = true;
        accept();
    });
    connect(fList, &QListWidget::itemActivated, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Application opened when the button is pressed:"), this));
    layout->addWidget(fList);
    layout->addWidget(buttons);
    resize(30 * fontMetrics().averageCharWidth(), 25 * line);
}

std::optional<QString> AApplicationChooser::GetChosenPath() const
{
    if (fWantsOtherFile || fList->currentItem() == nullptr)
        return std::nullopt;
    return fList->currentItem()->data(Qt::UserRole).toString();
}
