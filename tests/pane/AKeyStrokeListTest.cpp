// The key-stroke list's editing rules: each row takes steps from a stored list
// (a key released by its code, "del" the Delete key, "+56"/"-56" a toggle).
#include "pane/AKeyStrokeList.h"

#include <QtTest>

class AKeyStrokeListTest : public QObject {
    Q_OBJECT

private slots:
    void Edits_data()
    {
        QTest::addColumn<AKeyCodeList>("start");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<AKeyCodeList>("list");
        QTest::addColumn<int>("modifiers");
        using L = AKeyCodeList;
        QTest::newRow("keys are kept in the order typed, Delete removes the last") << L{} << "0 11 del" << L{0} << 0;
        QTest::newRow("a modifier switched on surrounds every key typed so far") << L{} << "0 11 +56" << L{56, 0, 11, 56} << 1;
        QTest::newRow("a key typed goes in just before the closing modifiers") << L{} << "0 11 +56 8" << L{56, 0, 11, 8, 56} << 1;
        QTest::newRow("the modifier switched on last is the outermost") << L{} << "+56 +59" << L{59, 56, 56, 59} << 2;
        QTest::newRow("Delete removes the outermost pair first, keys stay") << L{} << "+56 +59 0 del" << L{56, 0, 56} << 1;
        QTest::newRow("Delete removes keys once no modifier is left") << L{} << "+56 0 del del" << L{} << 0;
        QTest::newRow("switching a modifier off removes both its entries") << L{} << "+56 +59 0 -56" << L{59, 0, 59} << 1;
        QTest::newRow("Delete on an empty list removes nothing") << L{} << "del" << L{} << 0;
        QTest::newRow("a modifier held once in a stored list counts as on") << L{56, 0} << "" << L{56, 0} << 1;
        QTest::newRow("a modifier counts once however often it occurs") << L{57, 56, 56, 0, 56, 57, 59} << "" << L{57, 56, 56, 0, 56, 57, 59} << 3;
        QTest::newRow("the right-hand modifiers are not counted") << L{60, 0, 60} << "8" << L{60, 0, 60, 8} << 0;
        QTest::newRow("switching on a modifier that is on changes nothing") << L{} << "+56 +56 0" << L{56, 0, 56} << 1;
        QTest::newRow("switching off a modifier that is off changes nothing") << L{} << "0 -56 8" << L{0, 8} << 0;
        QTest::newRow("a key never lands outside the list") << L{} << "+0 +1 del del del 5" << L{5, 1} << 2;
    }

    void Edits()
    {
        QFETCH(AKeyCodeList, start);
        QFETCH(QString, steps);
        AKeyStrokeList list;
        list.ToggleVirtualKey(55, true);  // replacing the list recounts from nothing
        list.SetKeyStrokes(start.empty() ? nullptr : &start);
        for (const QString& step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (step[0] == QLatin1Char('+') || step[0] == QLatin1Char('-'))
                list.ToggleVirtualKey(step.mid(1).toUShort(), step[0] == QLatin1Char('+'));
            else
                list.KeyUp(step == QLatin1String("del") ? kDeleteKeyCode : step.toUShort());
        }
        QTEST(list.GetKeyStrokes(), "list");
        QTEST(static_cast<int>(list.GetNumberOfVirtualKeys()), "modifiers");
    }
};

QTEST_APPLESS_MAIN(AKeyStrokeListTest)
#include "AKeyStrokeListTest.moc"
