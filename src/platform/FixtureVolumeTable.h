#pragma once

#include "platform/VolumeTable.h"

#include <QStringList>

#include <memory>
#include <mutex>

// A volume table made up for tests: folders of the real file system pretend to be mount points
// of volumes with the drive type, serial, label and filesystem the test chooses, so that a
// temporary folder can be a CD-ROM with serial 1234ABCD, or a medium can be unplugged (its line
// removed) and come back under another mount point (its line changed). Only the listed volumes
// exist; a path below none of them has no volume.
//
// A child process is pointed at a fixture file by QUARRANE_VOLUME_TABLE=<file>. The file is read
// afresh at every query, so a test may rewrite it while the child runs. One volume per line,
// fields separated by a tab, "#" starts a comment line:
//
//   mount point <TAB> drive type <TAB> serial <TAB> label [<TAB> filesystem [<TAB> free bytes]]
//
// drive type: a name ("Fixed", "CD-ROM" ...) or its number; serial: hexadecimal as catalogues
// show it ("1234ABCD"), 0 for none; label: may be empty; filesystem: by default the usual one of
// the drive type (Removable vfat, Fixed ext4, Network nfs, CD-ROM iso9660, RAM Disk tmpfs), which
// also decides the case rule of names; free bytes: what FreeSpace reports (by default the free
// space of the real folder).
class CFixtureVolumeTable final : public CVolumeTable
{
public:
    struct CEntry
    {
        CVolume m_volume;
        std::optional<quint64> m_nFreeBytes;
    };

    explicit CFixtureVolumeTable(std::vector<CEntry> entries = {});
    // A table backed by a fixture file, read at every query.
    static std::unique_ptr<CFixtureVolumeTable> FromFile(const QString& fixturePath);

    // Parses fixture text; lines that cannot be read are skipped and named in *pErrors.
    static std::vector<CEntry> Parse(const QString& text, QStringList* pErrors = nullptr);
    static QString Format(const std::vector<CEntry>& entries);
    // Writes a fixture file (replacing it as a whole, so a reader never sees half of it).
    static bool WriteFile(const QString& fixturePath, const std::vector<CEntry>& entries);
    // A volume as a fixture line would describe it.
    static CEntry MakeEntry(const QString& mountPoint, int driveType, quint32 serial,
                            const QString& label, const QString& fileSystem = {},
                            std::optional<quint64> freeBytes = std::nullopt);

    void SetEntries(std::vector<CEntry> entries);
    std::vector<CEntry> Entries() const;

    std::vector<CVolume> Volumes() const override;
    std::optional<CVolume> VolumeOf(const QString& path) const override;
    int FreeSpace(const QString& path, quint64& freeBytes) const override;

private:
    mutable std::mutex m_mutex;
    std::vector<CEntry> m_entries;
    QString m_strFixturePath;
};
