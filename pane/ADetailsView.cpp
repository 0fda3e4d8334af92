#include "pane/ADetailsView.h"

#include "pane/APictureView.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

const std::array<const char*, 14> kPredefinedFunctionTitles = {
    "Eject (the eject key)",
    "Press Super+Shift+3",
    "Press Super+A",
    "Volume Up",
    "Volume Down",
    "Mute",
    "Press F9",
    "Press F10",
    "Press F11",
    "Press F12",
    "Browser Navigation - Forward (Alt+Right)",
    "Browser Navigation - Back (Alt+Left)",
    "Media Player - Play/Pause",
    "Media Player - Stop",
};

namespace {

// Sizes in lines of the system font.
constexpr double kDeviceImageSize = 8;
constexpr double kApplicationIconSize = 3;

QLineEdit* NewReadOnlyField(const QString& accessibleName, QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setReadOnly(true);
    field->setAccessibleName(accessibleName);
    return field;
}

QPushButton* NewToggle(const QString& title, int tag, QWidget* parent)
{
    auto* toggle = new QPushButton(title, parent);
    toggle->setCheckable(true);
    toggle->setProperty("tag", tag);
    toggle->setAccessibleName(QObject::tr("%1 held around the keys").arg(toggle->text().remove(u'&')));
    return toggle;
}

} // namespace

ADetailsView::ADetailsView(QWidget* window)
{
    fDeviceImage = new APictureView(kDeviceImageSize, kDeviceImageSize, window);
    fDeviceImage->setAccessibleName(QObject::tr("Device picture"));

    fButtonTableView = new QTableWidget(2, 2, window);
    fButtonTableView->setAccessibleName(QObject::tr("Buttons"));
    fButtonTableView->setHorizontalHeaderLabels({QObject::tr("Button"), QObject::tr("Action")});
    fButtonTableView->verticalHeader()->hide();
    fButtonTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    fButtonTableView->setSelectionMode(QAbstractItemView::SingleSelection);
    fButtonTableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    const int line = fButtonTableView->fontMetrics().height();
    fButtonTableView->setIconSize({4 * line, 3 * line});
    fButtonTableView->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    fButtonTableView->setColumnWidth(0, 5 * line);
    fButtonTableView->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    fButtonTableView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    fButtonTableView->verticalHeader()->setDefaultSectionSize(qRound(3.6 * line));
    fButtonTableView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fButtonTableView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fButtonTableView->setFixedHeight(fButtonTableView->horizontalHeader()->sizeHint().height()
                                     + 2 * fButtonTableView->verticalHeader()->defaultSectionSize()
                                     + 2 * fButtonTableView->frameWidth());
    for (int row = 0; row < 2; ++row) {
        auto* picture = new QTableWidgetItem();
        picture->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        fButtonTableView->setItem(row, 0, picture);
        auto* cell = new QComboBox(fButtonTableView);
        cell->setAccessibleName(QObject::tr("Action of button %1").arg(row + 1));
        fButtonTableView->setCellWidget(row, 1, cell);
        fActionCells[row] = cell;
    }

    fActionTab = new QTabWidget(window);
    fActionTab->setAccessibleName(QObject::tr("Action settings"));

    auto* defaultTab = new QWidget;
    fDefaultCaption = new QLabel(defaultTab);
    fDefaultCaption->setAccessibleName(QObject::tr("Default behaviour"));
    fDefaultCaption->setAlignment(Qt::AlignCenter);
    auto* defaultLayout = new QVBoxLayout(defaultTab);
    defaultLayout->addWidget(fDefaultCaption);

    auto* scriptTab = new QWidget;
    fAppleScriptPath = NewReadOnlyField(QObject::tr("Script path"), scriptTab);
    fChooseScriptButton = new QPushButton(QObject::tr("Choose &Script..."), scriptTab);
    fChooseScriptButton->setAccessibleName(QObject::tr("Choose a script"));
    auto* scriptLayout = new QVBoxLayout(scriptTab);
    scriptLayout->addStretch(1);
    scriptLayout->addWidget(new QLabel(QObject::tr("Script or program run when the button is pressed:"), scriptTab));
    scriptLayout->addWidget(fAppleScriptPath);
    scriptLayout->addWidget(fChooseScriptButton, 0, Qt::AlignRight);
    scriptLayout->addStretch(1);

    auto* applicationTab = new QWidget;
    fApplicationIcon = new APictureView(kApplicationIconSize, kApplicationIconSize, applicationTab);
    fApplicationIcon->setAccessibleName(QObject::tr("Application icon"));
    fApplicationPath = NewReadOnlyField(QObject::tr("Application path"), applicationTab);
    fChooseApplicationButton = new QPushButton(QObject::tr("Choose &Application..."), applicationTab);
    fChooseApplicationButton->setAccessibleName(QObject::tr("Choose an application"));
    auto* applicationLayout = new QGridLayout(applicationTab);
    applicationLayout->setRowStretch(0, 1);
    applicationLayout->addWidget(fApplicationIcon, 1, 0, 2, 1);
    applicationLayout->addWidget(new QLabel(QObject::tr("Application or file opened when the button is pressed:"),
                                            applicationTab), 1, 1);
    applicationLayout->addWidget(fApplicationPath, 2, 1);
    applicationLayout->addWidget(fChooseApplicationButton, 3, 1, Qt::AlignRight);
    applicationLayout->setRowStretch(4, 1);

    auto* keyStrokeTab = new QWidget;
    fKeyStrokeField = NewReadOnlyField(QObject::tr("Recorded key strokes"), keyStrokeTab);
    fKeyStrokeField->setFocusPolicy(Qt::NoFocus);
    fToggleCapsLock = NewToggle(QObject::tr("Caps Lock"), 57, keyStrokeTab);
    fToggleShift = NewToggle(QObject::tr("Shift"), 56, keyStrokeTab);
    fToggleControl = NewToggle(QObject::tr("Ctrl"), 59, keyStrokeTab);
    fToggleOption = NewToggle(QObject::tr("Alt"), 58, keyStrokeTab);
    fToggleCommand = NewToggle(QObject::tr("Super"), 55, keyStrokeTab);
    fClearKeyStrokesButton = new QPushButton(QObject::tr("Clear"), keyStrokeTab);
    fClearKeyStrokesButton->setAccessibleName(QObject::tr("Clear the key strokes"));
    auto* toggleRow = new QHBoxLayout;
    for (QPushButton* toggle : Toggles())
        toggleRow->addWidget(toggle);
    toggleRow->addStretch(1);
    toggleRow->addWidget(fClearKeyStrokesButton);
    auto* keyStrokeLayout = new QVBoxLayout(keyStrokeTab);
    keyStrokeLayout->addStretch(1);
    keyStrokeLayout->addWidget(new QLabel(QObject::tr("Type the keys; Delete erases the last one:"), keyStrokeTab));
    keyStrokeLayout->addWidget(fKeyStrokeField);
    keyStrokeLayout->addLayout(toggleRow);
    keyStrokeLayout->addStretch(1);

    auto* predefinedTab = new QWidget;
    fPredefinedCombo = new QComboBox(predefinedTab);
    fPredefinedCombo->setAccessibleName(QObject::tr("Predefined function"));
    for (size_t number = 0; number < kPredefinedFunctionTitles.size(); ++number)
        fPredefinedCombo->addItem(QObject::tr(kPredefinedFunctionTitles[number]), static_cast<int>(number));
    auto* predefinedLayout = new QVBoxLayout(predefinedTab);
    predefinedLayout->addStretch(1);
    predefinedLayout->addWidget(new QLabel(QObject::tr("Function performed when the button is pressed:"), predefinedTab));
    predefinedLayout->addWidget(fPredefinedCombo);
    predefinedLayout->addStretch(1);

    fActionTab->addTab(defaultTab, QObject::tr("Default"));
    fActionTab->addTab(scriptTab, QObject::tr("Script"));
    fActionTab->addTab(applicationTab, QObject::tr("Application"));
    fActionTab->addTab(keyStrokeTab, QObject::tr("Key Strokes"));
    fActionTab->addTab(predefinedTab, QObject::tr("Predefined"));

    fPresentationBox = new QGroupBox(QObject::tr("Presentation key starts the slide show by"), window);
    fPresentationBox->setAccessibleName(QObject::tr("Presentation software"));
    fPresentationMatrix = new QButtonGroup(fPresentationBox);
    auto* presentationLayout = new QVBoxLayout(fPresentationBox);
    const std::array presentationTitles = {QObject::tr("pressing Alt+Super+P"),
                                           QObject::tr("the LibreOffice Impress slide-show script")};
    for (int row = 0; row < 2; ++row) {
        auto* choice = new QRadioButton(presentationTitles[row], fPresentationBox);
        choice->setAccessibleName(presentationTitles[row]);
        fPresentationMatrix->addButton(choice, row);
        presentationLayout->addWidget(choice);
    }

    fCloseButton = new QPushButton(QObject::tr("Close"), window);
    fCloseButton->setAccessibleName(QObject::tr("Close the editor"));
    fCloseButton->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(fDeviceImage, 0, Qt::AlignTop);
    top->addWidget(fButtonTableView, 1, Qt::AlignTop);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(fPresentationBox, 1);
    bottom->addStretch(0);
    bottom->addWidget(fCloseButton, 0, Qt::AlignBottom);
    auto* layout = new QVBoxLayout(window);
    layout->addLayout(top);
    layout->addWidget(fActionTab, 1);
    layout->addLayout(bottom);
    window->setMinimumWidth(40 * window->fontMetrics().averageCharWidth() + 8 * line);
}

std::array<QPushButton*, 5> ADetailsView::Toggles() const
{
    return {fToggleCapsLock, fToggleShift, fToggleControl, fToggleOption, fToggleCommand};
}
