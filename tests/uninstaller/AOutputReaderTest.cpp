// The reading of "uninstall.sh"'s output: the rows of its fixture (whose header says how they are read).
#include "tests/support/ATestPaths.h"
#include "uninstaller/AOutputReader.h"

#include <QtTest>

class AOutputReaderTest : public QObject {
    Q_OBJECT

private slots:
    void readsLinesAsTheProtocolSays_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("shown");
        for (const AFixtureRow& row : ReadFixtureRows("uninstaller/output-reading.txt"))
            QTest::newRow(row.fRule.c_str()) << QString::fromStdString(row.fGiven).replace(u"\\n"_qs, u"\n"_qs)
                                             << QString::fromStdString(row.fExpected).replace(u"\\n"_qs, u"\n"_qs);
    }

    void readsLinesAsTheProtocolSays()
    {
        QFETCH(QString, output);
        QFETCH(QString, shown);
        const std::string bytes = output.toStdString();
        for (size_t split = 0; split <= bytes.size(); ++split) {
            AOutputReader reader;
            QString text;
            for (const auto& lines : {reader.Read(std::string_view(bytes).substr(0, split)),
                                      reader.Read(std::string_view(bytes).substr(split)), reader.Finish()})
                for (const AOutputLine& line : lines)
                    text += line.fProgress ? u"[%1/%2]"_qs.arg(line.fProgress->fValue).arg(line.fProgress->fMaximum)
                                           : QString::fromStdString(line.fText);
            QVERIFY2(text == shown, qPrintable(u"split at byte %1: %2"_qs.arg(split).arg(text)));
        }
    }
};

QTEST_APPLESS_MAIN(AOutputReaderTest)
#include "AOutputReaderTest.moc"
