// The update check and download against a real HTTP server on loopback.
#include "pane/AAutoUpdateDownload.h"
#include "pane/AAutoUpdateSystemVersion.h"
#include "pane/AMainView.h"
#include "tests/pane/APaneTestSupport.h"
#include "tests/support/ATestPaths.h"

#include <QtNetwork>
#include <QtTest>

using namespace std::chrono_literals;

namespace {

const QString kOffer = u"A newer version of the Nuvexa Device Conntroller is available. Do you wish to download?"_qs;
const QString kFailed = u"Error downloading updated Nuvexa Device Controller image."_qs;
const QByteArray kImage(3000, 'i');

QByteArray Response(const QByteArray& body, qint64 length = -1, const QByteArray& statusAndHeaders = "200 OK")
{
    return "HTTP/1.1 " + statusAndHeaders + "\r\nContent-Length: " + QByteArray::number(length < 0 ? body.size() : length)
        + "\r\nConnection: close\r\n\r\n" + body;
}
QByteArray Redirect(const QByteArray& to) { return Response({}, 0, "302 Found\r\nLocation: " + to); }

// The application on a private session and home folder, with an HTTP server.
struct AUpdateFixture : APaneFixture {
    AUpdateFixture()
    {
        fServer.listen(QHostAddress::LocalHost);
        // Answers each GET with the response set for its path (404 when none)
        // and closes; an empty one never comes, a 1,000,000-byte one stalls.
        QObject::connect(&fServer, &QTcpServer::newConnection, &fServer, [this] {
            QTcpSocket* socket = fServer.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request = QByteArray()]() mutable {
                if (!(request += socket->readAll()).contains("\r\n\r\n"))
                    return;
                fRequests.append(QString::fromLatin1(request.split(' ').value(1)));
                const QByteArray response = fResponses.value(fRequests.last().section(u'?', 0, 0),
                                                             Response("<u><latest_build>99</latest_build></u>", -1, "404 Not Found"));
                socket->write(response);
                if (!response.isEmpty() && !response.contains("Length: 1000000\r"))
                    socket->disconnectFromHost();
            });
        });
    }
    QString Base() const { return u"http://127.0.0.1:"_qs + QString::number(fServer.serverPort()); }
    // The check asks `path` on the server as kernel 6.1.0; null: no such key.
    void Check(const QString& version, const QString& path, std::chrono::milliseconds timeout = 10s)
    {
        const std::string file = fSession.Root() / "settings.info";
        WriteWholeFile(file, "# comment\nCFBundleVersion=2.5 (build 7)\n" + (version.isNull() ? "" : "NuvexaVersion=" + version.toStdString())
                                 + "\nNuvexaAutoUpdateUrl=" + (path.isNull() ? "" : (Base() + path).toStdString()));
        Start(QString::fromStdString(file), AAutoUpdateOptions{PackKernelVersion("6.1.0-18-amd64"), timeout});
    }
    QString fHome = QString::fromStdString(fSession.MakeFolder("home").string());
    AScopedEnvironment fHomeVariable{"HOME", fHome.toStdString()};
    QString fDownloads = QString::fromStdString(fSession.MakeFolder("downloads").string());
    QTcpServer fServer;
    QHash<QString, QByteArray> fResponses;
    QStringList fRequests;  // the path and query of each
};

} // namespace

class AAutoUpdateTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fPane = std::make_unique<AUpdateFixture>(); }
    void cleanup() { fPane.reset(); }

    void AnswersAndOutcomes_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("outcome");
        for (const auto& [rule, given, expected] : ReadFixtureRows("pane/update-answers.txt"))
            QTest::newRow(rule.c_str() + 2) << QString::fromStdString(given) << QString::fromStdString(expected);
        QTest::newRow("answer over 1 MiB") << u"0 /update <u><latest_build>57</latest_build>"_qs + QString(1 << 20, u' ') + u"</u>"_qs
                                           << QString();
    }
    void AnswersAndOutcomes()
    {
        QFETCH(QString, given);
        QFETCH(QString, outcome);
        const QStringList check = given.section(u" | "_qs, 0, 0).split(u' '), user = given.section(u" | "_qs, 1).split(u' ');
        const QString path = check[1] == u"-" ? QString() : check[1];
        const QString target = QString::fromStdString(fPane->fSession.Root()) + u"/"_qs + user.value(1);
        const std::string existing = (fPane->fDownloads + u"/Nuvexa.dmg"_qs).toStdString();
        WriteWholeFile(existing, "old");
        fPane->fResponses = {{u"/update"_qs, Response(check.mid(2).join(u' ').replace(u"{files}"_qs, fPane->Base() + u"/files"_qs).toUtf8())},
                             {u"/moved"_qs, Redirect("/update")}, {u"/silent"_qs, {}},
                             {u"/files/image"_qs, Response(kImage)}, {u"/files/moved"_qs, Redirect("/files/image")},
                             {u"/files/to-file"_qs, Redirect("file:///etc/hostname")},
                             {u"/files/broken"_qs, Response(kImage, 2 * kImage.size())},
                             {u"/files/slow"_qs, Response(QByteArray(1000, 's'), 1'000'000)}};
        fPane->fDialogs.fYes = user[0] == u"yes";
        fPane->fDialogs.fFileAnswers = {target};
        fPane->Check(check[0] == u"-" ? QString() : check[0], path, path == u"/silent" ? 100ms : 10s);
        QCOMPARE(fPane->fRequests.value(0), path.isNull() ? QString() : path + u"?os=60100"_qs);
        // The main view is set up after the check, whatever it found.
        fPane->fWindow->show();
        QCOMPARE(fPane->fWindow->View().fVersion->text(), u"2.5 (build 7)"_qs);
        if (user.value(2) == u"cancel") {
            AAutoUpdateDownload* download = fPane->fController->GetAutoUpdate()->GetDownload();
            QVERIFY(download != nullptr && download->GetProgressDialog()->isVisible());
            QTRY_VERIFY(download->GetProgressDialog()->labelText().contains(
                QLocale().formattedDataSize(1000) + u" of "_qs + QLocale().formattedDataSize(1'000'000)));
            QTest::mouseClick(download->GetProgressDialog()->findChild<QPushButton*>(), Qt::LeftButton);
            QCOMPARE(fPane->fController->GetAutoUpdate()->GetDownload(), nullptr);
            QTest::qWait(50);
        }
        QStringList expected;  // a failure's reason follows "Error: "
        for (const QString& text : outcome.split(u' ', Qt::SkipEmptyParts))
            expected << (text == u"offer"  ? kOffer
                         : text == u"done" ? u"Successfully downloaded updated Nuvexa Device Controller image to "_qs + target + u"."_qs
                         : text == u"short" ? kFailed : text == u"failed" ? kFailed + u"\r\nError: "_qs : QString());
        expected.removeAll(QString());
        QTRY_COMPARE(fPane->fDialogs.fShown.size(), expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const bool reason = expected[i].endsWith(u"Error: ");
            QCOMPARE(reason ? fPane->fDialogs.fShown[i].left(expected[i].size()) : fPane->fDialogs.fShown[i], expected[i]);
            QVERIFY(!reason || fPane->fDialogs.fShown[i].size() > expected[i].size());
        }
        // No temporary file is left beside the destination.
        QCOMPARE(QDir(fPane->fDownloads).entryList(QDir::Files | QDir::Hidden), QStringList{u"Nuvexa.dmg"_qs});
        QCOMPARE(ReadWholeFile(existing), outcome.endsWith(u"image") ? kImage.toStdString() : "old");
    }

    void SaveDialogOnTheDesktopElseHomeAndNoDownloadWithoutAPath()
    {
        // The blanks around the address are layout.
        fPane->fResponses[u"/update"_qs] = Response("<u> <latest_build>57</latest_build>\n <download_url>\n  " + fPane->Base().toUtf8()
                                                    + "/files/Nuvexa-58.dmg?from=answer\n </download_url>\n</u>\n");
        fPane->fDialogs.fYes = true;
        fPane->Check(u"56"_qs, u"/update"_qs);  // no Desktop folder, Cancel
        QVERIFY(QDir(fPane->fHome).mkdir(u"Desktop"_qs));
        fPane->Check(u"56"_qs, u"/update"_qs);
        fPane->fDialogs.fYes = false;
        fPane->fDialogs.fFileAnswers = {fPane->fDownloads + u"/Nuvexa.dmg"_qs};
        fPane->Check(u"56"_qs, u"/update"_qs);  // the offer declined
        QCOMPARE(fPane->fDialogs.fSuggestedPaths,
                 (QStringList{fPane->fHome + u"/Nuvexa-58.dmg"_qs, fPane->fHome + u"/Desktop/Nuvexa-58.dmg"_qs}));
        QCOMPARE(fPane->fController->GetAutoUpdate(), nullptr);
        QTest::qWait(50);
        QCOMPARE(fPane->fRequests.size(), 3);
        QCOMPARE(fPane->fDialogs.fShown, (QStringList{kOffer, kOffer, kOffer}));
    }

    void NoVersionWithoutTheInformationFileWhichTheBuildWrites()
    {
        fPane->Start(QString::fromStdString(fPane->fSession.Root() / "absent.info"));
        QCOMPARE(fPane->fWindow->View().fVersion->text(), QString());
        const std::string text = ReadWholeFile(BuildDataFolder() / "settings.info");
        for (const char* key : {"\nCFBundleVersion=", "\nNuvexaVersion=", "\nNuvexaAutoUpdateUrl=\n"})
            QVERIFY2(text.find(key) != std::string::npos, key);
    }

private:
    std::unique_ptr<AUpdateFixture> fPane;
};

QTEST_MAIN(AAutoUpdateTest)
#include "AAutoUpdateTest.moc"
