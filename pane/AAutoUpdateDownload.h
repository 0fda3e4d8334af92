#pragma once
// AAutoUpdateDownload fetches one disk image into a file in the background,
// driven by Qt's event loop, with a progress dialog (bytes so far and the
// total, a Cancel button) beside the settings window. The bytes go to a
// temporary file beside the destination, which is renamed over it only once
// the whole image has arrived: a failed or cancelled download leaves no
// partial file and leaves a file already at the destination as it was.
// Redirects are followed within one scheme or from http to https, never
// to a less safe scheme. What was downloaded is never opened.
//
// Its owner hears of the outcome through the callbacks given at start; each
// download reports exactly one of finish, failure (with the reason) or, when
// the user pressed Cancel, nothing at all.

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QProgressDialog;
class QSaveFile;
class QWidget;

class AAutoUpdateDownload : public QObject {
    Q_OBJECT

public:
    struct ADelegate {
        std::function<void()> fDidFinish;
        std::function<void(const QString& reason)> fDidFail;
    };

    AAutoUpdateDownload(QNetworkAccessManager& network, ADelegate delegate, QObject* parent = nullptr);
    ~AAutoUpdateDownload() override;

    // False, with the reason in `error`, when the download cannot start: the
    // address is not an http or https one, or the destination cannot be
    // written. The progress dialog is a child of `window`.
    bool Start(const QUrl& source, const QString& destination, QWidget* window, QString* error);
    // What the Cancel button does.
    void Cancel();

    bool IsRunning() const { return fReply != nullptr; }
    QProgressDialog* GetProgressDialog() const { return fProgress; }

private:
    void ReadAvailable();
    void ShowProgress(qint64 received, qint64 total);
    void Finish();
    // Drops the reply, the temporary file and the dialog.
    void Stop();

    QNetworkAccessManager& fNetwork;
    ADelegate fDelegate;
    QString fFileName;
    qint64 fReceived = 0;
    QNetworkReply* fReply = nullptr;
    std::unique_ptr<QSaveFile> fFile;
    QProgressDialog* fProgress = nullptr;
};
