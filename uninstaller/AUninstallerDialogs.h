#pragma once
// AUninstallerDialogs is the one way the uninstaller asks the user
// something: the restart question once the script has finished. The
// application opens a real message box, window-modal to the uninstaller's
// window; tests give a subclass whose answer they set in advance.

#include <QString>

class QWidget;

class AUninstallerDialogs {
public:
    virtual ~AUninstallerDialogs() = default;

    // The question with the buttons "Restart" (first) and "Quit"; true for
    // "Restart".
    virtual bool AskRestart(QWidget* parent, const QString& text) = 0;
};

class AQtUninstallerDialogs : public AUninstallerDialogs {
public:
    bool AskRestart(QWidget* parent, const QString& text) override;
};
