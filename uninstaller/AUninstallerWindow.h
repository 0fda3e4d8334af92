#pragma once
// AUninstallerWindow is the uninstaller's one window: a line saying what it
// does, the log view, the progress bar and the action button. It only holds
// the controls; AUninstallerController drives them. Closing it is announced,
// so that the controller can quit the application.

#include <QWidget>

class QPlainTextEdit;
class QProgressBar;
class QPushButton;

class AUninstallerWindow : public QWidget {
    Q_OBJECT

public:
    explicit AUninstallerWindow(QWidget* parent = nullptr);

    QPlainTextEdit* LogView() const { return fLogView; }
    QProgressBar* Progress() const { return fProgress; }
    QPushButton* ActionButton() const { return fActionButton; }

signals:
    void Closing();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QPlainTextEdit* fLogView = nullptr;
    QProgressBar* fProgress = nullptr;
    QPushButton* fActionButton = nullptr;
};
