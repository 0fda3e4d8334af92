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

QByteArray Answer(int build, const QString& url = u"/files/Nuvexa-58.dmg?from=answer"_qs)
{
    // The blanks around the address are layout.
    return "<u> <latest_build>" + QByteArray::number(build) + "</latest_build>\n <download_url>\n  " + url.toUtf8()
        + "\n </download_url>\n</u>\n";
}
QByteArray Response(const QByteArray& body, qint64 length = -1, const QByteArray& statusAndHeaders = "200 OK")
{
    return "HTTP/1.1 " + statusAndHeaders + "\r\nContent-Length: " + QByteArray::number(length < 0 ? body.size() : length)
        + "\r\nConnection: close\r\n\r\n" + body;
}
QByteArray Redirect(const QByteArray& to) { return Response({}, 0, "302 Found\r\nLocation: " + to); }

struct ARecordingDialogs : AAnsweringDialogs {
    std::optional<QString> ChooseSaveFile(QWidget* parent, const ASaveFileRequest& request) override
    {
        fSuggestedPaths.append(request.fSuggestedPath);
        return AAnsweringDialogs::ChooseSaveFile(parent, request);
    }
    QStringList fSuggestedPaths;
};

// A private session, home folder and HTTP server; the window as main.cpp builds it.
struct AUpdateFixture {
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
                const QByteArray response =
                    fResponses.value(fRequests.last().section(u'?', 0, 0), Response(Answer(99), -1, "404 Not Found"));
                socket->write(response);
                if (!response.isEmpty() && !response.contains("Length: 1000000\r"))
                    socket->disconnectFromHost();
            });
        });
    }
    QString Base() const { return u"http://127.0.0.1:"_qs + QString::number(fServer.serverPort()); }
    AAgentSession fSession;
    QString fHome = QString::fromStdString(fSession.MakeFolder("home").string());
    AScopedEnvironment fHomeVariable{"HOME", fHome.toStdString()};
    QString fDownloads = QString::fromStdString(fSession.MakeFolder("downloads").string());
    QTcpServer fServer;
    QHash<QString, QByteArray> fResponses;
    QStringList fRequests;  // the path and query of each
    ARecordingDialogs fDialogs;
    AEventLoop fLoop;
    ADistributedNotificationCenter fCenter{&fLoop};
    AEventLoopBridge fBridge{fLoop};
    std::unique_ptr<ASettingsWindow> fWindow;
    AMainPrefController* fController = nullptr;
    // The check asks `path` on the server as kernel 6.1.0; null: no such key.
    void Start(const QString& version, const QString& path, std::chrono::milliseconds timeout = 10s)
    {
        const std::string file = fSession.Root() / "settings.info";
        WriteWholeFile(file, "CFBundleVersion=2.0\n" + (version.isNull() ? "" : "NuvexaVersion=" + version.toStdString())
                                 + "\nNuvexaAutoUpdateUrl=" + (path.isNull() ? "" : (Base() + path).toStdString()));
        fWindow = std::make_unique<ASettingsWindow>(fDialogs);
        auto* details = new ADetailsController(fDialogs, fCenter, &fBridge, fWindow.get());
        fController = new AMainPrefController(fWindow->View(), *details, fCenter, QString::fromStdString(file));
        fController->SetAutoUpdateOptions({PackKernelVersion("6.1.0-18-amd64"), timeout});
        fWindow->SetController(fController);
    }
    // Answers the offer of `answer` and the save dialog with `target`.
    void Download(const QByteArray& answer, const QString& target, bool yes = true)
    {
        fResponses[u"/update"_qs] = Response(answer);
        fDialogs.fYes = yes;
        fDialogs.fFileAnswers = QStringList{target};
        Start(u"56"_qs, u"/update"_qs);
    }
    QStringList Downloads() const { return QDir(fDownloads).entryList(QDir::Files | QDir::Hidden); }
};

} // namespace

class AAutoUpdateTest : public QObject {
    Q_OBJECT

private slots:
    void init() { fPane = std::make_unique<AUpdateFixture>(); }
    void cleanup() { fPane.reset(); }

    void OfferOnlyForANewerBuildThenTheView_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("offered");
        const auto row = [](const char* rule, const QString& version, const QString& path, const QByteArray& answer,
                            bool offered) { QTest::newRow(rule) << version << path << answer << offered; };
        const QString update = u"/update"_qs;
        row("reported 57 above installed 56", u"56"_qs, update, Answer(57), true);
        row("reported 56, the installed build", u"56"_qs, update, Answer(56), false);
        row("reported 55, older", u"56"_qs, update, Answer(55), false);
        row("names in capitals", u"56"_qs, update, "<UPDATE><LATEST_BUILD>57</LATEST_BUILD></UPDATE>", true);
        row("last counts", u"56"_qs, update, "<u><latest_build>57</latest_build><latest_build>56</latest_build></u>", false);
        row("text after the version, reported above", u"56abc"_qs, update, Answer(57), true);
        row("text after the version, reported equal", u"56abc"_qs, update, Answer(56), false);
        row("missing version counts as 0", QString(), update, Answer(1), true);
        row("no latest_build", u"0"_qs, update, "<u><download_url>x</download_url></u>", false);
        row("malformed answer", u"0"_qs, update, Answer(57).chopped(10), false);
        row("no DTD entities", u"0"_qs, update, "<!DOCTYPE u [<!ENTITY b \"57\">]><u><latest_build>&b;</latest_build></u>", false);
        row("answer over 1 MiB", u"0"_qs, update, "<u><latest_build>57</latest_build>" + QByteArray(1 << 20, ' ') + "</u>", false);
        row("redirect followed", u"0"_qs, u"/moved"_qs, Answer(57), true);
        row("server error", u"0"_qs, u"/absent"_qs, Answer(57), false);
        row("server never answers: time-out", u"0"_qs, u"/silent"_qs, Answer(57), false);
        row("empty address asks nobody", u"0"_qs, QString(), Answer(57), false);
    }
    void OfferOnlyForANewerBuildThenTheView()
    {
        QFETCH(QString, version);
        QFETCH(QString, path);
        QFETCH(QByteArray, answer);
        QFETCH(bool, offered);
        fPane->fResponses = {{u"/update"_qs, Response(answer)}, {u"/moved"_qs, Redirect("/update")}, {u"/silent"_qs, {}}};
        fPane->Start(version, path, path == u"/silent" ? 100ms : 10s);
        QCOMPARE(fPane->fDialogs.fShown, offered ? QStringList{kOffer} : QStringList());
        QCOMPARE(fPane->fRequests.value(0), path.isNull() ? QString() : path + u"?os=60100"_qs);
        // The main view is set up after the check, whatever it found.
        fPane->fWindow->show();
        QCOMPARE(fPane->fWindow->View().fVersion->text(), u"2.0"_qs);
    }

    void SaveDialogOnTheDesktopElseHomeAndNoDownloadWithoutAPath()
    {
        const QByteArray answer = Answer(57, fPane->Base() + u"/files/Nuvexa-58.dmg?from=answer"_qs);
        fPane->Download(answer, QString());  // no Desktop folder, Cancel
        QVERIFY(QDir(fPane->fHome).mkdir(u"Desktop"_qs));
        fPane->Download(answer, QString());
        fPane->Download(answer, fPane->fDownloads + u"/Nuvexa.dmg"_qs, false);  // the offer declined
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
        const auto row = [](const char* rule, const QString& path, const char* file, bool replaced, const QString& alert) {
            QTest::newRow(rule) << path << QString::fromLatin1(file) << replaced << alert;
        };
        const QString done = u"Successfully downloaded updated Nuvexa Device Controller image to %1."_qs;
        const QString failed = kFailed + u"\r\nError: "_qs;
        const char* file = "/downloads/./Nuvexa.dmg";
        row("finished, overwriting the file, the path as chosen", u"/image"_qs, file, true, done);
        row("redirect followed", u"/moved"_qs, file, true, done);
        row("failed half-way", u"/broken"_qs, file, false, failed);
        row("redirect to a less safe scheme refused", u"/to-file"_qs, file, false, failed);
        row("destination not writable: short alert", u"/image"_qs, "/absent/Nuvexa.dmg", false, kFailed);
        row("no download address: short alert", QString(), file, false, kFailed);
        row("cancelled: nothing told", u"/slow"_qs, file, false, QString());
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
        fPane->Download(path.isNull() ? "<u><latest_build>57</latest_build></u>"
                                      : Answer(57, fPane->Base() + u"/files"_qs + path), target);
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
        QCOMPARE(fPane->Downloads(), QStringList{u"Nuvexa.dmg"_qs});
        QCOMPARE(ReadWholeFile(existing), replaced ? kImage.toStdString() : "old");
    }

private:
    std::unique_ptr<AUpdateFixture> fPane;
};

QTEST_MAIN(AAutoUpdateTest)
#include "AAutoUpdateTest.moc"
