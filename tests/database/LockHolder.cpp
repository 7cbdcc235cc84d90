// db_lock_holder DATABASE
//
// Opens DATABASE (a file or a server address), starts a write transaction and writes rows, prints "locked"
// and keeps the lock until a line arrives on standard input; then rolls back and exits 0. The second program
// of the locking tests.

#include "common/DbException.h"
#include "database/DbDatabase.h"
#include "database/DbTransaction.h"

#include <QCoreApplication>

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: db_lock_holder DATABASE\n");
        return 2;
    }
    try
    {
        CDbDatabase db;
        db.Open(QString::fromLocal8Bit(argv[1]));
        CDbTransaction trans(db);
        db.Execute(QStringLiteral("UPDATE Parameter SET [Value]='held' WHERE Parameter='CompactOnExit'"));
        // On a server a transaction locks only the rows it writes, and an identifier counter is
        // advanced under its row's lock alone: hold that of the files too.
        db.Execute(QStringLiteral("UPDATE IndexId SET IndexId=IndexId WHERE [Index]='File_FileId'"));
        std::printf("locked\n");
        std::fflush(stdout);
        std::string line;
        std::getline(std::cin, line);
    }
    catch (const CDbException& e)
    {
        std::fprintf(stderr, "db_lock_holder: %ld %s\n", e.m_nErrorCode, e.what());
        return 1;
    }
    return 0;
}
