#pragma once
// AQtUserDialogs answers AUserDialogs with the real Qt dialogs: message
// boxes, the Qt file dialog (not the desktop's own, so that the script
// chooser can list only folders, executable files and "*.scpt" files), and
// AApplicationChooser for installed applications.

#include "pane/AUserDialogs.h"

class AQtUserDialogs : public AUserDialogs {
public:
    bool AskQuestion(QWidget* parent, const QString& title, const QString& text) override;
    void ShowAlert(QWidget* parent, const QString& title, const QString& text) override;
    std::optional<QString> ChooseOpenFile(QWidget* parent, const AOpenFileRequest& request) override;
    std::optional<QString> ChooseSaveFile(QWidget* parent, const ASaveFileRequest& request) override;
    std::optional<QString> ChooseApplication(QWidget* parent) override;
};

// Whether the script chooser lists a file: folders, "*.scpt" files and
// executable files.
bool IsScriptChoice(const QString& path);
