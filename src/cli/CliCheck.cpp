#include "cli/CliCheck.h"

#include "database/DbDatabase.h"

namespace
{
// A short list of identifiers for a message: the first few and how many more.
QString IdList(const QList<qint64>& ids)
{
    constexpr int kShown = 10;
    QStringList texts;
    for (qsizetype i = 0; i < ids.size() && i < kShown; ++i)
        texts.append(QString::number(ids[i]));
    QString list = texts.join(QStringLiteral(", "));
    if (ids.size() > kShown)
        list += QStringLiteral(" and %1 more").arg(ids.size() - kShown);
    return list;
}

QList<qint64> Ids(CDbDatabase& db, const QString& sqliteSql)
{
    QList<qint64> ids;
    CDbStatement st = db.PrepareSqlite(sqliteSql);
    while (st.Step())
        ids.append(st.Value(0).ToDouble());
    return ids;
}

// Names each thing the server query finds: its second column with its first (a rule or an index
// and its table) put into text.
void AppendFound(CDbDatabase& db, const QString& serverSql, const QString& text, QStringList& problems)
{
    CDbStatement st = db.PrepareSqlite(serverSql);
    while (st.Step())
        problems.append(text.arg(st.Value(1).ToString(), st.Value(0).ToString()));
}

// On a server the server keeps its storage whole itself; what can still be wrong is what a person
// or an earlier build left: functions the statements call, rules or indexes left unfinished.
CCliCheckResult ServerIntegrity(CDbDatabase& db)
{
    CCliCheckResult result{QStringLiteral("integrity"), {}, {}};
    for (const QString& function : db.MissingServerFunctions())
        result.problems.append(
            QStringLiteral("the server function %1 is missing (a catalogue of an earlier version)")
                .arg(function));
    for (const QString& rule : db.OutdatedServerRules())
        result.problems.append(
            QStringLiteral(
                "the rule that %1 is not empty refuses names made only of characters the collation "
                "ignores (a catalogue of an earlier version)")
                .arg(rule));
    AppendFound(db,
                QStringLiteral("SELECT conrelid::regclass::text, conname::text FROM pg_constraint WHERE NOT "
                               "convalidated AND connamespace = current_schema()::regnamespace"),
                QStringLiteral("the rule %1 of %2 was never checked against the rows in it"),
                result.problems);
    AppendFound(
        db,
        QStringLiteral("SELECT indrelid::regclass::text, indexrelid::regclass::text FROM pg_index JOIN "
                       "pg_class ON pg_class.oid = pg_index.indexrelid WHERE NOT (indisvalid AND "
                       "indisready) AND relnamespace = current_schema()::regnamespace"),
        QStringLiteral("the index %1 of %2 is unfinished"), result.problems);
    return result;
}

CCliCheckResult Integrity(CDbDatabase& db)
{
    if (db.IsServer())
        return ServerIntegrity(db);
    CCliCheckResult result{QStringLiteral("integrity"), {}, {}};
    CDbStatement st = db.PrepareSqlite(QStringLiteral("PRAGMA integrity_check"));
    while (st.Step())
    {
        const QString line = st.Value(0).ToString();
        if (line != QLatin1String("ok"))
            result.problems.append(line);
    }
    return result;
}

CCliCheckResult ForeignKeys(CDbDatabase& db)
{
    CCliCheckResult result{QStringLiteral("foreign keys"), {}, {}};
    if (db.IsServer())
    {
        // The server holds every relation on every write, unless its triggers were switched off
        // (a bulk load that never switched them on again).
        AppendFound(
            db,
            QStringLiteral("SELECT DISTINCT pg_constraint.conrelid::regclass::text, "
                           "pg_constraint.conname::text FROM pg_constraint JOIN pg_trigger ON "
                           "pg_trigger.tgconstraint = pg_constraint.oid WHERE pg_constraint.contype = 'f' "
                           "AND pg_trigger.tgenabled = 'D' AND pg_constraint.connamespace = "
                           "current_schema()::regnamespace"),
            QStringLiteral("the relation %1 of %2 is switched off"), result.problems);
        return result;
    }
    CDbStatement st = db.PrepareSqlite(QStringLiteral("PRAGMA foreign_key_check"));
    while (st.Step())
        result.problems.append(
            QStringLiteral("row %1 of %2 refers to a missing row of %3")
                .arg(st.Value(1).ToString(), st.Value(0).ToString(), st.Value(2).ToString()));
    return result;
}

// Counters are named Table_Column; each must be at least the largest identifier in use.
CCliCheckResult Counters(CDbDatabase& db)
{
    CCliCheckResult result{QStringLiteral("identifier counters"), {}, {}};
    const QStringList names = {
        "Catalogue_CatalogueId", "Group_GroupId",     "RelativePath_RelativePathId",          "File_FileId",
        "FileInfo_FileInfoId",   "File_SimilarityId", "FileListFieldView_FileListFieldViewId"};
    for (const QString& name : names)
    {
        const QString table = name.section(QLatin1Char('_'), 0, 0);
        const QString column = name.section(QLatin1Char('_'), 1);
        CDbStatement used =
            db.PrepareSqlite(QStringLiteral("SELECT max(\"%1\") FROM \"%2\"").arg(column, table));
        used.Step();
        // 0 stands for none (the root folder, a file without copies): no counter gave it out.
        const double highest = used.Value(0).IsNull() ? 0 : used.Value(0).ToDouble();
        if (highest <= 0)
            continue;
        CDbStatement counter =
            db.PrepareSqlite(QStringLiteral("SELECT \"IndexId\" FROM \"IndexId\" WHERE \"Index\"=?"));
        counter.Bind(1, CDbValue(name));
        if (!counter.Step())
            result.problems.append(
                QStringLiteral(
                    "%1.%2 values go up to %3 but there is no %4 counter: the next new one would be 1")
                    .arg(table, column)
                    .arg(static_cast<qint64>(highest))
                    .arg(name));
        else if (counter.Value(0).ToDouble() < highest)
            result.problems.append(QStringLiteral("the %1 counter is %2, behind %3.%4 values up to %5")
                                       .arg(name)
                                       .arg(static_cast<qint64>(counter.Value(0).ToDouble()))
                                       .arg(table, column)
                                       .arg(static_cast<qint64>(highest)));
    }
    return result;
}

CCliCheckResult FileRows(CDbDatabase& db)
{
    CCliCheckResult result{QStringLiteral("file rows"), {}, {}};
    const QList<qint64> noCatalogue =
        Ids(db, QStringLiteral(
                    "SELECT FileId FROM File WHERE CatalogueId NOT IN (SELECT CatalogueId FROM Catalogue) "
                    "ORDER BY FileId"));
    if (!noCatalogue.isEmpty())
        result.problems.append(QStringLiteral("%1 files belong to no catalogue (FileId %2)")
                                   .arg(noCatalogue.size())
                                   .arg(IdList(noCatalogue)));
    const QList<qint64> noFolder = Ids(
        db, QStringLiteral("SELECT FileId FROM File WHERE RelativePathId NOT IN (SELECT RelativePathId FROM "
                           "RelativePath) ORDER BY FileId"));
    if (!noFolder.isEmpty())
        result.problems.append(QStringLiteral("%1 files are in no folder (FileId %2)")
                                   .arg(noFolder.size())
                                   .arg(IdList(noFolder)));
    return result;
}

CCliCheckResult UnusedRows(CDbDatabase& db)
{
    CCliCheckResult result{QStringLiteral("unused rows"), {}, {}};
    const QList<qint64> fileInfos =
        Ids(db, QStringLiteral(
                    "SELECT FileInfoId FROM FileInfo WHERE FileInfoId NOT IN (SELECT FileInfoId FROM File "
                    "WHERE FileInfoId IS NOT NULL) ORDER BY FileInfoId"));
    if (!fileInfos.isEmpty())
        result.problems.append(QStringLiteral("%1 FileInfo rows belong to no file (FileInfoId %2)")
                                   .arg(fileInfos.size())
                                   .arg(IdList(fileInfos)));
    // A folder made with New Folder has no files until a synchronization finds some: worth a
    // note, not a fault. Folder 0 is every catalogue's root.
    const QList<qint64> folders = Ids(
        db, QStringLiteral("SELECT RelativePathId FROM RelativePath WHERE RelativePathId<>0 AND "
                           "RelativePathId NOT IN (SELECT "
                           "RelativePathId FROM File) AND RelativePathId NOT IN (SELECT RelativePathId FROM "
                           "CatalogueRelativePaths) ORDER BY RelativePathId"));
    if (!folders.isEmpty())
        result.notes.append(QStringLiteral("%1 folder rows hold no file (RelativePathId %2)")
                                .arg(folders.size())
                                .arg(IdList(folders)));
    return result;
}
} // namespace

QList<CCliCheckResult> CheckCatalogueDatabase(CDbDatabase& db)
{
    QList<CCliCheckResult> results;
    results.append(Integrity(db));
    // The other checks read tables an index of which may be damaged: they would only repeat it.
    if (!results.back().problems.isEmpty())
        return results;
    results.append(ForeignKeys(db));
    results.append(Counters(db));
    results.append(FileRows(db));
    results.append(UnusedRows(db));
    return results;
}
