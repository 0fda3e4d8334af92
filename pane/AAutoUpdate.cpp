#include "pane/AAutoUpdate.h"

#include "base/AProduct.h"
#include "pane/AAutoUpdateAnswer.h"
#include "pane/AAutoUpdateDownload.h"
#include "pane/AAutoUpdateSystemVersion.h"
#include "pane/AUserDialogs.h"
#include "prefs/ALeadingInteger.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

namespace {

constexpr qint64 kMaxAnswerSize = 1 << 20;

QString Title()
{
    return QString::fromLatin1(kProductDisplayName);
}

} // namespace

AAutoUpdateOptions DefaultAutoUpdateOptions()
{
    return {RunningSystemVersion()};
}

AAutoUpdate::AAutoUpdate(const APaneInformation& information, const AAutoUpdateOptions& options,
                         AUserDialogs& dialogs, QWidget* window, QObject* parent)
    : QObject(parent),
      fCurrentBuild(ReadLeadingInteger(information.value(u"NuvexaVersion"_qs).toStdString())),
      fDialogs(dialogs),
      fWindow(window),
      fFetchTimeout(options.fFetchTimeout),
      fNetwork(std::make_unique<QNetworkAccessManager>())
{
    const QString address = information.value(u"NuvexaAutoUpdateUrl"_qs);
    if (!address.isEmpty())
        fXmlUrl = address + u"?os="_qs + QString::number(options.fSystemVersion, 16);
}

AAutoUpdate::~AAutoUpdate()
{
    // Before the network access it uses.
    fDownload.reset();
}

bool AAutoUpdate::CheckForUpdates()
{
    const QUrl url(fXmlUrl, QUrl::StrictMode);
    if (fXmlUrl.isEmpty() || !url.isValid() || url.host().isEmpty()
        || (url.scheme() != u"http" && url.scheme() != u"https"))
        return false;
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    std::unique_ptr<QNetworkReply> reply(fNetwork->get(request));
    bool tooLarge = false;
    QEventLoop wait;
    // Checked as the bytes arrive, so that an endless answer is cut off.
    connect(reply.get(), &QNetworkReply::readyRead, &wait, [&] {
        if (reply->bytesAvailable() > kMaxAnswerSize) {
            tooLarge = true;
            reply->abort();
        }
    });
    connect(reply.get(), &QNetworkReply::finished, &wait, &QEventLoop::quit);
    QTimer::singleShot(fFetchTimeout, &wait, [&] { reply->abort(); });
    if (!reply->isFinished())
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    if (tooLarge || reply->error() != QNetworkReply::NoError)
        return false;
    const QByteArray bytes = reply->read(kMaxAnswerSize + 1);
    const std::optional<AAutoUpdateAnswer> answer = ReadAutoUpdateAnswer(bytes);
    if (bytes.size() > kMaxAnswerSize || !answer)
        return false;
    if (answer->fLatestBuild)
        fLatestBuild = *answer->fLatestBuild;
    if (answer->fDownloadUrl)
        fDownloadUrl = answer->fDownloadUrl;
    return fCurrentBuild < fLatestBuild;
}

void AAutoUpdate::DownloadNewVersion(const QString& localPath)
{
    fLocalPath = localPath;
    fDownload = std::make_unique<AAutoUpdateDownload>(
        *fNetwork, AAutoUpdateDownload::ADelegate{[this] { DownloadDidFinish(); },
                                                  [this](const QString& reason) { DownloadDidFail(reason); }});
    QString error;
    // An answer without "download_url" ends here too. The blanks around an
    // address are the answer's layout, not part of it.
    if (!fDownload->Start(QUrl(fDownloadUrl.value_or(QString()).trimmed(), QUrl::StrictMode), localPath, fWindow,
                          &error)) {
        fDownload.reset();
        // The alert gives no reason; a terminal gets it.
        qWarning("The update download could not start: %s", qPrintable(error));
        fDialogs.ShowAlert(fWindow, Title(), tr("Error downloading updated Nuvexa Device Controller image."));
    }
}

void AAutoUpdate::DownloadDidFinish()
{
    fDialogs.ShowAlert(fWindow, Title(),
                       tr("Successfully downloaded updated Nuvexa Device Controller image to %1.").arg(*fLocalPath));
}

void AAutoUpdate::DownloadDidFail(const QString& reason)
{
    fDialogs.ShowAlert(fWindow, Title(),
                       tr("Error downloading updated Nuvexa Device Controller image.\r\nError: %1").arg(reason));
}

AAutoUpdateDownload* AAutoUpdate::GetDownload() const
{
    return fDownload && fDownload->IsRunning() ? fDownload.get() : nullptr;
}
