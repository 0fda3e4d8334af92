// Capture on a real AKeyStrokeWindow: key events as the platform sends them,
// carrying native scan codes (evdev code + 8), to the window's focus widget.
#include "pane/AKeyStrokeWindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>
#include <QtTest>

#include <linux/input-event-codes.h>

#include <memory>

namespace {

class ARecordingDelegate : public AKeyStrokeDelegate {
public:
    void SetKeyStrokes(const AKeyCodeList& keyStrokes) override { fReceived.push_back(keyStrokes); }
    std::vector<AKeyCodeList> fReceived;
};

// Pressing and releasing one key, as QTest does it, with the scan code.
void Type(Qt::Key key, uint16_t evdevCode, const QString& text = {})
{
    QWidget* target = QApplication::focusWidget();
    QVERIFY(target);
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, key, Qt::NoModifier, evdevCode + 8u, 0, 0, text);
        QApplication::sendEvent(target, &event);
    }
}

} // namespace

class AKeyStrokeWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        fWindow = std::make_unique<AKeyStrokeWindow>();
        fWindow->SetDelegate(&fDelegate);
        fDelegate.fReceived.clear();
        fFirst = new QPushButton(QStringLiteral("First"), fWindow.get());
        fSecond = new QPushButton(QStringLiteral("Second"), fWindow.get());
        fSecond->move(0, 40);
        fFirst->setDefault(true);
        fShortcutCount = 0;
        connect(new QShortcut(QKeySequence(Qt::Key_A), fWindow.get()), &QShortcut::activated, this,
                [this] { ++fShortcutCount; });
        fWindow->show();
        fWindow->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(fWindow.get()));
        fFirst->setFocus();
    }

    void cleanup() { fWindow.reset(); }

    void CaptureTakesEveryKeyBeforeFocusShortcutsAndDialog()
    {
        QSignalSpy clicked(fFirst, &QPushButton::clicked);
        fWindow->EnableKeyEvents(true);
        Type(Qt::Key_A, KEY_A, QStringLiteral("a"));
        Type(Qt::Key_Tab, KEY_TAB, QStringLiteral("\t"));
        Type(Qt::Key_Escape, KEY_ESC, QStringLiteral("\x1b"));
        Type(Qt::Key_Return, KEY_ENTER, QStringLiteral("\r"));
        Type(Qt::Key_Space, KEY_SPACE, QStringLiteral(" "));
        QCOMPARE(fWindow->GetKeyStrokes(), (AKeyCodeList{0, 48, 53, 36, 49}));
        QCOMPARE(QApplication::focusWidget(), fFirst);
        QVERIFY(fWindow->isVisible());
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(fShortcutCount, 0);
        QCOMPARE(fDelegate.fReceived.size(), 5u);

        Type(Qt::Key_Backspace, KEY_BACKSPACE);
        QCOMPARE(fWindow->GetKeyStrokes(), (AKeyCodeList{0, 48, 53, 36}));
        QCOMPARE(fDelegate.fReceived.back(), fWindow->GetKeyStrokes());
    }

    void KeysWithoutAStoredCodeAreNotRecorded()
    {
        fWindow->EnableKeyEvents(true);
        Type(Qt::Key_Shift, KEY_LEFTSHIFT);
        Type(Qt::Key_Control, KEY_RIGHTCTRL);
        Type(Qt::Key_Meta, KEY_LEFTMETA);
        Type(Qt::Key_F24, KEY_F24);
        Type(Qt::Key_unknown, 0xFFFF);
        QKeyEvent repeated(QEvent::KeyRelease, Qt::Key_B, Qt::NoModifier, KEY_B + 8u, 0, 0, {}, true);
        QApplication::sendEvent(fFirst, &repeated);
        QVERIFY(fWindow->GetKeyStrokes().empty());
        QVERIFY(fDelegate.fReceived.empty());
    }

    void TogglesTellTheDelegateButReplacingDoesNot()
    {
        fWindow->EnableKeyEvents(true);
        const AKeyCodeList stored{56, 0, 56};
        fWindow->SetKeyStrokes(&stored);
        QVERIFY(fDelegate.fReceived.empty());
        fWindow->ToggleVirtualKey(59, true);
        QCOMPARE(fDelegate.fReceived, (std::vector<AKeyCodeList>{{59, 56, 0, 56, 59}}));
        QVERIFY(fWindow->VirtualKeyExists(59));
        fWindow->SetKeyStrokes(nullptr);
        QVERIFY(fWindow->GetKeyStrokes().empty());
    }

    void CaptureOffLeavesKeysToTheDialog()
    {
        fWindow->EnableKeyEvents(true);
        fWindow->EnableKeyEvents(false);
        QVERIFY(!fWindow->AreKeyEventsEnabled());
        fWindow->ToggleVirtualKey(56, true);
        Type(Qt::Key_A, KEY_A, QStringLiteral("a"));
        QCOMPARE(fShortcutCount, 1);
        Type(Qt::Key_Tab, KEY_TAB, QStringLiteral("\t"));
        QCOMPARE(QApplication::focusWidget(), fSecond);
        Type(Qt::Key_Escape, KEY_ESC, QStringLiteral("\x1b"));
        QVERIFY(!fWindow->isVisible());
        QCOMPARE(fWindow->result(), int(QDialog::Rejected));
        QVERIFY(fWindow->GetKeyStrokes().empty());
        QVERIFY(fDelegate.fReceived.empty());
    }

private:
    ARecordingDelegate fDelegate;
    std::unique_ptr<AKeyStrokeWindow> fWindow;
    QPushButton* fFirst = nullptr;
    QPushButton* fSecond = nullptr;
    int fShortcutCount = 0;
};

QTEST_MAIN(AKeyStrokeWindowTest)
#include "AKeyStrokeWindowTest.moc"
