// Makes and reads the database the synchronizer benchmark runs on:
//
//   create DB LOCATION SERIALHEX     a template database with catalogue 1 at LOCATION (DB a file,
//                                    or the address of an empty server database)
//   catalogue DB ID LOCATION SERIAL  one more catalogue in DB
//   query DB SQL                     prints the rows of a query (SQLite SQL), "|" between fields
//   duplicates DB                    runs "Check Duplicates For Deletion in All Catalogues" as "other"
//   tree DIR FILES FOLDERS           FILES small files spread over FOLDERS folders (two levels)
//   data DIR MIB FILES               FILES files of mixed sizes (1 KiB to 64 MiB), MIB in all
//   files DIR FILES MIN MAX PER      FILES files of MIN to MAX bytes (evenly spread), PER a folder
#include "database/DbDatabase.h"
#include "database/DbQueryDef.h"
#include "database/JetSql.h"
#include "database/TemplateDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace
{
// Bytes that do not compress or repeat, made quickly.
void Fill(std::vector<char>& buffer, std::mt19937_64& random)
{
    for (size_t i = 0; i + 8 <= buffer.size(); i += 8)
    {
        const quint64 word = random();
        std::memcpy(buffer.data() + i, &word, 8);
    }
}

bool WriteFile(const QString& path, qint64 size, std::vector<char>& buffer, std::mt19937_64& random)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    while (size > 0)
    {
        Fill(buffer, random);
        const qint64 n = std::min<qint64>(size, qint64(buffer.size()));
        if (file.write(buffer.data(), n) != n)
            return false;
        size -= n;
    }
    return true;
}

int MakeTree(const QString& root, int files, int folders)
{
    std::mt19937_64 random(42);
    std::vector<char> buffer(4096);
    const int perTop = std::max(1, int(std::sqrt(double(folders))));
    for (int f = 0; f < folders; ++f)
    {
        const QString folder = QStringLiteral("%1/d%2/f%3").arg(root).arg(f / perTop, 3, 10, QLatin1Char('0')).arg(f, 5, 10, QLatin1Char('0'));
        if (!QDir().mkpath(folder))
            return 1;
        const int count = files / folders + (f < files % folders ? 1 : 0);
        for (int i = 0; i < count; ++i)
            if (!WriteFile(QStringLiteral("%1/file%2.dat").arg(folder).arg(i, 5, 10, QLatin1Char('0')),
                           qint64(random() % 4096), buffer, random))
                return 1;
    }
    return 0;
}

int MakeData(const QString& root, qint64 mib, int files)
{
    // Sizes spread evenly on a log scale from 1 KiB to 64 MiB, then scaled to the total.
    std::mt19937_64 random(7);
    std::vector<double> weights(static_cast<size_t>(files));
    double sum = 0;
    for (double& w : weights)
        sum += w = std::exp(std::log(1024.0) + (std::log(64.0 * 1048576) - std::log(1024.0)) * double(random() % 1000000) / 1e6);
    std::vector<char> buffer(1 << 20);
    const int perFolder = 100;
    for (int i = 0; i < files; ++i)
    {
        const QString folder = QStringLiteral("%1/part%2").arg(root).arg(i / perFolder, 3, 10, QLatin1Char('0'));
        if (!QDir().mkpath(folder))
            return 1;
        const qint64 size = qint64(weights[size_t(i)] / sum * double(mib) * 1048576.0);
        if (!WriteFile(QStringLiteral("%1/data%2.bin").arg(folder).arg(i, 5, 10, QLatin1Char('0')), size, buffer, random))
            return 1;
    }
    return 0;
}
int MakeFiles(const QString& root, int files, qint64 minBytes, qint64 maxBytes, int perFolder)
{
    std::mt19937_64 random(11);
    std::vector<char> buffer(1 << 20);
    perFolder = std::max(perFolder, 1);
    for (int i = 0; i < files; ++i)
    {
        const QString folder =
            QStringLiteral("%1/set%2").arg(root).arg(i / perFolder, 4, 10, QLatin1Char('0'));
        if (i % perFolder == 0 && !QDir().mkpath(folder))
            return 1;
        const qint64 size = minBytes + qint64(random() % quint64(maxBytes - minBytes + 1));
        if (!WriteFile(QStringLiteral("%1/file%2.bin").arg(folder).arg(i, 6, 10, QLatin1Char('0')), size,
                       buffer, random))
            return 1;
    }
    return 0;
}

void AddCatalogue(const QString& database, qint32 id, const QString& location, const QString& serialHex)
{
    CDbDatabase db;
    db.Open(database);
    db.Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                              "Location, DriveType) VALUES (0, ?, ?, 'BENCH', ?, ?, 'Fixed')"),
               {CDbValue(id), CDbValue(QStringLiteral("Bench %1").arg(id)),
                CDbValue(qint32(serialHex.toUInt(nullptr, 16))), CDbValue(location)});
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try
    {
        if (args.size() == 5 && args[1] == QStringLiteral("create"))
        {
            // A server address names an empty database that becomes the catalogue.
            const bool server = CDbDatabase::IsServerAddress(args[2]);
            if (server ? !CreateServerCatalogue(args[2]) : !WriteTemplateDatabase(args[2]))
                return 1;
            CDbDatabase db;
            db.Open(args[2]);
            db.Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                                      "Location, DriveType) VALUES (0, 1, 'Bench', 'BENCH', ?, ?, 'Fixed')"),
                       {CDbValue(qint32(args[4].toUInt(nullptr, 16))), CDbValue(args[3])});
            return 0;
        }
        if (args.size() == 6 && args[1] == QStringLiteral("catalogue"))
        {
            AddCatalogue(args[2], args[3].toInt(), args[4], args[5]);
            return 0;
        }
        if (args.size() == 7 && args[1] == QStringLiteral("files"))
            return MakeFiles(args[2], args[3].toInt(), args[4].toLongLong(), args[5].toLongLong(),
                             args[6].toInt());
        if (args.size() == 5 && args[1] == QStringLiteral("tree"))
            return MakeTree(args[2], args[3].toInt(), args[4].toInt());
        if (args.size() == 5 && args[1] == QStringLiteral("data"))
            return MakeData(args[2], args[3].toLongLong(), args[4].toInt());
        if (args.size() == 3 && args[1] == QStringLiteral("duplicates"))
        {
            // Another person's "Check Duplicates For Deletion in All Catalogues", as the query
            // runner runs its steps.
            const QString user = QStringLiteral("other");
            CDbDatabase db;
            db.Open(args[2]);
            db.SetUserName(user);
            QStringList steps;
            CDbStatement entries = db.Prepare(QStringLiteral(
                "SELECT EntryType, Query FROM QueryEntry WHERE QueryId=22 ORDER BY QueryEntry"));
            while (entries.Step())
                if (entries.Value(0).ToLong() == 2)
                    steps << entries.Value(1).ToString();
            for (const QString& step : steps)
            {
                QString sql = db.OpenQueryDef(step).Sql();
                sql.replace(QStringLiteral("GetUserName()"), CJetSql::QuoteText(user));
                CDbQueryDef query = db.CreateQueryDef(sql);
                for (const QString& parameter : query.ParameterNames())
                    if (parameter.toLower() == QLatin1String("paramusername"))
                        query.SetParameter(QStringLiteral("ParamUserName"), user);
                query.Execute();
            }
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
    std::fprintf(
        stderr,
        "usage: bench_synch_setup create DB LOCATION SERIALHEX | query DB SQL | tree DIR FILES FOLDERS"
        " | data DIR MIB FILES | files DIR FILES MIN MAX PER | catalogue DB ID LOCATION SERIALHEX\n");
    return 2;
}
