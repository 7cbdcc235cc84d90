#include "cli/CliDelete.h"

#include "browser/JobRunner.h"
#include "browser/MirrowelDoc.h"
#include "browser/fileops/DeleteOrGhost.h"
#include "browser/fileops/FileProblems.h"
#include "browser/fileops/FileRecord.h"
#include "cli/CliCommands.h"
#include "cli/CliTable.h"
#include "common/UserInteraction.h"
#include "database/DbDatabase.h"

#include <QTextStream>

#include <cstdio>

namespace
{
void Say(const QString& text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

// The problems of a pass on stderr; the checking pass is answered with "go on" (the doing pass
// tries each file again and leaves those that still fail alone).
class CCliProblems final : public CFileProblemsPrompt
{
public:
    int Ask(const CFileProblems& problems) override
    {
        Say(QStringLiteral("quarrane-cli: %1").arg(problems.strHeader));
        for (int i = 0; i + 2 < problems.rows.size(); i += 3)
        {
            QString line = QStringLiteral("  %1: %2").arg(problems.rows[i], problems.rows[i + 1]);
            if (!problems.rows[i + 2].isEmpty())
                line += QStringLiteral(" (%1)").arg(problems.rows[i + 2]);
            Say(line);
        }
        return problems.IsOkOnly() ? CFileProblems::kStop : CFileProblems::kGoOn;
    }
};
} // namespace

int DeleteCheckedCommand(CMirrowelDoc& doc, const CCliOptions& options, QTextStream& out)
{
    if (!options.arguments.isEmpty())
    {
        std::fprintf(stderr, "quarrane-cli: delete-checked takes a database only\n"
                             "(quarrane-cli --help tells how to use it)\n");
        return kCliUsage;
    }
    const bool ghost = options.ghost;
    CDbDatabase& db = *doc.Database();
    const QString user = doc.UserName();
    std::vector<qint32> ids;
    {
        // Rows already deleted (and, when ghosting, ghosts) have nothing left to remove.
        CDbStatement st = db.PrepareSqlite(
            QStringLiteral("SELECT f.FileId FROM \"File\" f JOIN \"FileUserSelect\" s ON s.FileId = f.FileId "
                           "WHERE s.\"User\" = ? AND s.Mark <> 0 AND f.Deleted = 0 %1 ORDER BY f.FileId")
                .arg(ghost ? QStringLiteral("AND f.Ghost = 0") : QString()));
        st.Bind(1, user);
        while (st.Step())
            ids.push_back(st.Value(0).ToLong());
    }
    const CEveryCopyCheck check = FindFilesLosingEveryCopy(db, ids);
    if (check.nContents > 0 && !options.quiet)
        Say(QStringLiteral("quarrane-cli: %1 files would lose every copy; one copy of each is kept")
                .arg(check.nContents));
    ids = WithoutKeptCopies(ids, check.keepFileIds);

    if (!options.yes)
    {
        CCliTableWriter writer(out, options.format, {"FileId", "Path", "Size"});
        for (const qint32 id : ids)
            if (const std::optional<CFileRecord> file = ReadFileRecord(db, id))
                writer.Row(
                    {CDbValue(id), CDbValue(file->bGhost ? QString() : file->Path()), file->fileSizeDouble});
        writer.Finish();
        out.flush();
        if (!options.quiet)
            Say(QStringLiteral("quarrane-cli: nothing was %1; --yes %2 these %3 files")
                    .arg(ghost ? QStringLiteral("ghosted") : QStringLiteral("deleted"),
                         ghost ? QStringLiteral("ghosts") : QStringLiteral("deletes"))
                    .arg(ids.size()));
        return kCliDone;
    }
    if (ids.empty())
        return kCliDone;

    CCliProblems problems;
    CFileOpResult result;
    CUserInteraction& ui = doc.Interaction();
    ui.SetOperationRunning(true);
    CJobContext job(ui, &db, &doc.RetryPolicy());
    RunDeleteOrGhost(job, ids, ghost, user, problems, result);
    ui.SetOperationRunning(false);
    const size_t failed = ids.size() - result.doneFileIds.size();
    if (!options.quiet)
        Say(QStringLiteral("quarrane-cli: %1 files %2%3")
                .arg(result.doneFileIds.size())
                .arg(ghost ? QStringLiteral("ghosted") : QStringLiteral("deleted (in the trash)"))
                .arg(failed ? QStringLiteral(", %1 left as they were").arg(failed) : QString()));
    return failed ? kCliFailed : kCliDone;
}
