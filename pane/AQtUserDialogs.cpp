#include "pane/AQtUserDialogs.h"

#include "pane/AApplicationChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMessageBox>
#include <QSortFilterProxyModel>

namespace {

// Keeps the rows of the file dialog's model that the script chooser offers.
class AScriptFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (files == nullptr)
            return true;
        return IsScriptChoice(files->filePath(files->index(sourceRow, 0, sourceParent)));
    }
};

std::optional<QString> RunFileDialog(QFileDialog& dialog)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().first();
}

} // namespace

bool IsScriptChoice(const QString& path)
{
    const QFileInfo file(path);
    return file.isDir() || file.suffix() == u"scpt" || (file.isFile() && file.isExecutable());
}

bool AQtUserDialogs::AskQuestion(QWidget* parent, const QString& title, const QString& text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::No | QMessageBox::Yes, QMessageBox::No)
        == QMessageBox::Yes;
}

void AQtUserDialogs::ShowAlert(QWidget* parent, const QString& title, const QString& text)
{
    QMessageBox::warning(parent, title, text);
}

std::optional<QString> AQtUserDialogs::ChooseOpenFile(QWidget* parent, const AOpenFileRequest& request)
{
    // An empty folder would start the dialog in the program's working folder.
    QFileDialog dialog(parent, request.fTitle, request.fFolder.isEmpty() ? QDir::homePath() : request.fFolder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (request.fKind == AFileKind::kScript)
        dialog.setProxyModel(new AScriptFilter(&dialog));
    return RunFileDialog(dialog);
}

std::optional<QString> AQtUserDialogs::ChooseSaveFile(QWidget* parent, const ASaveFileRequest& request)
{
    QFileDialog dialog(parent, request.fTitle);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(request.fSuggestedPath);
    return RunFileDialog(dialog);
}

std::optional<QString> AQtUserDialogs::ChooseApplication(QWidget* parent)
{
    AApplicationChooser chooser(FindInstalledApplications(), parent);
    if (chooser.exec() != QDialog::Accepted)
        return std::nullopt;
    if (chooser.WantsOtherFile())
        return ChooseOpenFile(parent, {QObject::tr("Choose a File to Open"), AFileKind::kAnyFile, {}});
    return chooser.GetChosenPath();
}
