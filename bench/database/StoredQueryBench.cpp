// bench_stored_queries DATABASE [SQLITE3]
//
// Times "Check Duplicates For Deletion in All Catalogues" (its stored action queries, run as the
// query runner runs them: GetUserName() replaced, ParamUserName set, each a query definition of
// its own) on a copy of DATABASE, and, in the same run, one hand-written SQLite statement that
// marks the same files (a GROUP BY TTH, FileSize, FileSizeHigh HAVING count(*) > 1 upsert) through
// the sqlite3 tool on another copy. Checks that both marked the same files, and prints both times,
// the ratio and the peak memory of this process and of the sqlite3 process (best of two rounds).
// DATABASE comes from qrl-bench-generate (user "bench"); the sqlite3 tool loads the GENERAL
// collation from the product's extension, build/lib/libquarrane_sqlite.so.

#include "DuplicateSearchSteps.h"
#include "common/DbException.h"
#include "database/DbDatabase.h"
#include "database/DbQueryDef.h"
#include "database/JetSql.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace
{
const QString kUser = QStringLiteral("bench");

const char* kHandWritten = R"(
BEGIN;
INSERT INTO FileUserSelect (FileId, "User", Mark, QueryMark)
  SELECT f.FileId, 'bench', (f.DontMark = 0 AND f.Ghost = 0 AND c.DriveType NOT IN ('CD-ROM', 'Removable')), 1
  FROM File f JOIN Catalogue c ON c.CatalogueId = f.CatalogueId
  WHERE f.Deleted = 0 AND f.QueryHide = 0 AND (f.TTH, f.FileSize, f.FileSizeHigh) IN
    (SELECT TTH, FileSize, FileSizeHigh FROM File WHERE Deleted = 0 AND QueryHide = 0 AND TTH <> ''
     GROUP BY TTH, FileSize, FileSizeHigh HAVING count(*) > 1)
  ON CONFLICT (FileId, "User") DO UPDATE SET QueryMark = 1, Mark = excluded.Mark;
COMMIT;
)";

long PeakKiB(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss;
}

QString Counts(CDbDatabase& db)
{
    CDbStatement st =
        db.PrepareSqlite(QStringLiteral("SELECT count(*), sum(QueryMark), sum(Mark), sum(FileId * QueryMark) "
                                        "FROM FileUserSelect WHERE \"User\" = 'bench'"));
    st.Step();
    return QStringLiteral("%1 rows, %2 query-marked, %3 checked, id sum %4")
        .arg(st.Value(0).ToString(), st.Value(1).ToString(), st.Value(2).ToString(), st.Value(3).ToString());
}

double RunSteps(const QString& path)
{
    CDbDatabase db;
    db.Open(path);
    db.SetUserName(kUser);
    const double ms = RunDuplicateSearchSteps(db, kUser);
    std::printf("  result: %s\n", qPrintable(Counts(db)));

    // Not part of the comparison: reading the output query that the file list then shows.
    QElapsedTimer outputTimer;
    outputTimer.start();
    QString output = db.OpenQueryDef(QStringLiteral("DuplicatesByTTHFileSize")).Sql();
    output.replace(QStringLiteral("GetUserName()"), CJetSql::QuoteText(kUser));
    int rows = 0;
    for (CDbStatement list = db.CreateQueryDef(output).OpenRecordset(); list.Step();)
        ++rows;
    std::printf("  (output query DuplicatesByTTHFileSize: %d rows read in %.1f ms)\n", rows,
                outputTimer.nsecsElapsed() / 1e6);
    return ms;
}
// Runs the hand-written SQL through the sqlite3 tool; its peak memory from /usr/bin/time.
double RunSqlite3(const QString& sqlite3, const QString& extension, const QString& path, long* peakKiB)
{
    QStringList arguments{QStringLiteral("-bail"), QStringLiteral("-cmd"),
                          QStringLiteral(".load %1 sqlite3_quarranesqlite_init").arg(extension), path};
    QProcess process;
    const bool timed = QFile::exists(QStringLiteral("/usr/bin/time"));
    if (timed)
    {
        process.setProgram(QStringLiteral("/usr/bin/time"));
        process.setArguments(QStringList{QStringLiteral("-f"), QStringLiteral("qrl-peak-kib %M"), sqlite3} +
                             arguments);
    }
    else
    {
        process.setProgram(sqlite3);
        process.setArguments(arguments);
    }
    QElapsedTimer timer;
    timer.start();
    process.start();
    process.write(kHandWritten);
    process.closeWriteChannel();
    process.waitForFinished(-1);
    const double ms = timer.nsecsElapsed() / 1e6;
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw CDbException(3001, QStringLiteral("sqlite3 failed: %1").arg(errors));
    *peakKiB = 0;
    for (const QString& line : errors.split(QLatin1Char('\n')))
        if (line.startsWith(QLatin1String("qrl-peak-kib ")))
            *peakKiB = line.mid(13).toLong();
    return ms;
}

bool Copy(const QString& from, const QString& to)
{
    QFile::remove(to);
    return QFile::copy(from, to);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
    {
        std::fprintf(stderr, "usage: bench_stored_queries DATABASE [SQLITE3]\n");
        return 2;
    }
    const QString sqlite3 = args.size() > 2 ? args[2] : QStringLiteral("sqlite3");
    const QString extension =
        QDir(app.applicationDirPath()).filePath(QStringLiteral("../lib/libquarrane_sqlite.so"));
    QTemporaryDir dir(QFileInfo(args[1]).absolutePath() + QStringLiteral("/bench-XXXXXX"));
    const QString ours = dir.filePath(QStringLiteral("ours.qrl"));
    const QString theirs = dir.filePath(QStringLiteral("theirs.qrl"));
    try
    {
        // Two rounds on fresh copies, the faster of each counts: the machine is shared.
        double oursMs = 1e300;
        double theirsMs = 1e300;
        long theirsPeak = 0;
        QString ourCounts;
        QString theirCounts;
        for (int round = 1; round <= 2; ++round)
        {
            if (!Copy(args[1], ours) || !Copy(args[1], theirs))
            {
                std::fprintf(stderr, "cannot copy %s into %s\n", qPrintable(args[1]), qPrintable(dir.path()));
                return 1;
            }
            std::printf("round %d: Check Duplicates For Deletion in All Catalogues, stored query steps:\n",
                        round);
            oursMs = std::min(oursMs, RunSteps(ours));
            std::printf("round %d: hand-written SQL through %s\n", round, qPrintable(sqlite3));
            long peak = 0;
            theirsMs = std::min(theirsMs, RunSqlite3(sqlite3, extension, theirs, &peak));
            theirsPeak = std::max(theirsPeak, peak);
            CDbDatabase check;
            check.Open(theirs);
            theirCounts = Counts(check);
            check.Close();
            check.Open(ours);
            ourCounts = Counts(check);
            check.Close();
            std::printf("  result: %s\n", qPrintable(theirCounts));
        }
        const bool same = ourCounts == theirCounts;
        std::printf("\nstored query steps   %10.1f ms   peak memory %7.1f MiB (this process)\n", oursMs,
                    PeakKiB(RUSAGE_SELF) / 1024.0);
        std::printf("sqlite3 hand-written %10.1f ms   peak memory %7.1f MiB (sqlite3)\n", theirsMs,
                    theirsPeak / 1024.0);
        std::printf("ratio %.2f (target: 3.00 or less); same files marked: %s\n", oursMs / theirsMs,
                    same ? "yes" : "NO");
        return same ? 0 : 1;
    }
    catch (const CDbException& e)
    {
        std::fprintf(stderr, "failed: %s (%ld)\n", qPrintable(e.m_strDescription), e.m_nErrorCode);
        return 1;
    }
}
