// bench_database [ROWS]
//
// Builds a catalogue database with ROWS files (100000 by default) and the same rows in a plain
// SQLite table, then times three things the file list and the synchronizer do all day, through
// the engine layer and through SQLite's C API directly (NOCASE collation, SQLite's LIKE):
// sorting every name, a LIKE scan, and point lookups by FileId. Prints each time and the ratio.

#include "common/DbException.h"
#include "database/DbDatabase.h"
#include "database/DbTransaction.h"
#include "database/TemplateDatabase.h"

#include <sqlite3.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace
{
double Milliseconds(const std::function<void()>& work)
{
    double best = 1e300;
    for (int run = 0; run < 3; ++run)
    {
        QElapsedTimer timer;
        timer.start();
        work();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

void RawExec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK)
    {
        std::fprintf(stderr, "sqlite: %s\n", error);
        std::exit(1);
    }
}

long long RawCount(sqlite3* db, const char* sql, int bind = -1)
{
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    if (bind >= 0)
        sqlite3_bind_int(st, 1, bind);
    long long n = 0;
    while (sqlite3_step(st) == SQLITE_ROW)
        n += sqlite3_column_bytes(st, 0) > 0 ? 1 : 0;
    sqlite3_finalize(st);
    return n;
}

void Report(const char* what, double ours, double peer)
{
    std::printf("%-40s engine %9.2f ms   sqlite %9.2f ms   ratio %5.2f\n", what, ours, peer, ours / peer);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.qrl"));
    const QByteArray peerPath = dir.filePath(QStringLiteral("peer.sqlite")).toUtf8();
    if (!WriteTemplateDatabase(path))
        return 1;

    // The same names in both: mixed case, some non-ASCII.
    QStringList names;
    QRandomGenerator random(42);
    const QString letters = QStringLiteral("abcdefghijKLMNOPQRSTuvwxyzÄöüéÉ");
    for (int i = 0; i < rows; ++i)
    {
        QString name;
        const int length = 6 + int(random.bounded(20));
        for (int j = 0; j < length; ++j)
            name += letters[int(random.bounded(letters.size()))];
        names << name + QStringLiteral(".txt");
    }

    try
    {
        CDbDatabase db;
        db.Open(path);
        {
            CDbTransaction trans(db);
            db.Execute(QStringLiteral("INSERT INTO Catalogue (CatalogueId, Catalogue) VALUES (1, 'bench')"));
            for (int i = 0; i < rows; ++i)
                db.Execute(QStringLiteral("INSERT INTO [File] (CatalogueId, FileId, [File], FileSize, FileSizeDouble) "
                                          "VALUES (1, ?, ?, 0, 0)"),
                           {CDbValue(i + 1), CDbValue(names[i])});
            trans.Commit();
        }
        sqlite3* peer = nullptr;
        sqlite3_open(peerPath.constData(), &peer);
        RawExec(peer, "PRAGMA journal_mode=WAL; CREATE TABLE File (FileId INTEGER PRIMARY KEY, File TEXT COLLATE NOCASE);"
                      "BEGIN");
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(peer, "INSERT INTO File VALUES (?, ?)", -1, &insert, nullptr);
        for (int i = 0; i < rows; ++i)
        {
            const QByteArray utf8 = names[i].toUtf8();
            sqlite3_bind_int(insert, 1, i + 1);
            sqlite3_bind_text(insert, 2, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        RawExec(peer, "COMMIT");

        long long ourCount = 0;
        long long peerCount = 0;
        const double sortOurs = Milliseconds([&] {
            CDbStatement st = db.Prepare(QStringLiteral("SELECT File.File FROM [File] ORDER BY [File].[File]"));
            ourCount = 0;
            while (st.Step())
                ourCount += st.Value(0).ToString().isEmpty() ? 0 : 1;
        });
        const double sortPeer = Milliseconds([&] { peerCount = RawCount(peer, "SELECT File FROM File ORDER BY File"); });
        Report("ORDER BY name, every row", sortOurs, sortPeer);

        const double likeOurs = Milliseconds([&] {
            CDbStatement st = db.Prepare(QStringLiteral("SELECT File.File FROM [File] WHERE File.File LIKE '*abc*'"));
            ourCount = 0;
            while (st.Step())
                ++ourCount;
        });
        const double likePeer = Milliseconds([&] { peerCount = RawCount(peer, "SELECT File FROM File WHERE File LIKE '%abc%'"); });
        Report("LIKE '*abc*' scan", likeOurs, likePeer);
        if (ourCount != peerCount)
            std::printf("  (matches differ: engine %lld, sqlite %lld: sqlite's LIKE folds ASCII only)\n", ourCount, peerCount);

        const int lookups = std::min(rows, 20000);
        const double seekOurs = Milliseconds([&] {
            for (int i = 1; i <= lookups; ++i)
            {
                CDbStatement st = db.Prepare(QStringLiteral("SELECT File.* FROM File WHERE File.FileId=?"));
                st.Bind(1, i);
                st.Step();
            }
        });
        const double seekPeer = Milliseconds([&] {
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(peer, "SELECT * FROM File WHERE FileId=?", -1, &st, nullptr);
            for (int i = 1; i <= lookups; ++i)
            {
                sqlite3_bind_int(st, 1, i);
                sqlite3_step(st);
                sqlite3_reset(st);
            }
            sqlite3_finalize(st);
        });
        Report("lookups by FileId (20000)", seekOurs, seekPeer);
        sqlite3_close(peer);
    }
    catch (const CDbException& e)
    {
        std::fprintf(stderr, "engine error %ld: %s\n", e.m_nErrorCode, e.what());
        return 1;
    }
    return 0;
}
