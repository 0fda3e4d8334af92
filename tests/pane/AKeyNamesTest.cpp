// Key names in a US and a German layout (where Y and Z trade places), and
// where the user's layout comes from when there is no X server to ask.
#include "pane/AKeyStrokeWindow.h"
#include "pane/AXkbKeyLayout.h"

#include <QTemporaryDir>
#include <QtTest>

static std::unique_ptr<AXkbKeyLayout> Layout(const std::string& layout)
{
    return AXkbKeyLayout::FromNames({"", "", layout, "", ""});
}

class AKeyNamesTest : public QObject {
    Q_OBJECT

private slots:
    void KeyStrings_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("open");
        QTest::addColumn<QString>("name");
        QTest::newRow("a right-hand modifier closes like its twin") << "us" << 60 << false << "</Shift>";
        QTest::newRow("Delete has a fixed name") << "us" << 51 << true << "Bck";
        QTest::newRow("US: the Z key types z") << "us" << 6 << true << "z";
        QTest::newRow("German: the Z key types y") << "de" << 6 << true << "y";
        QTest::newRow("German: the Y key types z") << "de" << 16 << true << "z";
        QTest::newRow("German: a letter beyond ASCII") << "de" << 41 << true << QString::fromUtf8("ö");
        QTest::newRow("German: a dead key shows its accent") << "de" << 50 << true << "^";
        QTest::newRow("the keypad types digits") << "de" << 83 << true << "1";
        QTest::newRow("a key that types nothing has no name") << "us" << 72 << true << "";
        QTest::newRow("a code that names no key has no name") << "us" << 52 << true << "";
    }

    void KeyStrings()
    {
        QFETCH(QString, layout);
        QFETCH(int, code);
        QFETCH(bool, open);
        const auto keyLayout = Layout(layout.toStdString());
        QVERIFY(keyLayout);
        QTEST(GetKeyString(static_cast<uint16_t>(code), open, *keyLayout), "name");
    }

    void Format_data()
    {
        QTest::addColumn<AKeyCodeList>("list");
        QTest::addColumn<QString>("text");
        QTest::newRow("modifiers open, then close in mirror order") << AKeyCodeList{59, 56, 0, 56, 59} << "<Ctrl> <Shift> a </Shift> </Ctrl>";
        QTest::newRow("one entry has no trailing blank") << AKeyCodeList{0} << "a";
        QTest::newRow("a third occurrence opens again") << AKeyCodeList{56, 56, 56} << "<Shift> </Shift> <Shift>";
        QTest::newRow("a modifier held once shows only its opening") << AKeyCodeList{56, 0} << "<Shift> a";
        QTest::newRow("right-hand modifiers always open") << AKeyCodeList{60, 60} << "<Shift> <Shift>";
        QTest::newRow("an empty list is empty text") << AKeyCodeList{} << "";
    }

    void Format()
    {
        QFETCH(AKeyCodeList, list);
        const auto us = Layout("us");
        QTEST(FormatKeyStrings(&list, *us), "text");
        QCOMPARE(FormatKeyStrings(nullptr, *us), QString());
    }

    void ConfiguredLayout()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("keyboard"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("# KEYBOARD CONFIGURATION FILE\nXKBMODEL=\"pc105\"\n  XKBLAYOUT='de'\nXKBVARIANT=nodeadkeys\n"
                   "XKBOPTIONS=\"\"\nBACKSPACE=\"guess\"\n") > 0 && file.flush());
        qunsetenv("XKB_DEFAULT_LAYOUT");
        QCOMPARE(ConfiguredLayoutNames(path.toStdString()), (AXkbLayoutNames{"", "pc105", "de", "nodeadkeys", ""}));
        QCOMPARE(ConfiguredLayoutNames(path.toStdString() + "-none").fLayout, "us");
        qputenv("XKB_DEFAULT_LAYOUT", "us");
        QCOMPARE(ConfiguredLayoutNames(path.toStdString()).fLayout, "us");  // the environment comes first
        // With no X server here the user's layout follows the environment.
        qputenv("XKB_DEFAULT_LAYOUT", "de");
        QCOMPARE(GetKeyString(6, true), QStringLiteral("y"));
        qputenv("XKB_DEFAULT_LAYOUT", "us");
        const AKeyCodeList list{56, 6, 56};
        QCOMPARE(FormatKeyStrings(&list), QStringLiteral("<Shift> z </Shift>"));
    }
};

QTEST_MAIN(AKeyNamesTest)
#include "AKeyNamesTest.moc"
