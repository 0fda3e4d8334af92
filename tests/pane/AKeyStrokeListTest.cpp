// The key-stroke list's editing and its names, in a US and a German layout
// (where Y and Z trade places), row by row from pane/key-strokes.txt; and
// where the user's layout comes from when there is no X server to ask.
#include "pane/AKeyStrokeWindow.h"
#include "pane/AXkbKeyLayout.h"
#include "tests/support/ATestPaths.h"

#include <QtTest>

static AKeyCodeList Codes(const QString& text)
{
    AKeyCodeList codes;
    for (const QString& code : text.split(u' ', Qt::SkipEmptyParts))
        codes.push_back(code.toUShort());
    return codes;
}

class AKeyStrokeListTest : public QObject {
    Q_OBJECT

private slots:
    void EachRowOfTheFixture_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("expected");
        for (const auto& [rule, given, expected] : ReadFixtureRows("pane/key-strokes.txt"))
            QTest::newRow((rule.substr(2) + " | " + given).c_str()) << QString::fromStdString(given) << QString::fromStdString(expected);
    }
    void EachRowOfTheFixture()
    {
        QFETCH(QString, given);
        const QStringList words = given.split(u' ');
        const auto layout = AXkbKeyLayout::FromNames({"", "", words[0] == u"name" ? words[1].toStdString() : "us", "", ""});
        QVERIFY(layout);
        QString result;
        if (words[0] == u"name") {
            result = GetKeyString(words[2].toUShort(), words[3] == u"open", *layout);
        } else if (words[0] == u"text") {
            const AKeyCodeList list = Codes(given.section(u' ', 1));
            result = FormatKeyStrings(&list, *layout);
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

    void ConfiguredLayout()
    {
        const std::string path = FixturePath("pane/keyboard.conf").string();
        qunsetenv("XKB_DEFAULT_LAYOUT");
        QCOMPARE(ConfiguredLayoutNames(path), (AXkbLayoutNames{"", "pc105", "de", "nodeadkeys", ""}));
        QCOMPARE(ConfiguredLayoutNames(path + "-none").fLayout, "us");
        qputenv("XKB_DEFAULT_LAYOUT", "us");
        QCOMPARE(ConfiguredLayoutNames(path).fLayout, "us");  // the environment comes first
        // With no X server here the user's layout follows the environment.
        qputenv("XKB_DEFAULT_LAYOUT", "de");
        QCOMPARE(GetKeyString(6, true), u"y"_qs);
        qputenv("XKB_DEFAULT_LAYOUT", "us");
        const AKeyCodeList list{56, 6, 56};
        QCOMPARE(FormatKeyStrings(&list), u"<Shift> z </Shift>"_qs);
        QCOMPARE(FormatKeyStrings(nullptr), QString());
    }
};

QTEST_MAIN(AKeyStrokeListTest)
#include "AKeyStrokeListTest.moc"
