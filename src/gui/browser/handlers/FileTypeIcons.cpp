#include "gui/browser/handlers/FileTypeIcons.h"

#include "browser/handlers/FileHandlers.h"

#include <QApplication>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStyle>

CFileTypeIcons::CFileTypeIcons(const CFileHandlerSet& handlers, QObject* parent)
    : QObject(parent), m_handlers(handlers)
{
}

QIcon CFileTypeIcons::Icon(const QString& extension)
{
    const QString key = extension.toLower();
    const auto it = m_cache.constFind(key);
    if (it != m_cache.constEnd())
        return *it;
    const QIcon icon = Lookup(key);
    m_cache.insert(key, icon);
    return icon;
}

void CFileTypeIcons::Reset()
{
    m_cache.clear();
    emit iconsReset();
}

QIcon CFileTypeIcons::Lookup(const QString& extension) const
{
    if (const std::optional<int> handler = m_handlers.FindDefaultHandler(extension))
    {
        // Desktop applications install their icon under their program's name.
        const QString program = QFileInfo(m_handlers.Handler(*handler).strApplication.trimmed()).baseName();
        if (!program.isEmpty() && QIcon::hasThemeIcon(program))
            return QIcon::fromTheme(program);
    }
    if (!extension.isEmpty())
    {
        const QMimeType type =
            QMimeDatabase().mimeTypeForFile(QStringLiteral("x.") + extension, QMimeDatabase::MatchExtension);
        for (const QString& name : {type.iconName(), type.genericIconName()})
            if (QIcon::hasThemeIcon(name))
                return QIcon::fromTheme(name);
    }
    return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
}
