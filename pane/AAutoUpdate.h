#pragma once
// AAutoUpdate asks the update service whether a newer build of the software
// exists and downloads its disk image where the user chose. The installed
// build is "NuvexaVersion" of the application's information (a leading
// integer; none: 0), the query address "NuvexaAutoUpdateUrl" followed by
// "?os=%x" with the system version code. An empty address turns the check
// off: it finds nothing, without asking anyone.
//
// The fetch waits in a local event loop that takes no user input, so the
// settings window stays unlaid out behind it as when it blocked; after the
// time-out (10 s in the application) the check counts as having found
// nothing. Any failure of the check looks like a check that found nothing.
// An answer larger than 1 MiB counts as no answer.
//
// DownloadNewVersion starts the download in the background; its end is told
// in an alert through the dialogs seam: success with the path exactly as
// given, or failure with the reason. A cancelled download tells nothing. The
// checker must outlive its download.

#include "pane/APaneInformation.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

class AAutoUpdateDownload;
class AUserDialogs;
class QNetworkAccessManager;
class QWidget;

struct AAutoUpdateOptions {
    uint32_t fSystemVersion;
    std::chrono::milliseconds fFetchTimeout{10'000};
};

// The running kernel's code and the application's time-out.
AAutoUpdateOptions DefaultAutoUpdateOptions();

class AAutoUpdate : public QObject {
    Q_OBJECT

public:
    // Alerts and the progress dialog go to `window`.
    AAutoUpdate(const APaneInformation& information, const AAutoUpdateOptions& options, AUserDialogs& dialogs,
                QWidget* window, QObject* parent = nullptr);
    ~AAutoUpdate() override;

    // True when the service reports a build greater than the installed one.
    bool CheckForUpdates();
    const std::optional<QString>& GetDownloadUrl() const { return fDownloadUrl; }
    void DownloadNewVersion(const QString& localPath);

    void DownloadDidFinish();
    void DownloadDidFail(const QString& reason);

    const QString& GetXmlUrl() const { return fXmlUrl; }
    // The download under way; null before and after it.
    AAutoUpdateDownload* GetDownload() const;

private:
    int32_t fCurrentBuild = 0;
    int32_t fLatestBuild = 0;
    QString fXmlUrl;
    std::optional<QString> fDownloadUrl;
    std::optional<QString> fLocalPath;

    AUserDialogs& fDialogs;
    QWidget* fWindow;
    std::chrono::milliseconds fFetchTimeout;
    std::unique_ptr<QNetworkAccessManager> fNetwork;
    std::unique_ptr<AAutoUpdateDownload> fDownload;
};
