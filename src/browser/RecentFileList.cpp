#include "browser/RecentFileList.h"

#include "database/DbAddress.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace
{
const QString kSection = QStringLiteral("Recent File List");

// A server address is kept without its password: the settings file is no place for one, and
// libpq finds it in ~/.pgpass or $PGPASSWORD when the address is opened again.
QString Normalized(const QString& path)
{
    if (DbAddress::IsServerAddress(path))
        return DbAddress::WithoutPassword(path).trimmed();
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
} // namespace

void CRecentFileList::Load(const QSettings& settings)
{
    m_files.clear();
    for (int i = 1; i <= kMaxFiles; ++i)
    {
        const QString path = settings.value(QStringLiteral("%1/File%2").arg(kSection).arg(i)).toString();
        if (!path.isEmpty() && !m_files.contains(Normalized(path)))
            m_files.append(Normalized(path));
    }
}

void CRecentFileList::Save(QSettings& settings) const
{
    settings.remove(kSection);
    for (int i = 0; i < m_files.size(); ++i)
        settings.setValue(QStringLiteral("%1/File%2").arg(kSection).arg(i + 1), m_files[i]);
}

void CRecentFileList::Add(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString normalized = Normalized(path);
    m_files.removeAll(normalized);
    m_files.prepend(normalized);
    while (m_files.size() > kMaxFiles)
        m_files.removeLast();
}

void CRecentFileList::Remove(const QString& path)
{
    m_files.removeAll(Normalized(path));
}

QString CRecentFileList::MenuText(int index) const
{
    if (index < 0 || index >= m_files.size())
        return QString();
    // An "&" in a folder name would otherwise become a mnemonic.
    QString shown = QDir::toNativeSeparators(m_files[index]);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(shown);
}
