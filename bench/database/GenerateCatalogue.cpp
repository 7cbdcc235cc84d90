// qrl-bench-generate PATH [FILES [CATALOGUES [FOLDERS]]]
//
// Writes a synthetic catalogue database at PATH (replacing it) from the template: FILES files
// (1,000,000 by default) spread over CATALOGUES catalogues (20) and FOLDERS folders (20,000).
// One file in ten belongs to a duplicate pair (same TTH and size, in two catalogues); the others
// have TTHs of their own and sizes that often repeat. One catalogue is a CD-ROM, one Removable.
// The user "bench" has a row for every catalogue and checks half of them; no file has per-user
// rows yet. Prints the time it took.

#include "common/DbException.h"
#include "database/DbDatabase.h"
#include "database/DbTransaction.h"
#include "database/TemplateDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdint>
#include <cstdio>

namespace
{
std::uint64_t SplitMix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// 39 Base32 characters, as a Tiger tree root is written.
QString Tth(std::uint64_t key)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    QString text;
    text.reserve(39);
    std::uint64_t bits = 0;
    for (int i = 0; i < 39; ++i)
    {
        if (i % 12 == 0)
            bits = SplitMix(key * 4 + static_cast<std::uint64_t>(i / 12));
        text += QLatin1Char(alphabet[bits & 31]);
        bits >>= 5;
    }
    return text;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
    {
        std::fprintf(stderr, "usage: qrl-bench-generate PATH [FILES [CATALOGUES [FOLDERS]]]\n");
        return 2;
    }
    const QString path = args[1];
    const int files = args.size() > 2 ? args[2].toInt() : 1000000;
    const int catalogues = args.size() > 3 ? args[3].toInt() : 20;
    const int folders = args.size() > 4 ? args[4].toInt() : 20000;
    if (files < 2 || catalogues < 2 || folders < 1)
    {
        std::fprintf(stderr, "FILES must be 2 or more, CATALOGUES 2 or more, FOLDERS 1 or more\n");
        return 2;
    }

    QElapsedTimer timer;
    timer.start();
    QString error;
    if (!WriteTemplateDatabase(path, &error))
    {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    try
    {
        CDbDatabase db;
        db.Open(path);
        db.ExecuteSqliteScript(QStringLiteral("PRAGMA cache_size=-262144;"));
        CDbTransaction trans(db);
        db.Execute("INSERT INTO [Group] (GroupId, [Group]) VALUES (1, 'Bench')");
        for (int c = 1; c <= catalogues; ++c)
        {
            const char* driveType = c == 2 ? "CD-ROM" : c == 3 ? "Removable" : "Fixed";
            db.Execute("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, DriveType, Location) "
                       "VALUES (1, ?, ?, 'VOL', ?, '/media')",
                       {c, QStringLiteral("Catalogue %1").arg(c, 2, 10, QLatin1Char('0')), driveType});
            db.Execute("INSERT INTO CatalogueUserSelect (CatalogueId, [User], CatalogueSelect, ExcludeFromDuplicate) "
                       "VALUES (?, 'bench', ?, False)",
                       {c, c % 2 == 1});
        }
        CDbStatement folder = db.Prepare("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (?, ?)");
        for (int f = 1; f <= folders; ++f)
        {
            folder.Bind(1, f).Bind(2, QStringLiteral("dir%1\\sub%2").arg(f / 100).arg(f % 100));
            folder.Execute();
        }
        CDbStatement file = db.Prepare(
            "INSERT INTO [File] (CatalogueId, RelativePathId, FileId, SimilarityId, [File], FileSize, FileSizeHigh, "
            "FileSizeDouble, TTH, Extension, New) VALUES (?, ?, ?, 0, ?, ?, 0, ?, ?, 'dat', False)");
        for (int i = 0; i < files; ++i)
        {
            // Files i and i+10 of every block of twenty form a pair in two catalogues.
            const bool paired = i % 10 == 0 && (i / 10) % 2 == 0 ? i + 10 < files : i % 10 == 0 && (i / 10) % 2 == 1;
            const std::uint64_t key = paired ? std::uint64_t(i / 20) : std::uint64_t(files) + std::uint64_t(i);
            const qint32 size = paired ? qint32(1000 + (i / 20) * 7) : qint32(1000 + (std::uint64_t(i) * 7919) % 400000);
            file.Bind(1, 1 + (i + i / 20) % catalogues)
                .Bind(2, 1 + (i / 37) % folders)
                .Bind(3, i + 1)
                .Bind(4, QStringLiteral("file%1.dat").arg(i, 7, 10, QLatin1Char('0')))
                .Bind(5, size)
                .Bind(6, double(size))
                .Bind(7, Tth(key));
            file.Execute();
        }
        trans.Commit();
        db.Close();
    }
    catch (const CDbException& e)
    {
        std::fprintf(stderr, "generating failed: %s (%ld)\n", qPrintable(e.m_strDescription), e.m_nErrorCode);
        return 1;
    }
    std::printf("generated %s: %d files, %d catalogues, %d folders in %.1f s\n", qPrintable(path), files, catalogues,
                folders, timer.elapsed() / 1000.0);
    return 0;
}
