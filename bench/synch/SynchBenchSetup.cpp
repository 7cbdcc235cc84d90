// Makes and reads the database the synchronizer benchmark runs on:
//
//   bench_synch_setup create DB LOCATION SERIALHEX   a template database with catalogue 1 at LOCATION
//   bench_synch_setup query DB SQL                   prints the rows of a query (SQLite SQL), "|" between fields
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try
    {
        if (args.size() == 5 && args[1] == QStringLiteral("create"))
        {
            if (!WriteTemplateDatabase(args[2]))
                return 1;
            CDbDatabase db;
            db.Open(args[2]);
            db.Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                                      "Location, DriveType) VALUES (0, 1, 'Bench', 'BENCH', ?, ?, 'Fixed')"),
                       {CDbValue(qint32(args[4].toUInt(nullptr, 16))), CDbValue(args[3])});
            return 0;
        }
        if (args.size() == 4 && args[1] == QStringLiteral("query"))
        {
            CDbDatabase db;
            db.Open(args[2]);
            CDbStatement st = db.PrepareSqlite(args[3]);
            while (st.Step())
            {
                QStringList fields;
                for (int i = 0; i < st.ColumnCount(); ++i)
                    fields << st.Value(i).ToString();
                std::printf("%s\n", qPrintable(fields.join(QLatin1Char('|'))));
            }
            return 0;
        }
    }
    catch (const std::exception&)
    {
    }
    std::fprintf(stderr, "usage: bench_synch_setup create DB LOCATION SERIALHEX | query DB SQL\n");
    return 2;
}
