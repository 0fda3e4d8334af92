// The key-stroke list's editing and its names, in a US and a German layout
// (where Y and Z trade places), and where the user's layout comes from when
// there is no X server to ask, row by row from pane/key-strokes.txt; and
// capture on a real AKeyStrokeWindow, row by row from pane/capture.txt: key
// events as the platform sends them, carrying native scan codes (evdev code
// + 8), to the window's focus widget.
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

// The codes of a list as text, "none" for none.
static QString Text(const AKeyCodeList& codes)
{
    QStringList numbers;
    for (const uint16_t code : codes)
        numbers.append(QString::number(code));
    return codes.empty() ? u"none"_qs : numbers.join(u' ');
}

// The keys of pane/capture.txt: each with its evdev code.
const std::map<QString, std::pair<Qt::Key, uint16_t>> kKeys = {
    {u"A"_qs, {Qt::Key_A, KEY_A}}, {u"B"_qs, {Qt::Key_B, KEY_B}}, {u"Tab"_qs, {Qt::Key_Tab, KEY_TAB}}, {u"Esc"_qs, {Qt::Key_Escape, KEY_ESC}},
    {u"Return"_qs, {Qt::Key_Return, KEY_ENTER}}, {u"Space"_qs, {Qt::Key_Space, KEY_SPACE}}, {u"Backspace"_qs, {Qt::Key_Backspace, KEY_BACKSPACE}},
    {u"Shift"_qs, {Qt::Key_Shift, KEY_LEFTSHIFT}}, {u"RightCtrl"_qs, {Qt::Key_Control, KEY_RIGHTCTRL}}, {u"Meta"_qs, {Qt::Key_Meta, KEY_LEFTMETA}},
    {u"F24"_qs, {Qt::Key_F24, KEY_F24}}, {u"Unknown"_qs, {Qt::Key_unknown, 0xFFF0}}};

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
            result = Text(list.GetKeyStrokes()) + u" ; "_qs + QString::number(list.GetNumberOfVirtualKeys());
        }
        QTEST(result, "expected");
    }

    void CaptureCases_data() { AddFixtureRows("pane/capture.txt"); }
    void CaptureCases()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
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
        fReceived.clear();
        for (const QString& step : given.split(u", "_qs)) {
            const QStringList words = step.split(u' ');
            const AKeyCodeList codes = Codes(step.section(u' ', 1));
            if (words[0] == u"capture")
                window.EnableKeyEvents(words[1] == u"on");
            else if (words[0] == u"store")
                window.SetKeyStrokes(&codes);
            else if (words[0] == u"toggle")
                window.ToggleVirtualKey(codes.at(0), true);
            const bool keys = QStringList{u"press"_qs, u"release"_qs, u"type"_qs, u"repeat"_qs}.contains(words[0]);
            for (const QString& name : keys ? words.mid(1) : QStringList()) {
                QWidget* target = QApplication::focusWidget();
                QVERIFY2(target && kKeys.contains(name), qPrintable(step));
                for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
                    if (words[0] == (type == QEvent::KeyPress ? u"release" : u"press"))
                        continue;
                    // As the platform sends it, with the native scan code.
                    QKeyEvent event(type, kKeys.at(name).first, Qt::NoModifier, kKeys.at(name).second + 8u, 0, 0, {}, words[0] == u"repeat");
                    QApplication::sendEvent(target, &event);
                }
            }
        }
        const auto yes = [](bool holds) { return holds ? u"yes"_qs : u"no"_qs; };
        const std::map<QString, QString> facts = {
            {u"list"_qs, Text(window.GetKeyStrokes())}, {u"told"_qs, QString::number(fReceived.size())},
            {u"last told"_qs, fReceived.empty() ? u"none"_qs : Text(fReceived.back())},
            {u"focus"_qs, QApplication::focusWidget() == first ? u"first"_qs : QApplication::focusWidget() == second ? u"second"_qs : u"other"_qs},
            {u"shown"_qs, yes(window.isVisible())}, {u"clicked"_qs, QString::number(clicked.count())},
            {u"shortcuts"_qs, QString::number(shortcuts)}, {u"rejected"_qs, yes(window.result() == QDialog::Rejected)}};
        for (const QString& fact : expected.split(u"; "_qs))
            QCOMPARE(fact.section(u": "_qs, 0, 0) + u": "_qs + facts.at(fact.section(u": "_qs, 0, 0)), fact);
    }
};

QTEST_MAIN(AKeyStrokeListTest)
#include "AKeyStrokeListTest.moc"
