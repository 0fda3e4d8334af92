// The reading of "uninstall.sh"'s output: progress lines and log lines as
// the output protocol has them, whatever the reads' boundaries.
#include "uninstaller/AOutputReader.h"

#include <QtTest>

namespace {

// The lines as one text: log lines as they are, progress as "[done/total]".
QString Text(const std::vector<AOutputLine>& lines)
{
    QString text;
    for (const AOutputLine& line : lines)
        text += line.fProgress ? u"[%1/%2]"_qs.arg(line.fProgress->fValue).arg(line.fProgress->fMaximum)
                               : QString::fromStdString(line.fText);
    return text;
}

// Reads the output in two reads split at `split`, then its end.
QString ReadSplit(std::string_view output, size_t split)
{
    AOutputReader reader;
    std::vector<AOutputLine> lines = reader.Read(output.substr(0, split));
    for (std::vector<AOutputLine> more : {reader.Read(output.substr(split)), reader.Finish()})
        lines.insert(lines.end(), more.begin(), more.end());
    return Text(lines);
}

} // namespace

class AOutputReaderTest : public QObject {
    Q_OBJECT

private slots:
    void readsLinesAsTheProtocolSays_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a sample output, in UTF-8")
            << u"Stopping the agent \u2713\nPROGRESS:1/3\nRemoving files\nPROGRESS: 2.5 / 3\nKept mapping.xml"_qs
            << u"Stopping the agent \u2713\n[1/3]Removing files\n[2.5/3]Kept mapping.xml\n"_qs;
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
    }

    // Every row is read in two reads split at each byte boundary in turn:
    // a line split between reads is handled whole.
    void readsLinesAsTheProtocolSays()
    {
        QFETCH(QString, output);
        QFETCH(QString, shown);
        const std::string bytes = output.toStdString();
        for (size_t split = 0; split <= bytes.size(); ++split)
            QVERIFY2(ReadSplit(bytes, split) == shown, qPrintable(u"split at byte %1"_qs.arg(split)));
    }
};

QTEST_APPLESS_MAIN(AOutputReaderTest)
#include "AOutputReaderTest.moc"
