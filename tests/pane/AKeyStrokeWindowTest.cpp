// Capture on a real AKeyStrokeWindow: key events as the platform sends them,
// carrying native scan codes (evdev code + 8), to the window's focus widget.
#include "pane/AKeyStrokeWindow.h"

#include <QtWidgets>
#include <QtTest>

#include <linux/input-event-codes.h>


// Pressing and releasing one key as QTest does, but with the scan code.
static void Type(Qt::Key key, uint16_t evdevCode, bool autoRepeat = false)
{
    QWidget* target = QApplication::focusWidget();
    QVERIFY(target);
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, key, Qt::NoModifier, evdevCode + 8u, 0, 0, {}, autoRepeat);
        QApplication::sendEvent(target, &event);
    }
}

class AKeyStrokeWindowTest : public QObject, public AKeyStrokeDelegate {
    Q_OBJECT

    void SetKeyStrokes(const AKeyCodeList& keyStrokes) override { fReceived.push_back(keyStrokes); }

private slots:
    void init()
    {
        fWindow = std::make_unique<AKeyStrokeWindow>();
        fWindow->SetDelegate(this);
        fReceived.clear();
        fFirst = new QPushButton(fWindow.get());
        fSecond = new QPushButton(fWindow.get());
        fShortcuts = 0;
        connect(new QShortcut(QKeySequence(Qt::Key_A), fWindow.get()), &QShortcut::activated, this, [this] { ++fShortcuts; });
        fWindow->show();
        fWindow->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(fWindow.get()));
        fFirst->setFocus();
    }

    void CaptureTakesEveryKeyBeforeFocusShortcutsAndDialog()
    {
        QSignalSpy clicked(fFirst, &QPushButton::clicked);
        // A key pressed before capture went on (its press acted on a control)
        // is not recorded when it is released.
        QKeyEvent earlyPress(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, KEY_B + 8u, 0, 0);
        QApplication::sendEvent(fFirst, &earlyPress);
        fWindow->EnableKeyEvents(true);
        QKeyEvent lateRelease(QEvent::KeyRelease, Qt::Key_B, Qt::NoModifier, KEY_B + 8u, 0, 0);
        QApplication::sendEvent(fFirst, &lateRelease);
        const AKeyCodeList stored{56, 56};
        fWindow->SetKeyStrokes(&stored);  // the delegate is not told
        for (auto [key, code] : {std::pair{Qt::Key_A, KEY_A}, {Qt::Key_Tab, KEY_TAB}, {Qt::Key_Escape, KEY_ESC},
                                 {Qt::Key_Return, KEY_ENTER}, {Qt::Key_Space, KEY_SPACE}})
            Type(key, code);
        QCOMPARE(fWindow->GetKeyStrokes(), (AKeyCodeList{56, 0, 48, 53, 36, 49, 56}));
        QCOMPARE(QApplication::focusWidget(), fFirst);
        QVERIFY(fWindow->isVisible());
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(fShortcuts, 0);
        QCOMPARE(fReceived.size(), 5u);
        Type(Qt::Key_Backspace, KEY_BACKSPACE);
        fWindow->ToggleVirtualKey(59, true);
        QCOMPARE(fReceived.size(), 7u);
        QCOMPARE(fReceived[5], (AKeyCodeList{0, 48, 53, 36, 49}));
        QCOMPARE(fReceived[6], (AKeyCodeList{59, 0, 48, 53, 36, 49, 59}));
        // Keyboard modifiers, keys without a stored code and repeats of a
        // held key are not recorded, and the delegate is not told.
        for (auto [key, code] : {std::pair{Qt::Key_Shift, KEY_LEFTSHIFT}, {Qt::Key_Control, KEY_RIGHTCTRL},
                                 {Qt::Key_Meta, KEY_LEFTMETA}, {Qt::Key_F24, KEY_F24}, {Qt::Key_unknown, 0xFFF0}})
            Type(key, static_cast<uint16_t>(code));
        Type(Qt::Key_B, KEY_B, true);
        QCOMPARE(fReceived.size(), 7u);
    }

    void CaptureOffLeavesKeysToTheDialog()
    {
        fWindow->EnableKeyEvents(true);
        fWindow->EnableKeyEvents(false);
        fWindow->ToggleVirtualKey(56, true);
        Type(Qt::Key_A, KEY_A);
        QCOMPARE(fShortcuts, 1);
        Type(Qt::Key_Tab, KEY_TAB);
        QCOMPARE(QApplication::focusWidget(), fSecond);
        Type(Qt::Key_Escape, KEY_ESC);
        QVERIFY(!fWindow->isVisible());
        QCOMPARE(fWindow->result(), int(QDialog::Rejected));
        QVERIFY(fWindow->GetKeyStrokes().empty());
        QVERIFY(fReceived.empty());
    }

private:
    std::vector<AKeyCodeList> fReceived;
    std::unique_ptr<AKeyStrokeWindow> fWindow;
    QPushButton* fFirst = nullptr;
    QPushButton* fSecond = nullptr;
    int fShortcuts = 0;
};

QTEST_MAIN(AKeyStrokeWindowTest)
#include "AKeyStrokeWindowTest.moc"
