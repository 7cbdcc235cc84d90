#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>

class CFileHandlerSet;

// The icon of each file type, by extension: the icon of the default handler's application when
// the desktop's theme has one of its name, else the theme's icon for the extension's MIME type,
// else a plain file. Cached per lower-case extension until the handlers change.
class CFileTypeIcons final : public QObject
{
    Q_OBJECT

public:
    explicit CFileTypeIcons(const CFileHandlerSet& handlers, QObject* parent = nullptr);

    QIcon Icon(const QString& extension);
    // Forgets every icon (the handlers were saved); views redraw on iconsReset.
    void Reset();
    int CachedCount() const { return static_cast<int>(m_cache.size()); }

signals:
    void iconsReset();

private:
    QIcon Lookup(const QString& extension) const;

    const CFileHandlerSet& m_handlers;
    QHash<QString, QIcon> m_cache;
};
