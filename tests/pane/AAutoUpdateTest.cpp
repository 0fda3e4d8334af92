// The update check and download against a real HTTP server on loopback.
#include "pane/AAutoUpdateDownload.h"
#include "pane/AAutoUpdateSystemVersion.h"
#include "pane/AMainView.h"
#include "tests/pane/APaneTestSupport.h"
#include "tests/support/ATestPaths.h"

#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
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
    // Answers the offer of build 57 at `url` (null: none) and the save dialog with `target`.
    void Download(const QString& url, const QString& target, bool yes = true)
    {
        // The blanks around the address are layout.
        fResponses[u"/update"_qs] = Response("<u> <latest_build>57</latest_build>\n"
                                             + (url.isNull() ? "" : " <download_url>\n  " + url.toUtf8() + "\n </download_url>\n")
                                             + "</u>\n");
        fDialogs.fYes = yes;
        fDialogs.fFileAnswers = QStringList{target};
        Check(u"56"_qs, u"/update"_qs);
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

    void OfferOnlyForANewerBuildThenTheView_data()
    {
        QTest::addColumn<QStringList>("row");  // version, path, answer
        QTest::addColumn<bool>("offered");
        for (const auto& [rule, given, expected] : ReadFixtureRows("pane/update-answers.txt"))
            QTest::newRow(rule.c_str() + 2) << QString::fromStdString(given).split(u' ') << (expected == "offer");
        QTest::newRow("answer over 1 MiB") << QStringList{u"0"_qs, u"/update"_qs, u"<u><latest_build>57</latest_build>"_qs
                                                          + QString(1 << 20, u' ') + u"</u>"_qs} << false;
    }
    void OfferOnlyForANewerBuildThenTheView()
    {
        QFETCH(QStringList, row);
        QFETCH(bool, offered);
        const QString version = row[0] == u"-" ? QString() : row[0], path = row[1] == u"-" ? QString() : row[1];
        fPane->fResponses = {{u"/update"_qs, Response(row.mid(2).join(u' ').toUtf8())},
                             {u"/moved"_qs, Redirect("/update")}, {u"/silent"_qs, {}}};
        fPane->Check(version, path, path == u"/silent" ? 100ms : 10s);
        QCOMPARE(fPane->fDialogs.fShown, offered ? QStringList{kOffer} : QStringList());
        QCOMPARE(fPane->fRequests.value(0), path.isNull() ? QString() : path + u"?os=60100"_qs);
        // The main view is set up after the check, whatever it found.
        fPane->fWindow->show();
        QCOMPARE(fPane->fWindow->View().fVersion->text(), u"2.5 (build 7)"_qs);
    }

    void NoVersionWithoutTheInformationFileWhichTheBuildWrites()
    {
        fPane->Start(QString::fromStdString(fPane->fSession.Root() / "absent.info"));
        QCOMPARE(fPane->fWindow->View().fVersion->text(), QString());
        const std::string text = ReadWholeFile(BuildDataFolder() / "settings.info");
        for (const char* key : {"\nCFBundleVersion=", "\nNuvexaVersion=", "\nNuvexaAutoUpdateUrl=\n"})
            QVERIFY2(text.find(key) != std::string::npos, key);
    }

    void SaveDialogOnTheDesktopElseHomeAndNoDownloadWithoutAPath()
    {
        const QString url = fPane->Base() + u"/files/Nuvexa-58.dmg?from=answer"_qs;
        fPane->Download(url, QString());  // no Desktop folder, Cancel
        QVERIFY(QDir(fPane->fHome).mkdir(u"Desktop"_qs));
        fPane->Download(url, QString());
        fPane->Download(url, fPane->fDownloads + u"/Nuvexa.dmg"_qs, false);  // the offer declined
        QCOMPARE(fPane->fDialogs.fSuggestedPaths,
                 (QStringList{fPane->fHome + u"/Nuvexa-58.dmg"_qs, fPane->fHome + u"/Desktop/Nuvexa-58.dmg"_qs}));
        QCOMPARE(fPane->fController->GetAutoUpdate(), nullptr);
        QTest::qWait(50);
        QCOMPARE(fPane->fRequests.size(), 3);
        QCOMPARE(fPane->fDialogs.fShown, (QStringList{kOffer, kOffer, kOffer}));
    }

    void DownloadEnds_data()
    {
        QTest::addColumn<QString>("path");   // null: the answer has no download_url
        QTest::addColumn<QString>("file");   // chosen, in the session's folder
        QTest::addColumn<bool>("replaced");  // the image replaced downloads/Nuvexa.dmg, or "old" is intact
        QTest::addColumn<QString>("alert");  // "...\r\nError: " and any reason; null: Cancel pressed
        const QString done = u"Successfully downloaded updated Nuvexa Device Controller image to %1."_qs;
        const QString failed = kFailed + u"\r\nError: "_qs, file = u"/downloads/./Nuvexa.dmg"_qs;
        QTest::newRow("finished, overwriting the file, the path as chosen") << u"/image"_qs << file << true << done;
        QTest::newRow("redirect followed") << u"/moved"_qs << file << true << done;
        QTest::newRow("failed half-way") << u"/broken"_qs << file << false << failed;
        QTest::newRow("redirect to a less safe scheme refused") << u"/to-file"_qs << file << false << failed;
        QTest::newRow("destination not writable: short alert") << u"/image"_qs << u"/absent/Nuvexa.dmg"_qs << false << kFailed;
        QTest::newRow("no download address: short alert") << QString() << file << false << kFailed;
        QTest::newRow("cancelled: nothing told") << u"/slow"_qs << file << false << QString();
    }
    void DownloadEnds()
    {
        QFETCH(QString, path);
        QFETCH(QString, file);
        QFETCH(bool, replaced);
        QFETCH(QString, alert);
        const QString target = QString::fromStdString(fPane->fSession.Root()) + file;
        const std::string existing = (fPane->fDownloads + u"/Nuvexa.dmg"_qs).toStdString();
        WriteWholeFile(existing, "old");
        fPane->fResponses = {{u"/files/image"_qs, Response(kImage)}, {u"/files/moved"_qs, Redirect("/files/image")},
                             {u"/files/to-file"_qs, Redirect("file:///etc/hostname")},
                             {u"/files/broken"_qs, Response(kImage, 2 * kImage.size())},
                             {u"/files/slow"_qs, Response(QByteArray(1000, 's'), 1'000'000)}};
        fPane->Download(path.isNull() ? QString() : fPane->Base() + u"/files"_qs + path, target);
        if (alert.isNull()) {
            AAutoUpdateDownload* download = fPane->fController->GetAutoUpdate()->GetDownload();
            QVERIFY(download != nullptr && download->GetProgressDialog()->isVisible());
            QTRY_VERIFY(download->GetProgressDialog()->labelText().contains(
                QLocale().formattedDataSize(1000) + u" of "_qs + QLocale().formattedDataSize(1'000'000)));
            QTest::mouseClick(download->GetProgressDialog()->findChild<QPushButton*>(), Qt::LeftButton);
            QCOMPARE(fPane->fController->GetAutoUpdate()->GetDownload(), nullptr);
            QTest::qWait(50);
            QCOMPARE(fPane->fDialogs.fShown, QStringList{kOffer});
        } else {
            QTRY_COMPARE(fPane->fDialogs.fShown.size(), 2);
            const QString shown = fPane->fDialogs.fShown[1];
            const bool reason = alert.endsWith(u"Error: ");
            QCOMPARE(reason ? shown.left(alert.size()) : shown, QString(alert).replace(u"%1"_qs, target));
            QVERIFY(!reason || shown.size() > alert.size());
        }
        // No temporary file is left beside the destination.
        QCOMPARE(QDir(fPane->fDownloads).entryList(QDir::Files | QDir::Hidden), QStringList{u"Nuvexa.dmg"_qs});
        QCOMPARE(ReadWholeFile(existing), replaced ? kImage.toStdString() : "old");
    }

private:
    std::unique_ptr<AUpdateFixture> fPane;
};

QTEST_MAIN(AAutoUpdateTest)
#include "AAutoUpdateTest.moc"
