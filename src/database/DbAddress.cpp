#include "database/DbAddress.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#ifdef QUARRANE_HAVE_POSTGRESQL
#include <libpq-fe.h>
#endif

namespace
{
bool IsServerUrl(const QString& text)
{
    return text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

// Whether libpq reads the text as a connection string that sets at least one value. Without
// libpq, the same shape: key=value pairs, one of them a key that names where the server is.
bool IsConnectionString(const QString& text)
{
    if (!text.contains(QLatin1Char('=')))
        return false;
#ifdef QUARRANE_HAVE_POSTGRESQL
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(text.toUtf8().constData(), &error);
    if (error)
        PQfreemem(error);
    if (!options)
        return false;
    bool any = false;
    for (const PQconninfoOption* option = options; option->keyword; ++option)
        any = any || (option->val && *option->val);
    PQconninfoFree(options);
    return any;
#else
    static const QRegularExpression pairs(QStringLiteral(R"(^\s*(\w+\s*=\s*('([^'\\]|\\.)*'|\S*)\s*)+$)"));
    static const QRegularExpression keyword(
        QStringLiteral(R"((^|\s)(host|hostaddr|dbname|port|user|service)\s*=)"));
    return pairs.match(text).hasMatch() && keyword.match(text).hasMatch();
#endif
}

// user:secret@ in a URL.
const QRegularExpression& UrlPassword()
{
    static const QRegularExpression re(QStringLiteral(R"(^(\w+://[^:/@?]*):[^@/?]*@)"));
    return re;
}

// password=... in a URL's query (with its separator) or a connection string (quoted or not).
const QRegularExpression& QueryPassword()
{
    static const QRegularExpression re(QStringLiteral(R"([?&]password=[^&]*)"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

const QRegularExpression& KeyPassword()
{
    static const QRegularExpression re(QStringLiteral(R"((^|\s)password\s*=\s*('([^'\\]|\\.)*'|\S*))"));
    return re;
}
} // namespace

bool DbAddress::IsServerAddress(const QString& text)
{
    if (IsServerUrl(text))
        return true;
    if (text.trimmed().isEmpty() || QFileInfo::exists(text))
        return false;
    return IsConnectionString(text);
}

bool DbAddress::HasPassword(const QString& address)
{
    return WithoutPassword(address) != address;
}

QString DbAddress::WithoutPassword(const QString& address)
{
    if (!IsServerAddress(address))
        return address;
    QString text = address;
    if (IsServerUrl(text))
    {
        text.replace(UrlPassword(), QStringLiteral("\\1@"));
        text.replace(QueryPassword(), QString());
        // "?sslmode=x" may have lost its "?" to a password that stood first.
        const qsizetype query = text.indexOf(QLatin1Char('?'));
        const qsizetype amp = text.indexOf(QLatin1Char('&'));
        if (amp >= 0 && (query < 0 || amp < query))
            text[amp] = QLatin1Char('?');
        return text;
    }
    // The pair goes with the blank before it; blanks inside quoted values stay as they were.
    text.replace(KeyPassword(), QString());
    return text.trimmed();
}

QString DbAddress::Display(const QString& address)
{
    if (!IsServerAddress(address))
        return address;
    QString shown = address;
    if (IsServerUrl(shown))
    {
        shown.replace(UrlPassword(), QStringLiteral("\\1@"));
        static const QRegularExpression query(QStringLiteral(R"(([?&])password=[^&]*)"),
                                              QRegularExpression::CaseInsensitiveOption);
        shown.replace(query, QStringLiteral("\\1password=***"));
        return shown;
    }
    shown.replace(KeyPassword(), QStringLiteral("\\1password=***"));
    return shown;
}

QString DbAddress::TitleName(const QString& pathOrAddress)
{
    return IsServerAddress(pathOrAddress) ? WithoutPassword(pathOrAddress).trimmed()
                                          : QFileInfo(pathOrAddress).fileName();
}

QString DbAddress::Key(const QString& pathOrAddress)
{
    if (pathOrAddress.isEmpty())
        return QString();
    if (IsServerAddress(pathOrAddress))
    {
        const QByteArray hash = QCryptographicHash::hash(WithoutPassword(pathOrAddress).trimmed().toUtf8(),
                                                         QCryptographicHash::Sha256);
        return QStringLiteral("server-") + QString::fromLatin1(hash.toHex().left(16));
    }
    const QFileInfo info(pathOrAddress);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}
