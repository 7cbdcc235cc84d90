// Running stored query scripts and keeping one copy of each duplicate.
#include "browser/MirrowelDoc.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/DbTransaction.h"

#include <vector>

namespace
{
// Unchecks are written in transactions of this many rows: one commit per row would make a
// million-file duplicate search wait on the disk.
constexpr size_t kUncheckBatch = 2000;

struct Member
{
    qint32 fileId;
    bool keep; // on a CD-ROM or a ghost: cannot or need not be deleted
    bool checked;
};
} // namespace

void CMirrowelDoc::UnmarkAtLeastOneDuplicate()
{
    if (!IsOpen())
        return;
    CDbDatabase& db = *m_pDatabase;
    std::vector<qint32> uncheck;

    // A group ends: if every copy is checked, spare the ones that cannot or need not go, or else
    // the one with the highest keep priority (the first).
    auto closeGroup = [&](const std::vector<Member>& group) {
        if (group.empty() || std::any_of(group.begin(), group.end(), [](const Member& m) { return !m.checked; }))
            return;
        const size_t before = uncheck.size();
        for (const Member& m : group)
            if (m.keep)
                uncheck.push_back(m.fileId);
        if (uncheck.size() == before)
            uncheck.push_back(group.front().fileId);
    };

    try
    {
        // The same rows and order as the stored duplicate search shows them; an empty TTH and a
        // Null one are the same key, so they sort as one.
        CDbStatement rows = db.PrepareSqlite(QStringLiteral(
            "SELECT f.FileSizeHigh, f.FileSize, coalesce(f.TTH, ''), f.FileId, f.Ghost, c.DriveType, s.Mark "
            "FROM \"File\" f JOIN \"Catalogue\" c ON c.CatalogueId = f.CatalogueId "
            "JOIN \"FileUserSelect\" s ON s.FileId = f.FileId "
            "LEFT JOIN \"RelativePath\" r ON r.RelativePathId = f.RelativePathId "
            "WHERE s.\"User\" = ? AND s.QueryMark <> 0 "
            "ORDER BY f.FileSizeHigh, f.FileSize, coalesce(f.TTH, ''), "
            "c.CatalogueKeepPriority + r.KeepPriority DESC, c.Catalogue, r.RelativePath, f.File"));
        rows.Bind(1, m_strUserName);
        std::vector<Member> group;
        qint32 high = 0;
        qint32 size = 0;
        QString tth;
        while (rows.Step())
        {
            const qint32 rowHigh = rows.Value(0).ToLong();
            const qint32 rowSize = rows.Value(1).ToLong();
            const QString rowTth = rows.Value(2).ToString();
            if (!group.empty() && (rowHigh != high || rowSize != size || rowTth != tth))
            {
                closeGroup(group);
                group.clear();
            }
            high = rowHigh;
            size = rowSize;
            tth = rowTth;
            const bool cdrom = rows.Value(5).ToString() == QStringLiteral("CD-ROM");
            group.push_back({rows.Value(3).ToLong(), cdrom || rows.Value(4).ToBool(), rows.Value(6).ToBool()});
        }
        closeGroup(group);
    }
    catch (const CDbException& e)
    {
        // What was decided so far is still written.
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMirrowelDoc::UnmarkAtLeastOneDuplicate() - rstFile.Open"));
    }

    for (size_t start = 0; start < uncheck.size(); start += kUncheckBatch)
    {
        const size_t end = std::min(uncheck.size(), start + kUncheckBatch);
        m_pPolicy->Run(
            [&] { return QStringLiteral("CMirrowelDoc::UnmarkAtLeastOneDuplicate() : Unmarking FileId(%1)").arg(uncheck[start]); },
            [&] {
                CDbTransaction transaction(db);
                CDbStatement update = db.PrepareSqlite(
                    QStringLiteral("UPDATE \"FileUserSelect\" SET Mark = 0 WHERE FileId = ? AND \"User\" = ?"));
                for (size_t i = start; i < end; ++i)
                {
                    update.Bind(1, uncheck[i]).Bind(2, m_strUserName);
                    update.Execute();
                    update.Reset();
                }
                transaction.Commit();
            });
    }
}
