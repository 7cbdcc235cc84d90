#pragma once

#include <QString>
#include <QStringList>

class QSettings;

// The databases opened last, newest first, as the File menu lists them: at most kMaxFiles,
// each once (the same file by its absolute path), kept in the settings' "Recent File List".
// Catalogues on a server are listed by their address without its password.
class CRecentFileList final
{
public:
    static constexpr int kMaxFiles = 8;

    void Load(const QSettings& settings);
    void Save(QSettings& settings) const;

    // The file opened now goes to the top.
    void Add(const QString& path);
    void Remove(const QString& path);
    const QStringList& Files() const { return m_files; }

    // The File menu's entry for the file at index: "&1 /data/Films.qrl".
    QString MenuText(int index) const;

private:
    QStringList m_files;
};
