// Capture on a real AKeyStrokeWindow: key events as the platform sends them,
// carrying native scan codes (evdev code + 8), to the window's focus widget.
#include "pane/AKeyStrokeWindow.h"

#include <QtTest>
#include <QtWidgets>

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
    std::vector<AKeyCodeList> fReceived;

private slots:
    void CaptureTakesEveryKeyBeforeFocusShortcutsAndDialogAndOffLeavesThemToIt()
    {
        AKeyStrokeWindow window;
        window.SetDelegate(this);
        auto* first = new QPushButton(&window);
        auto* second = new QPushButton(&window);
        int shortcuts = 0;
        connect(new QShortcut(QKeySequence(Qt::Key_A), &window), &QShortcut::activated, this, [&] { ++shortcuts; });
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        first->setFocus();
        QSignalSpy clicked(first, &QPushButton::clicked);
        // A key pressed before capture went on (its press acted on a control)
        // is not recorded when it is released.
        QKeyEvent earlyPress(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, KEY_B + 8u, 0, 0);
        QApplication::sendEvent(first, &earlyPress);
        window.EnableKeyEvents(true);
        QKeyEvent lateRelease(QEvent::KeyRelease, Qt::Key_B, Qt::NoModifier, KEY_B + 8u, 0, 0);
        QApplication::sendEvent(first, &lateRelease);
        const AKeyCodeList stored{56, 56};
        window.SetKeyStrokes(&stored);  // the delegate is not told
        for (auto [key, code] : {std::pair{Qt::Key_A, KEY_A}, {Qt::Key_Tab, KEY_TAB}, {Qt::Key_Escape, KEY_ESC},
                                 {Qt::Key_Return, KEY_ENTER}, {Qt::Key_Space, KEY_SPACE}})
            Type(key, code);
        QCOMPARE(window.GetKeyStrokes(), (AKeyCodeList{56, 0, 48, 53, 36, 49, 56}));
        QCOMPARE(QApplication::focusWidget(), first);
        QVERIFY(window.isVisible());
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(shortcuts, 0);
        QCOMPARE(fReceived.size(), 5u);
        Type(Qt::Key_Backspace, KEY_BACKSPACE);
        window.ToggleVirtualKey(59, true);
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

        // Capture off: the list stays, toggles do nothing, keys reach the dialog.
        window.EnableKeyEvents(false);
        window.ToggleVirtualKey(56, true);
        Type(Qt::Key_A, KEY_A);
        QCOMPARE(shortcuts, 1);
        Type(Qt::Key_Tab, KEY_TAB);
        QCOMPARE(QApplication::focusWidget(), second);
        Type(Qt::Key_Escape, KEY_ESC);
        QVERIFY(!window.isVisible());
        QCOMPARE(window.result(), int(QDialog::Rejected));
        QCOMPARE(window.GetKeyStrokes(), fReceived.back());
        QCOMPARE(fReceived.size(), 7u);
    }
};

QTEST_MAIN(AKeyStrokeWindowTest)
#include "AKeyStrokeWindowTest.moc"
