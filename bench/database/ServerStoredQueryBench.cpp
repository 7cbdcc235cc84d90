// bench_server_stored_queries DATABASE [ADDRESS]
//
// "Check Duplicates For Deletion in All Catalogues" on the two engines, same machine, same rows, in
// the same run: its stored action queries (run as the query runner runs them) on a copy of
// DATABASE (from qrl-bench-generate, user "bench") and on a server catalogue holding the same rows.
// ADDRESS names an empty server database (a postgresql:// URL or a connection string); without it
// a throwaway server is started in a temporary folder. The rows reach the server by COPY, then
// ANALYZE, as an import would leave them. Prints both times (best of two rounds), the ratio and
// whether both marked the same files.

#include "DuplicateSearchSteps.h"
#include "PostgresServer.h"
#include "common/DbException.h"
#include "database/DbDatabase.h"
#include "database/DbQueryDef.h"
#include "database/JetSql.h"
#include "database/TemplateDatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTemporaryDir>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace
{
const QString kUser = QStringLiteral("bench");

QString Counts(CDbDatabase& db)
{
    CDbStatement st =
        db.PrepareSqlite(QStringLiteral("SELECT count(*), sum(QueryMark), sum(Mark), sum(CAST(FileId AS "
                                        "BIGINT) * QueryMark) FROM FileUserSelect "
                                        "WHERE \"User\" = 'bench'"));
    st.Step();
    return QStringLiteral("%1 rows, %2 query-marked, %3 checked, id sum %4")
        .arg(st.Value(0).ToString(), st.Value(1).ToString(), st.Value(2).ToString(), st.Value(3).ToString());
}

double RunSteps(const QString& address, QString* counts)
{
    CDbDatabase db;
    db.Open(address);
    db.SetUserName(kUser);
    const double ms = RunDuplicateSearchSteps(db, kUser);
    *counts = Counts(db);
    std::printf("  result: %s\n", qPrintable(*counts));
    return ms;
}

void Fail(const QString& what)
{
    throw CDbException(3001, what);
}

void Exec(PGconn* conn, const QString& sql)
{
    std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(conn, sql.toUtf8().constData()), PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        Fail(QStringLiteral("%1: %2").arg(sql.left(80), QString::fromUtf8(PQerrorMessage(conn))));
}

// One value in COPY's text format.
void AppendCopyValue(QByteArray& line, sqlite3_stmt* st, int column)
{
    if (sqlite3_column_type(st, column) == SQLITE_NULL)
    {
        line += "\\N";
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, column));
    const int length = sqlite3_column_bytes(st, column);
    for (int i = 0; i < length; ++i)
    {
        switch (text[i])
        {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += text[i];
        }
    }
}

// Every row of the catalogue file into the server catalogue, table by table, replacing what the
// server's tables held (the template's rows, the same as the file's).
void CopyRows(const QString& file, const QString& address)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
        Fail(QStringLiteral("cannot open %1").arg(file));
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> holdDb(db, sqlite3_close);
    std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(address.toUtf8().constData()), PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK)
        Fail(QString::fromUtf8(PQerrorMessage(conn.get())));

    QSet<QString> serverTables;
    {
        std::unique_ptr<PGresult, decltype(&PQclear)> list(
            PQexec(conn.get(), "SELECT relname FROM pg_class WHERE relkind = 'r' AND "
                               "relnamespace = current_schema()::regnamespace"),
            PQclear);
        for (int i = 0; i < PQntuples(list.get()); ++i)
            serverTables.insert(QString::fromUtf8(PQgetvalue(list.get(), i, 0)));
    }
    QStringList tables;
    {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table'", -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
        {
            const QString name = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
            if (serverTables.contains(name))
                tables << name;
        }
        sqlite3_finalize(st);
    }
    QStringList quoted;
    for (const QString& table : tables)
        quoted << QLatin1Char('"') + table + QLatin1Char('"');
    Exec(conn.get(), QStringLiteral("BEGIN; SET LOCAL session_replication_role = replica; TRUNCATE %1")
                         .arg(quoted.join(QLatin1String(", "))));
    for (const QString& table : tables)
    {
        sqlite3_stmt* st = nullptr;
        const QByteArray select = QStringLiteral("SELECT * FROM \"%1\"").arg(table).toUtf8();
        if (sqlite3_prepare_v2(db, select.constData(), -1, &st, nullptr) != SQLITE_OK)
            Fail(QString::fromUtf8(sqlite3_errmsg(db)));
        std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> holdSt(st, sqlite3_finalize);
        QStringList columns;
        for (int i = 0; i < sqlite3_column_count(st); ++i)
            columns << QStringLiteral("\"%1\"").arg(QString::fromUtf8(sqlite3_column_name(st, i)));
        std::unique_ptr<PGresult, decltype(&PQclear)> started(
            PQexec(conn.get(), QStringLiteral("COPY \"%1\" (%2) FROM STDIN")
                                   .arg(table, columns.join(QLatin1String(", ")))
                                   .toUtf8()
                                   .constData()),
            PQclear);
        if (PQresultStatus(started.get()) != PGRES_COPY_IN)
            Fail(QString::fromUtf8(PQerrorMessage(conn.get())));
        QByteArray chunk;
        while (sqlite3_step(st) == SQLITE_ROW)
        {
            for (int i = 0; i < sqlite3_column_count(st); ++i)
            {
                if (i > 0)
                    chunk += '\t';
                AppendCopyValue(chunk, st, i);
            }
            chunk += '\n';
            if (chunk.size() > (1 << 20))
            {
                PQputCopyData(conn.get(), chunk.constData(), static_cast<int>(chunk.size()));
                chunk.clear();
            }
        }
        if (!chunk.isEmpty())
            PQputCopyData(conn.get(), chunk.constData(), static_cast<int>(chunk.size()));
        PQputCopyEnd(conn.get(), nullptr);
        std::unique_ptr<PGresult, decltype(&PQclear)> done(PQgetResult(conn.get()), PQclear);
        if (PQresultStatus(done.get()) != PGRES_COMMAND_OK)
            Fail(QStringLiteral("COPY %1: %2").arg(table, QString::fromUtf8(PQerrorMessage(conn.get()))));
        while (PGresult* more = PQgetResult(conn.get()))
            PQclear(more);
    }
    Exec(conn.get(), QStringLiteral("COMMIT"));
    Exec(conn.get(), QStringLiteral("ANALYZE"));
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
    {
        std::fprintf(stderr, "usage: bench_server_stored_queries DATABASE [ADDRESS]\n");
        return 2;
    }
    try
    {
        QString address = args.size() > 2 ? args[2] : QString();
        if (address.isEmpty())
        {
            CTestPostgresServer& server = CTestPostgresServer::Instance();
            if (!server.Available())
            {
                std::fprintf(stderr, "no server: %s\n", qPrintable(server.Reason()));
                return 1;
            }
            address = server.NewDatabase();
        }
        QString error;
        if (!CreateServerCatalogue(address, &error))
            Fail(error);
        QElapsedTimer load;
        load.start();
        CopyRows(args[1], address);
        std::printf("rows copied to the server and analysed in %.1f s\n", load.elapsed() / 1000.0);

        QTemporaryDir dir(QFileInfo(args[1]).absolutePath() + QStringLiteral("/bench-XXXXXX"));
        const QString file = dir.filePath(QStringLiteral("copy.qrl"));
        if (!QFile::copy(args[1], file))
            Fail(QStringLiteral("cannot copy %1").arg(args[1]));
        double fileMs = 1e300;
        double serverMs = 1e300;
        QString fileCounts;
        QString serverCounts;
        // Alternated, the faster of two rounds each: the machine is shared.
        for (int round = 1; round <= 2; ++round)
        {
            std::printf("round %d, SQLite file:\n", round);
            fileMs = std::min(fileMs, RunSteps(file, &fileCounts));
            std::printf("round %d, PostgreSQL server:\n", round);
            serverMs = std::min(serverMs, RunSteps(address, &serverCounts));
        }
        const bool same = fileCounts == serverCounts;
        std::printf("\nSQLite file        %10.1f ms\nPostgreSQL server  %10.1f ms\n", fileMs, serverMs);
        std::printf("ratio %.2f (target: 2.00 or less); same files marked: %s\n", serverMs / fileMs,
                    same ? "yes" : "NO");
        return same ? 0 : 1;
    }
    catch (const CDbException& e)
    {
        std::fprintf(stderr, "failed: %s (%ld)\n", qPrintable(e.m_strDescription), e.m_nErrorCode);
        return 1;
    }
}
