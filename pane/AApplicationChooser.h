#pragma once
// AApplicationChooser offers the installed applications, by name and icon
// (the generic "Applications" picture where the theme has none), and a
// button to pick any other file instead.

#include "pane/ADesktopEntries.h"

#include <QDialog>

#include <optional>
#include <vector>

class QListWidget;

class AApplicationChooser : public QDialog {
    Q_OBJECT

public:
    AApplicationChooser(const std::vector<ADesktopEntry>& applications, QWidget* parent = nullptr);

    // After acceptance: the chosen entry's path, or none when the user asked
    // for another file.
    std::optional<QString> GetChosenPath() const;
    bool WantsOtherFile() const { return fWantsOtherFile; }
    QListWidget* List() { return fList; }

private:
    QListWidget* fList = nullptr;
    bool fWantsOtherFile = false;
};
