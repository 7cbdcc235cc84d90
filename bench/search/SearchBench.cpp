// bench_search DATABASE [SQLITE3]
//
// Searches of the Find dialog on a large catalogue (qrl-bench-generate, user "bench"), as Search
// All runs them: the default search query with the condition ANDed in, opened in a file list with
// the query columns, until its first screen of rows is read. Against each, the sqlite3 tool (with
// the product's extension for the collation and Jet's LIKE) runs hand-written SQL for the same rows. Prints
// both times, their ratio, and the engine's plan of the searches by TTH and by size (best of two).

#include "browser/RecordSetList.h"
#include "browser/models/FieldViewColumns.h"
#include "browser/search/FindSession.h"
#include "common/DbException.h"
#include "database/DbDatabase.h"
#include "database/JetSql.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>

namespace
{
constexpr int kScreenRows = 40;

struct SCase
{
    const char* name;
    SQueryFieldParam param;
    QString handWritten; // the same rows' keys in the same order, for sqlite3
    double limitMs;
    bool showPlan;
};

// The list opened and its first screen read; its row count through rows.
double RunOurs(CDbDatabase& db, const QString& base, const QString& condition, int* rows)
{
    CRecordSetList list;
    list.SetUserName(QStringLiteral("bench"));
    CFieldViewColumns columns;
    columns.Load(db, QStringLiteral("bench"), QStringLiteral("Query (Default)"));
    columns.ApplyTo(list);
    QElapsedTimer timer;
    timer.start();
    list.DataCtrl_SetSQL(base);
    list.DataCtrl_AddWhere(condition);
    if (list.DataCtrl_Open(&db) != 0)
        throw CDbException(3001, list.LastError());
    *rows = list.DataCtrl_GetRecordCount();
    for (int row = 0; row < std::min(*rows, kScreenRows); ++row)
        list.DataCtrlGetRowColumnValue(row, 0);
    return timer.nsecsElapsed() / 1e6;
}

double RunSqlite3(const QString& sqlite3, const QString& extension, const QString& path, const QString& sql,
                  int* rows)
{
    QProcess process;
    process.start(sqlite3, {QStringLiteral("-bail"), QStringLiteral("-cmd"),
                            QStringLiteral(".load %1 sqlite3_quarranesqlite_init").arg(extension), path,
                            QStringLiteral("SELECT count(*) FROM (%1);").arg(sql)});
    QElapsedTimer timer;
    timer.start();
    process.waitForFinished(-1);
    const double ms = timer.nsecsElapsed() / 1e6;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw CDbException(
            3001,
            QStringLiteral("sqlite3 failed: %1").arg(QString::fromUtf8(process.readAllStandardError())));
    *rows = QString::fromUtf8(process.readAllStandardOutput()).trimmed().toInt();
    return ms;
}

SQueryFieldParam Param(const QString& caption, const QString& column, int type, const QString& op,
                       const QString& value, const QString& unit = {})
{
    SQueryFieldParam param;
    param.field = {caption, column, type};
    param.strOperator = op;
    param.strValue = value;
    param.strUnit = unit;
    return param;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
    {
        std::fprintf(stderr, "usage: bench_search DATABASE [SQLITE3]\n");
        return 2;
    }
    const QString path = args[1];
    const QString sqlite3 = args.size() > 2 ? args[2] : QStringLiteral("sqlite3");
    const QString extension =
        QDir(app.applicationDirPath()).filePath(QStringLiteral("../lib/libquarrane_sqlite.so"));
    int failures = 0;
    try
    {
        CDbDatabase db;
        db.Open(path, EDbOpenMode::ReadOnly);
        db.SetUserName(QStringLiteral("bench"));
        QString tth;
        double size = 0;
        {
            CDbStatement sample =
                db.Prepare(QStringLiteral("SELECT TTH, FileSizeDouble FROM File WHERE FileId=777777"));
            if (!sample.Step())
                throw CDbException(3021, QStringLiteral("the database has no file 777777"));
            tth = sample.Value(0).ToString();
            size = sample.Value(1).ToDouble();
        }
        const QString joins = QStringLiteral(
            "FROM File f JOIN Catalogue c ON c.CatalogueId=f.CatalogueId LEFT JOIN RelativePath r ON "
            "r.RelativePathId=f.RelativePathId WHERE f.Deleted=0 AND %1 ORDER BY c.Catalogue, "
            "r.RelativePath, f.File");
        const SCase cases[] = {
            {"name, folder or alternate name contains 12345",
             Param(kFileNameFolderAlternateFile, "File.File", kFieldText, "Contains", "12345"),
             QStringLiteral("SELECT f.FileId ") + joins.arg("(f.File LIKE '*12345*' OR r.RelativePath LIKE "
                                                            "'*12345*' OR f.AlternateFile LIKE '*12345*')"),
             3000, false},
            {"TTH equals", Param("TTH", "File.TTH", kFieldText, "=", tth),
             QStringLiteral("SELECT f.FileId ") + joins.arg(QStringLiteral("f.TTH='%1'").arg(tth)), 500,
             true},
            {"exact size",
             Param("Size", "File.FileSizeDouble", kFieldSize, "=", QString::number(size, 'f', 0), "Bytes"),
             QStringLiteral("SELECT f.FileId ") +
                 joins.arg(QStringLiteral("f.FileSizeDouble=%1").arg(size, 0, 'f', 0)),
             500, true},
        };
        const QString base = DefaultSearchSql(db, false);
        for (const SCase& c : cases)
        {
            const SConditionFragment condition = QueryFieldCondition(c.param, QDateTime::currentDateTime());
            double ours = 1e300;
            double theirs = 1e300;
            int ourRows = 0;
            int theirRows = 0;
            for (int round = 0; round < 2; ++round)
            {
                ours = std::min(ours, RunOurs(db, base, condition.strFragment, &ourRows));
                theirs = std::min(theirs, RunSqlite3(sqlite3, extension, path, c.handWritten, &theirRows));
            }
            const bool ok = ours <= c.limitMs && ourRows == theirRows;
            failures += ok ? 0 : 1;
            std::printf(
                "%-48s %8d rows  first screen %8.1f ms (limit %.0f)  sqlite3 %8.1f ms  ratio %5.2f  %s\n",
                c.name, ourRows, ours, c.limitMs, theirs, ours / theirs, ok ? "ok" : "FAILED");
            if (ourRows != theirRows)
                std::printf("  sqlite3 found %d rows\n", theirRows);
            if (c.showPlan)
            {
                const QString statement = SearchStatement(
                    base, condition.strFragment, QStringLiteral("File.FileId"), QStringLiteral("bench"));
                CDbStatement plan = db.PrepareSqlite(QStringLiteral("EXPLAIN QUERY PLAN ") +
                                                     db.TranslateJet(statement)->statements.front());
                while (plan.Step())
                    std::printf("  plan: %s\n", qPrintable(plan.Value(3).ToString()));
            }
        }
    }
    catch (const CDbException& e)
    {
        std::fprintf(stderr, "bench_search: %s (%ld)\n", qPrintable(e.m_strDescription), e.m_nErrorCode);
        return 1;
    }
    return failures == 0 ? 0 : 1;
}
