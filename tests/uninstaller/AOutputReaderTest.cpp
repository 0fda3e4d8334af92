// The reading of "uninstall.sh"'s output: progress lines and log lines as
// the output protocol has them, and the same lines whatever the reads'
// boundaries.
#include "uninstaller/AOutputReader.h"

#include <QtTest>

#include <cstdio>

namespace {

// The lines as one text: log lines as they are, progress as "[done/total]".
QString Text(const std::vector<AOutputLine>& lines)
{
    std::string text;
    for (const AOutputLine& line : lines) {
        if (!line.fProgress) {
            text += line.fText;
            continue;
        }
        char progress[64];
        std::snprintf(progress, sizeof progress, "[%g/%g]", line.fProgress->fValue, line.fProgress->fMaximum);
        text += progress;
    }
    return QString::fromStdString(text);
}

std::vector<AOutputLine> ReadWhole(AOutputReader& reader, std::string_view output)
{
    std::vector<AOutputLine> lines = reader.Read(output);
    for (AOutputLine& line : reader.Finish())
        lines.push_back(std::move(line));
    return lines;
}

} // namespace

class AOutputReaderTest : public QObject {
    Q_OBJECT

private slots:
    void readsLinesAsTheProtocolSays_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a progress line sets the bar and is not logged") << "PROGRESS:3/10\n" << "[3/10]";
        QTest::newRow("blanks before the numbers are skipped") << "PROGRESS: 2.5 / 4\n" << "[2.5/4]";
        QTest::newRow("text after a second colon is not read") << "PROGRESS:1/2:of files\n" << "[1/2]";
        QTest::newRow("a last line without a line feed is shown") << "one\ntwo" << "one\ntwo\n";
        QTest::newRow("a final line feed adds no empty line") << "one\n" << "one\n";
        QTest::newRow("an empty line in between is shown") << "one\n\ntwo\n" << "one\n\ntwo\n";
        QTest::newRow("a leading blank makes a log line") << " PROGRESS:1/2\n" << " PROGRESS:1/2\n";
        QTest::newRow("lower case makes a log line") << "progress:1/2\n" << "progress:1/2\n";
        QTest::newRow("a progress line without a total is dropped, reading goes on")
            << "PROGRESS:3\nnext\n" << "next\n";
        QTest::newRow("unreadable numbers are dropped") << "PROGRESS:x/y\nPROGRESS:1/\n" << "";
        QTest::newRow("a total not above zero is dropped") << "PROGRESS:1/0\nPROGRESS:1/-2\n" << "";
        QTest::newRow("no output shows nothing") << "" << "";
    }

    void readsLinesAsTheProtocolSays()
    {
        QFETCH(QString, output);
        QFETCH(QString, shown);
        AOutputReader reader;
        QCOMPARE(Text(ReadWhole(reader, output.toStdString())), shown);
    }

    void linesSplitBetweenReadsAreHandledWhole()
    {
        const std::string sample =
            "Stopping the agent \xe2\x9c\x93\nPROGRESS:1/3\nRemoving files\nPROGRESS: 2.5 / 3\nKept mapping.xml";
        AOutputReader whole;
        const QString expected = Text(ReadWhole(whole, sample));
        QCOMPARE(expected, u"Stopping the agent \u2713\n[1/3]Removing files\n[2.5/3]Kept mapping.xml\n"_qs);
        for (size_t split = 0; split <= sample.size(); ++split) {
            AOutputReader reader;
            std::vector<AOutputLine> lines = reader.Read(std::string_view(sample).substr(0, split));
            for (AOutputLine& line : ReadWhole(reader, std::string_view(sample).substr(split)))
                lines.push_back(std::move(line));
            QVERIFY2(Text(lines) == expected, qPrintable(u"split at byte %1"_qs.arg(split)));
        }
        AOutputReader byteByByte;
        std::vector<AOutputLine> lines;
        for (char byte : sample)
            for (AOutputLine& line : byteByByte.Read(std::string_view(&byte, 1)))
                lines.push_back(std::move(line));
        for (AOutputLine& line : byteByByte.Finish())
            lines.push_back(std::move(line));
        QCOMPARE(Text(lines), expected);
    }
};

QTEST_APPLESS_MAIN(AOutputReaderTest)
#include "AOutputReaderTest.moc"
