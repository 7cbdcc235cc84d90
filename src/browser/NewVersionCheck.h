#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QSettings;

// Asks the maker's web server whether a newer Quarrane has been published. The published
// document is an RTF file whose text carries the version after the word "Version", for example
//
//   {\b Version\b0\par
//   1.07\par
//   ...
//
// The fetch runs on the thread that owns the check (the window's): QNetworkAccessManager does its
// socket work asynchronously and never blocks the interface, so no thread of our own has to be
// started, watched and joined at exit, and Abandon() ends a pending fetch at once. A document that
// cannot be fetched, has no version number or is not newer leaves nothing visible.
class CNewVersionCheck final : public QObject
{
    Q_OBJECT

public:
    // The settings the check reads, in the "General" section of the browser's settings.
    static inline const QString kCheckKey = QStringLiteral("General/CheckForNewVersion");
    static inline const QString kVersionUrlKey = QStringLiteral("General/VersionUrl");
    static inline const QString kDownloadUrlKey = QStringLiteral("General/DownloadUrl");
    static inline const QString kDefaultVersionUrl =
        QStringLiteral("https://www.brevold.org/products/quarrane/version.rtf");
    static inline const QString kDefaultDownloadUrl = QStringLiteral("https://www.brevold.org/download.html");

    // A document larger than this is not a version document; the fetch stops there.
    static constexpr qint64 kMaxDocumentBytes = 1 << 20;
    // A server that accepts the connection and then says nothing is given up after this long.
    static constexpr int kTransferTimeoutMs = 30000;

    explicit CNewVersionCheck(QObject* parent = nullptr);
    ~CNewVersionCheck() override;
    CNewVersionCheck(const CNewVersionCheck&) = delete;
    CNewVersionCheck& operator=(const CNewVersionCheck&) = delete;

    // "CheckForNewVersion" is set (any integer other than 0; set unless written otherwise).
    static bool ShouldCheck(const QSettings& settings);
    // Where the version document and the download page are.
    static QUrl VersionUrl(const QSettings& settings);
    static QUrl DownloadUrl(const QSettings& settings);

    // The version a document publishes: the document is joined line by line with "\r\n" after
    // each line, the text after "Version" runs to the next "\par\r\n"; the version is the decimal
    // number between that marker and the following "\par\r\n". Nothing when there is none.
    static std::optional<double> ParseVersion(const QString& document);
    // True when the published version is greater than the running one (by more than a
    // millionth, so that 1.06 written and 1.06 computed are equal).
    static bool IsNewer(double published, double running);

    // The version the document is compared with; the product version unless set otherwise.
    void SetRunningVersion(double version) { m_runningVersion = version; }

    // Starts fetching the document at versionDocument; a fetch already pending is abandoned first.
    void Start(const QUrl& versionDocument);
    // Start-up's decision: starts the fetch from the settings' address when the settings ask for
    // it and returns whether it started.
    bool StartIfWanted(const QSettings& settings);
    // Ends a pending fetch now; no signal follows.
    void Abandon();
    bool IsPending() const { return m_pReply != nullptr; }

signals:
    // A newer version is published; document is the whole fetched document (RTF text).
    void newVersionAvailable(const QString& document);
    // The fetch has ended, whatever it found (not after Abandon()).
    void finished();

private:
    void OnFinished();

    QNetworkAccessManager* m_pNetwork = nullptr;
    QNetworkReply* m_pReply = nullptr;
    double m_runningVersion;
};
