#include "browser/NewVersionCheck.h"

#include "common/ProductVersion.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QSettings>

#include <cmath>

CNewVersionCheck::CNewVersionCheck(QObject* parent)
    : QObject(parent), m_pNetwork(new QNetworkAccessManager(this)), m_runningVersion(GetProductVersion())
{
}

CNewVersionCheck::~CNewVersionCheck()
{
    Abandon();
}

bool CNewVersionCheck::ShouldCheck(const QSettings& settings)
{
    return settings.value(kCheckKey, 1).toInt() != 0;
}

QUrl CNewVersionCheck::VersionUrl(const QSettings& settings)
{
    return QUrl(settings.value(kVersionUrlKey, kDefaultVersionUrl).toString());
}

QUrl CNewVersionCheck::DownloadUrl(const QSettings& settings)
{
    return QUrl(settings.value(kDownloadUrlKey, kDefaultDownloadUrl).toString());
}

std::optional<double> CNewVersionCheck::ParseVersion(const QString& document)
{
    // The document is read line by line and each line is kept with "\r\n" after it, so the
    // markers below are found alike in documents saved with Windows or Unix line ends.
    QString text;
    text.reserve(document.size() + document.size() / 16);
    qsizetype start = 0;
    while (start < document.size())
    {
        qsizetype end = document.indexOf(u'\n', start);
        if (end < 0)
            end = document.size();
        QStringView line = QStringView(document).sliced(start, end - start);
        if (line.endsWith(u'\r'))
            line.chop(1);
        text += line;
        text += QLatin1StringView("\r\n");
        start = end + 1;
    }

    static const QLatin1StringView kParagraph("\\par\r\n");
    const qsizetype word = text.indexOf(QLatin1StringView("Version"));
    if (word < 0)
        return std::nullopt;
    const qsizetype marker = text.indexOf(kParagraph, word);
    if (marker < 0)
        return std::nullopt;
    const qsizetype first = marker + kParagraph.size();
    const qsizetype next = text.indexOf(kParagraph, first);
    if (next < 0)
        return std::nullopt;

    // Read as a decimal number the way the C library reads one: leading blanks, then the
    // longest number; what follows it does not matter, and no number means no version.
    static const QRegularExpression kNumber(QStringLiteral("^\\s*([+-]?(?:\\d+(?:\\.\\d*)?|\\.\\d+))"));
    const QRegularExpressionMatch match = kNumber.match(QStringView(text).sliced(first, next - first));
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double version = match.captured(1).toDouble(&ok);
    if (!ok || !std::isfinite(version))
        return std::nullopt;
    return version;
}

bool CNewVersionCheck::IsNewer(double published, double running)
{
    return published - running > 1e-6;
}

void CNewVersionCheck::Start(const QUrl& versionDocument)
{
    Abandon();
    if (!versionDocument.isValid() || versionDocument.isEmpty())
        return;
    QNetworkRequest request(versionDocument);
    request.setTransferTimeout(kTransferTimeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = m_pNetwork->get(request);
    m_pReply = reply;
    connect(reply, &QNetworkReply::downloadProgress, this,
            [this, reply](qint64 received, qint64 total)
            {
                if (received > kMaxDocumentBytes || total > kMaxDocumentBytes)
                    reply->abort();
            });
    connect(reply, &QNetworkReply::finished, this, &CNewVersionCheck::OnFinished);
}

bool CNewVersionCheck::StartIfWanted(const QSettings& settings)
{
    if (!ShouldCheck(settings))
        return false;
    Start(VersionUrl(settings));
    return IsPending();
}

void CNewVersionCheck::Abandon()
{
    QNetworkReply* reply = m_pReply;
    m_pReply = nullptr;
    if (!reply)
        return;
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
}

void CNewVersionCheck::OnFinished()
{
    QNetworkReply* reply = m_pReply;
    m_pReply = nullptr;
    if (!reply)
        return;
    reply->deleteLater();
    if (reply->error() == QNetworkReply::NoError)
    {
        const QByteArray body = reply->read(kMaxDocumentBytes + 1);
        // Byte for byte: RTF is 7-bit text and its escapes are read later, in its own code page.
        const QString document = QString::fromLatin1(body);
        const std::optional<double> published =
            body.size() <= kMaxDocumentBytes ? ParseVersion(document) : std::nullopt;
        if (published && IsNewer(*published, m_runningVersion))
        {
            // Whoever shows the news may be done with the check and delete it.
            const QPointer<CNewVersionCheck> self(this);
            emit newVersionAvailable(document);
            if (!self)
                return;
        }
    }
    emit finished();
}
