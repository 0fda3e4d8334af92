// The key-stroke list's editing rules, each row a sequence of steps on a list
// that starts as given: a number is a key released, "del" the Delete key,
// "+56" / "-56" a toggle switched on / off.
#include "pane/AKeyStrokeList.h"

#include <QStringList>
#include <QtTest>

namespace {

AKeyCodeList ListOf(const QString& stored)
{
    AKeyCodeList list;
    for (const QString& piece : stored.split(QLatin1Char('|'), Qt::SkipEmptyParts))
        list.push_back(static_cast<uint16_t>(piece.toUInt()));
    return list;
}

QString StoredForm(const AKeyCodeList& list)
{
    QStringList pieces;
    for (uint16_t code : list)
        pieces.append(QString::number(code));
    return pieces.join(QLatin1Char('|'));
}

} // namespace

class AKeyStrokeListTest : public QObject {
    Q_OBJECT

private slots:
    void Edits_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("keys are kept in the order typed, Delete removes the last") << "" << "0 11 del" << "0" << 0;
        QTest::newRow("a modifier switched on surrounds every key typed so far") << "" << "0 11 +56" << "56|0|11|56" << 1;
        QTest::newRow("a key typed goes in just before the closing modifiers") << "" << "0 11 +56 8" << "56|0|11|8|56" << 1;
        QTest::newRow("the modifier switched on last is the outermost") << "" << "+56 +59" << "59|56|56|59" << 2;
        QTest::newRow("Delete removes the outermost pair first, keys stay") << "" << "+56 +59 0 del" << "56|0|56" << 1;
        QTest::newRow("Delete removes keys once no modifier is left") << "" << "+56 0 del del" << "" << 0;
        QTest::newRow("switching a modifier off removes both its entries") << "" << "+56 +59 0 -56" << "59|0|59" << 1;
        QTest::newRow("Delete on an empty list removes nothing") << "" << "del" << "" << 0;
        QTest::newRow("a modifier held once in a stored list counts as on") << "56|0" << "" << "56|0" << 1;
        QTest::newRow("a modifier counts once however often it occurs") << "57|56|56|0|56|57|59" << "" << "57|56|56|0|56|57|59" << 3;
        QTest::newRow("the right-hand modifiers are not counted") << "60|0|60" << "8" << "60|0|60|8" << 0;
        QTest::newRow("replacing the list recounts from nothing") << "59|56|56|59" << "" << "59|56|56|59" << 2;
        QTest::newRow("switching on a modifier that is on changes nothing") << "" << "+56 +56 0" << "56|0|56" << 1;
        QTest::newRow("switching off a modifier that is off changes nothing") << "" << "0 -56 8" << "0|8" << 0;
        QTest::newRow("a key never lands outside the list") << "" << "+0 +1 del del del 5" << "5|1" << 2;
    }

    void Edits()
    {
        QFETCH(QString, start);
        QFETCH(QString, steps);
        AKeyStrokeList list;
        list.KeyUp(7);  // replaced below: SetKeyStrokes drops what was there
        const AKeyCodeList startList = ListOf(start);
        list.SetKeyStrokes(start.isEmpty() ? nullptr : &startList);
        for (const QString& step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (step == QLatin1String("del"))
                list.KeyUp(kDeleteKeyCode);
            else if (step.startsWith(QLatin1Char('+')) || step.startsWith(QLatin1Char('-')))
                list.ToggleVirtualKey(static_cast<uint16_t>(step.mid(1).toUInt()), step[0] == QLatin1Char('+'));
            else
                list.KeyUp(static_cast<uint16_t>(step.toUInt()));
        }
        QTEST(StoredForm(list.GetKeyStrokes()), "list");
        QTEST(static_cast<int>(list.GetNumberOfVirtualKeys()), "modifiers");
    }
};

QTEST_APPLESS_MAIN(AKeyStrokeListTest)
#include "AKeyStrokeListTest.moc"
