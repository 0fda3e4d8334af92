#pragma once
// AUserDialogs is the one way the settings application asks the user
// something outside its own windows: a question, an alert, a file to open or
// to save, an installed application to pick. The application uses
// AQtUserDialogs, which opens the real Qt dialogs; tests give a subclass
// whose answers they set in advance, so that no test ever waits for a
// person. Every dialog is modal to the window given as its parent.

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// What a file chooser offers.
enum class AFileKind {
    kAnyFile,
    // Executable files and compiled-script files ("*.scpt"), with folders
    // to walk through.
    kScript,
};

struct AOpenFileRequest {
    QString fTitle;
    AFileKind fKind = AFileKind::kAnyFile;
    QString fFolder;  // where the chooser starts; empty: the user's home
};

struct ASaveFileRequest {
    QString fTitle;
    QString fSuggestedPath;
};

class AUserDialogs {
public:
    virtual ~AUserDialogs() = default;

    // A yes/no question; true for yes. "No" is the default button, so that
    // Return or Escape never agrees to anything.
    virtual bool AskQuestion(QWidget* parent, const QString& title, const QString& text) = 0;
    virtual void ShowAlert(QWidget* parent, const QString& title, const QString& text) = 0;
    // The chosen file's full path; none when the user cancelled.
    virtual std::optional<QString> ChooseOpenFile(QWidget* parent, const AOpenFileRequest& request) = 0;
    virtual std::optional<QString> ChooseSaveFile(QWidget* parent, const ASaveFileRequest& request) = 0;
    // An installed application (its desktop entry's full path) or, through
    // the chooser's own file button, any file; none when cancelled.
    virtual std::optional<QString> ChooseApplication(QWidget* parent) = 0;
};
