// bench_record_set_list DATABASE [SQLITE3]
//
// On a copy of a synthetic catalogue (qrl-bench-generate, user "bench"):
// - the file list on DefaultSearchAllCataloguesQuery: opening (count and the first screen of 50
//   rows), screens of 50 rows at random positions, a header click (sort and reopen), and the
//   list's own memory per row;
// - "Check Duplicates For Deletion in All Catalogues" end to end (every step, the routine that
//   keeps one copy of each file included) against, in the same run, a hand-written equivalent in
//   the sqlite3 tool on another copy, with the ratio.
// The sqlite3 tool loads the GENERAL collation from the product's extension, build/lib/libquarrane_sqlite.so.

#include "browser/MirrowelDoc.h"
#include "browser/QueryRunner.h"
#include "browser/RecordSetList.h"
#include "common/ScriptedInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbQueryDef.h"
#include "database/DbRetryPolicy.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace
{
const QString kUser = QStringLiteral("bench");

// Mark every duplicate by TTH and size, check the marked ones that may go, then uncheck the copy
// with the highest keep priority of every group whose copies are all checked (CD-ROM copies and
// ghosts are never checked here, so no group needs the first pass).
const char* kHandWritten = R"(
BEGIN;
UPDATE FileUserSelect SET QueryMark = 0 WHERE "User" = 'bench';
UPDATE FileUserSelect SET Mark = 0 WHERE "User" = 'bench';
INSERT INTO FileUserSelect (FileId, "User", Mark, QueryMark)
  SELECT f.FileId, 'bench', (f.DontMark = 0 AND f.Ghost = 0 AND c.DriveType NOT IN ('CD-ROM', 'Removable')), 1
  FROM File f JOIN Catalogue c ON c.CatalogueId = f.CatalogueId
  WHERE f.Deleted = 0 AND f.QueryHide = 0 AND (f.TTH, f.FileSize, f.FileSizeHigh) IN
    (SELECT TTH, FileSize, FileSizeHigh FROM File WHERE Deleted = 0 AND QueryHide = 0 AND TTH <> ''
     GROUP BY TTH, FileSize, FileSizeHigh HAVING count(*) > 1)
  ON CONFLICT (FileId, "User") DO UPDATE SET QueryMark = 1, Mark = excluded.Mark;
UPDATE FileUserSelect SET Mark = 0 WHERE "User" = 'bench' AND FileId IN (
  SELECT FileId FROM (
    SELECT f.FileId, s.Mark, row_number() OVER w AS n, min(s.Mark) OVER g AS allChecked
    FROM File f JOIN Catalogue c ON c.CatalogueId = f.CatalogueId
    JOIN FileUserSelect s ON s.FileId = f.FileId AND s."User" = 'bench'
    LEFT JOIN RelativePath r ON r.RelativePathId = f.RelativePathId
    WHERE s.QueryMark = 1
    WINDOW g AS (PARTITION BY f.FileSizeHigh, f.FileSize, coalesce(f.TTH, '')),
           w AS (g ORDER BY c.CatalogueKeepPriority + r.KeepPriority DESC, c.Catalogue, r.RelativePath, f.File))
  WHERE n = 1 AND allChecked = 1);
COMMIT;
)";

double Ms(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e6;
}

CDataCtrlDescriptor Field(const QString& name, int kind = CDataCtrlDescriptor::KindText)
{
    CDataCtrlDescriptor d;
    d.m_strFieldName = name;
    d.m_strCaption = name.section(QLatin1Char('.'), 1);
    d.m_nKind = kind;
    return d;
}

// Reads every cell of rows [first, first + 50) now, as a script does (the view's path is
// measured by bench_file_list_gui).
void ReadScreen(CRecordSetList& list, int first)
{
    for (int row = first; row < std::min(first + 50, list.rowCount()); ++row)
        for (int field = 0; field < list.columnCount(); ++field)
            list.DataCtrlGetRowColumnValue(row, field);
}

bool Copy(const QString& from, const QString& to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}

void BenchList(const QString& path)
{
    CDbDatabase db;
    db.Open(path);
    db.SetUserName(kUser);
    CRecordSetList list;
    list.SetUserName(kUser);
    list.DataCtrl_SetSQL(db.OpenQueryDef(QStringLiteral("DefaultSearchAllCataloguesQuery")).Sql());
    for (const CDataCtrlDescriptor& f :
         {Field("Catalogue.Catalogue"), Field("RelativePath.RelativePath"), Field("File.File"),
          Field("File.FileSizeDouble", CDataCtrlDescriptor::KindFileSize), Field("File.LastModified"),
          Field("File.Attributes"), Field("File.TTH")})
    {
        list.DataCtrl_AddField(f);
        CDataCtrlDescriptor column = f;
        column.m_nFieldIndex = static_cast<int>(list.Fields().size()) - 1;
        list.AddColumn(column);
    }

    QElapsedTimer timer;
    timer.start();
    if (list.DataCtrl_Open(&db) != 0)
    {
        std::printf("open failed: %s\n", qPrintable(list.LastError()));
        return;
    }
    ReadScreen(list, 0);
    const double openMs = Ms(timer);
    const int rows = list.rowCount();

    QRandomGenerator random(42);
    double worstMs = 0;
    double totalMs = 0;
    const int screens = 200;
    for (int i = 0; i < screens; ++i)
    {
        timer.restart();
        ReadScreen(list, static_cast<int>(random.bounded(std::max(1, rows - 50))));
        const double ms = Ms(timer);
        worstMs = std::max(worstMs, ms);
        totalMs += ms;
    }

    timer.restart();
    {
        QEventLoop sorted;
        QObject::connect(&list, &CRecordSetList::opened, &sorted, &QEventLoop::quit);
        list.DataCtrl_OnHeaderClick(2); // by file name
        sorted.exec();
    }
    ReadScreen(list, 0);
    const double sortMs = Ms(timer);

    // The list's own memory: a key per row and one band bit (the selection is the view's ranges).
    const double perRow = (4.0 * rows + rows / 8.0) / std::max(1, rows);
    std::printf("file list on DefaultSearchAllCataloguesQuery, %d rows\n", rows);
    std::printf("  open (count and first screen)  %8.1f ms   target < 1500 ms\n", openMs);
    std::printf("  random screen of 50 rows       %8.2f ms mean, %.2f ms worst of %d   target < 20 ms\n",
                totalMs / screens, worstMs, screens);
    std::printf("  header click, sort and reopen  %8.1f ms   target < 3000 ms\n", sortMs);
    std::printf("  memory of the open list        %8.1f bytes per row   target <= 16\n", perRow);
}

double BenchDuplicateSearch(const QString& path)
{
    CScriptedInteraction ui;
    CMirrowelDoc doc(ui);
    doc.SetUserName(kUser);
    if (!doc.OpenDatabase(path))
        return -1;
    QElapsedTimer timer;
    timer.start();
    doc.Queries().ExecuteQuery(
        doc.Queries().QueryIdFromName(QStringLiteral("Check Duplicates For Deletion in All Catalogues")));
    const double ms = Ms(timer);
    doc.CloseDatabase();
    return ms;
}

double BenchSqlite3(const QString& sqlite3, const QString& extension, const QString& path)
{
    QProcess process;
    process.start(sqlite3, {QStringLiteral("-bail"), QStringLiteral("-cmd"),
                            QStringLiteral(".load %1 sqlite3_quarranesqlite_init").arg(extension), path});
    QElapsedTimer timer;
    timer.start();
    process.write(kHandWritten);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    const double ms = Ms(timer);
    if (process.exitCode() != 0)
    {
        std::printf("sqlite3 failed: %s\n", process.readAllStandardError().constData());
        return -1;
    }
    return ms;
}

QString Checked(const QString& path)
{
    CDbDatabase db;
    db.Open(path);
    CDbStatement st = db.PrepareSqlite(QStringLiteral(
        "SELECT sum(QueryMark), sum(Mark), sum(FileId * Mark) FROM FileUserSelect WHERE \"User\" = 'bench'"));
    st.Step();
    return QStringLiteral("%1 query-marked, %2 checked, id sum %3")
        .arg(st.Value(0).ToString(), st.Value(1).ToString(), st.Value(2).ToString());
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
    {
        std::fprintf(stderr, "usage: bench_record_set_list DATABASE [SQLITE3]\n");
        return 2;
    }
    const QString sqlite3 = args.size() > 2 ? args[2] : QStringLiteral("sqlite3");
    const QString extension =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../lib/libquarrane_sqlite.so"));
    QTemporaryDir work(QFileInfo(args[1]).absolutePath() + QStringLiteral("/bench-XXXXXX"));
    const QString ours = work.filePath(QStringLiteral("ours.qrl"));
    const QString theirs = work.filePath(QStringLiteral("theirs.qrl"));
    if (!Copy(args[1], ours) || !Copy(args[1], theirs))
    {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(args[1]));
        return 1;
    }
    BenchList(ours);

    const double oursMs = BenchDuplicateSearch(ours);
    const double theirsMs = BenchSqlite3(sqlite3, extension, theirs);
    std::printf("Check Duplicates For Deletion in All Catalogues, end to end\n");
    std::printf("  ours (all steps and the keep-one routine) %8.1f ms   target < 20000 ms\n", oursMs);
    std::printf("  hand-written through sqlite3              %8.1f ms\n", theirsMs);
    std::printf("  ratio %.2f   target < 4\n", oursMs / theirsMs);
    std::printf("  ours:   %s\n  theirs: %s\n", qPrintable(Checked(ours)), qPrintable(Checked(theirs)));
    return 0;
}
