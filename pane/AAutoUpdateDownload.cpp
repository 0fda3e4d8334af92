#include "pane/AAutoUpdateDownload.h"

#include <QFileInfo>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressDialog>
#include <QSaveFile>

namespace {

// The dialog's bar in thousandths, so that images past 2 GiB fit its int range.
constexpr int kProgressSteps = 1000;

bool IsWebAddress(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty() && (url.scheme() == u"http" || url.scheme() == u"https");
}

} // namespace

AAutoUpdateDownload::AAutoUpdateDownload(QNetworkAccessManager& network, ADelegate delegate, QObject* parent)
    : QObject(parent), fNetwork(network), fDelegate(std::move(delegate))
{
}

AAutoUpdateDownload::~AAutoUpdateDownload()
{
    Stop();
}

bool AAutoUpdateDownload::Start(const QUrl& source, const QString& destination, QWidget* window, QString* error)
{
    Stop();
    if (!IsWebAddress(source)) {
        *error = tr("The download address \"%1\" is not an http or https address.").arg(source.toString());
        return false;
    }
    fFile = std::make_unique<QSaveFile>(destination);
    if (!fFile->open(QIODevice::WriteOnly)) {
        *error = fFile->errorString();
        fFile.reset();
        return false;
    }
    QNetworkRequest request(source);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    fReply = fNetwork.get(request);
    connect(fReply, &QNetworkReply::readyRead, this, &AAutoUpdateDownload::ReadAvailable);
    connect(fReply, &QNetworkReply::finished, this, &AAutoUpdateDownload::Finish);

    fReceived = 0;
    fFileName = QFileInfo(destination).fileName();
    fProgress = new QProgressDialog(window);
    fProgress->setWindowTitle(tr("Downloading Update"));
    fProgress->setWindowModality(Qt::NonModal);
    fProgress->setAutoReset(false);
    fProgress->setAutoClose(false);
    fProgress->setMinimumDuration(0);
    connect(fProgress, &QProgressDialog::canceled, this, &AAutoUpdateDownload::Cancel);
    ShowProgress(0, -1);
    fProgress->show();
    return true;
}

void AAutoUpdateDownload::Cancel()
{
    Stop();
}

void AAutoUpdateDownload::ReadAvailable()
{
    const QByteArray bytes = fReply->readAll();
    if (fFile->write(bytes) != bytes.size()) {
        const QString reason = fFile->errorString();
        Stop();
        fDelegate.fDidFail(reason);
        return;
    }
    // Counted here: the reply's own progress signal is throttled and can
    // leave the dialog behind when the data pauses.
    fReceived += bytes.size();
    bool known = false;
    const qint64 total = fReply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    ShowProgress(fReceived, known ? total : -1);
}

void AAutoUpdateDownload::ShowProgress(qint64 received, qint64 total)
{
    const QLocale locale;
    if (total > 0) {
        fProgress->setRange(0, kProgressSteps);
        fProgress->setValue(static_cast<int>(std::min(received, total) * kProgressSteps / total));
        fProgress->setLabelText(tr("Downloading \"%1\"\n%2 of %3")
                                    .arg(fFileName, locale.formattedDataSize(received), locale.formattedDataSize(total)));
    } else {
        // The server gave no length: a busy bar and the bytes so far.
        fProgress->setRange(0, 0);
        fProgress->setLabelText(tr("Downloading \"%1\"\n%2").arg(fFileName, locale.formattedDataSize(received)));
    }
}

void AAutoUpdateDownload::Finish()
{
    if (fReply->error() != QNetworkReply::NoError) {
        const QString reason = fReply->errorString();
        Stop();
        fDelegate.fDidFail(reason);
        return;
    }
    ReadAvailable();
    if (fFile == nullptr)
        return;
    if (!fFile->commit()) {
        const QString reason = fFile->errorString();
        Stop();
        fDelegate.fDidFail(reason);
        return;
    }
    Stop();
    fDelegate.fDidFinish();
}

void AAutoUpdateDownload::Stop()
{
    if (fReply != nullptr) {
        fReply->disconnect(this);
        fReply->abort();
        fReply->deleteLater();
        fReply = nullptr;
    }
    // Destroyed without a commit, the temporary file is removed.
    fFile.reset();
    if (fProgress != nullptr) {
        fProgress->disconnect(this);
        fProgress->hide();
        fProgress->deleteLater();
        fProgress = nullptr;
    }
}
