#pragma once
// ADetailsView lays out the button editor's controls inside its window: the
// device picture, the two-row button table (picture and action columns),
// the five action tabs (tab index = action kind), the presentation choice of
// the presenter, and a close button. It only builds them; ADetailsController
// fills and drives them. Everything is reachable with the keyboard while key
// capture is off, and sizes follow the system font.

#include <QObject>

#include <array>

class APictureView;
class QAbstractButton;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableWidget;
class QWidget;

struct ADetailsView {
    // Builds the controls into `window`, which takes ownership of them.
    explicit ADetailsView(QWidget* window);

    APictureView* fDeviceImage = nullptr;
    QTableWidget* fButtonTableView = nullptr;
    // The action column's cells, one per row, offering the five action names.
    std::array<QComboBox*, 2> fActionCells{};
    QTabWidget* fActionTab = nullptr;
    QLabel* fDefaultCaption = nullptr;
    QLineEdit* fAppleScriptPath = nullptr;
    QPushButton* fChooseScriptButton = nullptr;
    QLineEdit* fApplicationPath = nullptr;
    APictureView* fApplicationIcon = nullptr;
    QPushButton* fChooseApplicationButton = nullptr;
    QLineEdit* fKeyStrokeField = nullptr;
    QPushButton* fToggleCapsLock = nullptr;
    QPushButton* fToggleShift = nullptr;
    QPushButton* fToggleControl = nullptr;
    QPushButton* fToggleOption = nullptr;
    QPushButton* fToggleCommand = nullptr;
    QPushButton* fClearKeyStrokesButton = nullptr;
    QComboBox* fPredefinedCombo = nullptr;
    QGroupBox* fPresentationBox = nullptr;
    QButtonGroup* fPresentationMatrix = nullptr;
    QPushButton* fCloseButton = nullptr;

    // The toggles in the order the editor sets them: Caps Lock, Shift,
    // Control, Option, Command; each carries its key code as property "tag".
    std::array<QPushButton*, 5> Toggles() const;
};

// The predefined functions' titles, by function number 0 to 13: what each
// does on Linux.
extern const std::array<const char*, 14> kPredefinedFunctionTitles;
