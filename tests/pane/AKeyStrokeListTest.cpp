// The key-stroke list's editing and its names, in a US and a German layout
// (where Y and Z trade places), row by row from pane/key-strokes.txt; where
// the user's layout comes from when there is no X server to ask; and capture
// on a real AKeyStrokeWindow: key events as the platform sends them,
// carrying native scan codes (evdev code + 8), to the window's focus widget.
#include "pane/AXkbKeyLayout.h"
#include "tests/pane/APaneTestSupport.h"

#include <linux/input-event-codes.h>

static AKeyCodeList Codes(const QString& text)
{
    AKeyCodeList codes;
    for (const QString& code : text.split(u' ', Qt::SkipEmptyParts))
        codes.push_back(code.toUShort());
    return codes;
}

// Pressing and releasing one key (or only one of them) as QTest does, but
// with the scan code.
static void Type(Qt::Key key, uint16_t evdevCode, bool autoRepeat = false,
                 std::initializer_list<QEvent::Type> types = {QEvent::KeyPress, QEvent::KeyRelease})
{
    QWidget* target = QApplication::focusWidget();
    QVERIFY(target);
    for (QEvent::Type type : types) {
        QKeyEvent event(type, key, Qt::NoModifier, evdevCode + 8u, 0, 0, {}, autoRepeat);
        QApplication::sendEvent(target, &event);
    }
}

class AKeyStrokeListTest : public QObject, public AKeyStrokeDelegate {
    Q_OBJECT

    void SetKeyStrokes(const AKeyCodeList& keyStrokes) override { fReceived.push_back(keyStrokes); }
    std::vector<AKeyCodeList> fReceived;

private slots:
    void EachRowOfTheFixture_data() { AddFixtureRows("pane/key-strokes.txt"); }
    void EachRowOfTheFixture()
    {
        QFETCH(QString, given);
        const QStringList words = given.split(u' ');
        QString result;
        if (words[0] == u"layout") {
            words[1] == u"-" ? qunsetenv("XKB_DEFAULT_LAYOUT") : qputenv("XKB_DEFAULT_LAYOUT", words[1].toLatin1());
            const AXkbLayoutNames names = ConfiguredLayoutNames(FixturePath("pane/" + words[2].toStdString()).string());
            for (const std::string& name : {names.fRules, names.fModel, names.fLayout, names.fVariant})
                result += QString::fromStdString(name) + u',';
            result += QString::fromStdString(names.fOptions);
        } else if (words[0] != u"edit") {
            const bool user = words[1].startsWith(u"user:");
            const QString layoutName = words[1].section(u':', -1);
            qputenv("XKB_DEFAULT_LAYOUT", layoutName.toLatin1());
            const auto layout = AXkbKeyLayout::FromNames({"", "", layoutName.toStdString(), "", ""});
            QVERIFY(layout);
            const AKeyCodeList list = Codes(given.section(u' ', 2));
            const AKeyCodeList* codes = list.empty() ? nullptr : &list;
            if (words[0] == u"name")
                result = user ? GetKeyString(words[2].toUShort(), words[3] == u"open")
                              : GetKeyString(words[2].toUShort(), words[3] == u"open", *layout);
            else
                result = user ? FormatKeyStrings(codes) : FormatKeyStrings(codes, *layout);
        } else {
            AKeyStrokeList list;
            list.ToggleVirtualKey(55, true);
            const AKeyCodeList start = Codes(given.section(u' ', 1).section(u'/', 0, 0));
            list.SetKeyStrokes(start.empty() ? nullptr : &start);
            for (const QString& step : given.section(u'/', 1).split(u' ', Qt::SkipEmptyParts)) {
                if (step[0] == u'+' || step[0] == u'-')
                    list.ToggleVirtualKey(step.mid(1).toUShort(), step[0] == u'+');
                else
                    list.KeyUp(step == u"del" ? kDeleteKeyCode : step.toUShort());
            }
            for (const uint16_t code : list.GetKeyStrokes())
                result += QString::number(code) + u' ';
            result += u"; "_qs + QString::number(list.GetNumberOfVirtualKeys());
        }
        QTEST(result, "expected");
    }

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
        Type(Qt::Key_B, KEY_B, false, {QEvent::KeyPress});
        window.EnableKeyEvents(true);
        Type(Qt::Key_B, KEY_B, false, {QEvent::KeyRelease});
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
        QCOMPARE(std::vector(fReceived.begin() + 5, fReceived.end()), (std::vector<AKeyCodeList>{{0, 48, 53, 36, 49}, {59, 0, 48, 53, 36, 49, 59}}));
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

QTEST_MAIN(AKeyStrokeListTest)
#include "AKeyStrokeListTest.moc"
