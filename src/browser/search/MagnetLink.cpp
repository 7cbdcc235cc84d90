#include "browser/search/MagnetLink.h"

#include <QByteArray>
#include <QStringList>
#include <QUrl>

namespace
{
constexpr int kTthLength = 39;

bool IsBase32Tth(const QString& text)
{
    if (text.size() != kTthLength)
        return false;
    for (const QChar c : text)
        if (!((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
              (c >= QLatin1Char('2') && c <= QLatin1Char('7'))))
            return false;
    return true;
}

int HexDigit(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return c.unicode() - '0';
    if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        return c.unicode() - 'a' + 10;
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
        return c.unicode() - 'A' + 10;
    return -1;
}

// "+" is a blank and %XY a byte; from an invalid sequence on the text is kept as it stands.
QString DecodeValue(const QString& value)
{
    QByteArray bytes;
    QString literal; // characters as they stand, turned into bytes together (surrogate pairs)
    for (qsizetype i = 0; i < value.size(); ++i)
    {
        const QChar c = value[i];
        if (c != QLatin1Char('+') && c != QLatin1Char('%'))
        {
            literal += c;
            continue;
        }
        bytes += literal.toUtf8();
        literal.clear();
        if (c == QLatin1Char('+'))
        {
            bytes += ' ';
            continue;
        }
        const int high = i + 2 < value.size() ? HexDigit(value[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(value[i + 2]) : -1;
        if (low < 0)
        {
            literal = value.mid(i);
            break;
        }
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    bytes += literal.toUtf8();
    return QString::fromUtf8(bytes);
}
} // namespace

std::optional<SMagnetLink> ParseMagnetLink(const QString& text)
{
    const QString link = text.trimmed();
    static const QString scheme = QStringLiteral("magnet:?");
    if (!link.startsWith(scheme, Qt::CaseInsensitive))
        return std::nullopt;
    SMagnetLink magnet;
    bool hasName = false;
    for (const QString& parameter : link.mid(scheme.size()).split(QLatin1Char('&')))
    {
        const qsizetype equals = parameter.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        const QString key = parameter.left(equals).toLower();
        const QString value = parameter.mid(equals + 1);
        // "xt" or, where a link names several hashes, "xt.1", "xt.2" ...
        if ((key == QLatin1String("xt") || key.startsWith(QLatin1String("xt."))) && magnet.strTth.isEmpty())
        {
            for (const char* urn : {"urn:tree:tiger:", "urn:tree:tiger/1024:"})
            {
                const QString prefix = QLatin1String(urn);
                if (value.startsWith(prefix, Qt::CaseInsensitive) &&
                    IsBase32Tth(value.mid(prefix.size()).toUpper()))
                    magnet.strTth = value.mid(prefix.size()).toUpper();
            }
        }
        else if (key == QLatin1String("dn") && !hasName)
        {
            magnet.strName = DecodeValue(value);
            hasName = true;
        }
        else if (key == QLatin1String("xl") && magnet.nSize < 0)
        {
            bool ok = false;
            const qint64 size = value.toLongLong(&ok);
            if (ok && size >= 0)
                magnet.nSize = size;
        }
    }
    if (magnet.strTth.isEmpty())
        return std::nullopt;
    return magnet;
}

QString MagnetNameSearchText(const QString& name)
{
    QStringList words;
    QString word;
    for (const QChar c : name)
    {
        if (c.isLetterOrNumber())
            word += c;
        else if (!word.isEmpty())
        {
            words.append(word);
            word.clear();
        }
    }
    if (!word.isEmpty())
        words.append(word);
    return words.join(QStringLiteral("\r\n"));
}

QString BuildMagnetLink(const QString& tth, qint64 size, const QString& name)
{
    return QStringLiteral("magnet:?xt=urn:tree:tiger:%1&xl=%2&dn=%3")
        .arg(tth)
        .arg(size)
        .arg(QString::fromLatin1(QUrl::toPercentEncoding(name)));
}
