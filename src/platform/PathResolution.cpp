#include "platform/PathResolution.h"

#include <QDir>
#include <QFileInfo>

QString ResolvePathThroughLinks(const QString& path)
{
    if (path.isEmpty())
        return {};
    const QString clean = QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
    QString existing = clean;
    QString rest;
    while (true)
    {
        const QString canonical = QFileInfo(existing).canonicalFilePath();
        if (!canonical.isEmpty())
        {
            if (rest.isEmpty())
                return canonical;
            return canonical == QLatin1String("/") ? canonical + rest : canonical + QLatin1Char('/') + rest;
        }
        const int slash = existing.lastIndexOf(QLatin1Char('/'));
        if (slash < 0 || existing == QLatin1String("/"))
            return clean;
        const QString name = existing.mid(slash + 1);
        rest = rest.isEmpty() ? name : name + QLatin1Char('/') + rest;
        existing = slash == 0 ? QStringLiteral("/") : existing.left(slash);
    }
}
