#include "browser/import/MwImport.h"

#include "browser/import/MwEngineImport.h"
#include "browser/import/MwImportReferences.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/FileFormat.h"
#include "common/FileOperations.h"
#include "common/SpaceRequestList.h"
#include "common/UserInteraction.h"
#include "database/DbAddress.h"
#include "database/DbDatabase.h"
#include "database/DbErrorCodes.h"
#include "database/DbRetryPolicy.h"
#include "database/DbTransaction.h"
#include "platform/SystemErrorCodes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>

#include <algorithm>
#include <limits>
#include <thread>

namespace
{
const QString kCaption = QStringLiteral("Import Database");
const QString kCopyName = QStringLiteral("_tmpimport.qrl");
// The lock file name older versions left beside the copy; removed with it should one remain.
const QString kLockName = QStringLiteral("_tmpimport.ldb");
const QString kSchema = QStringLiteral("imp");
constexpr int kCancelled = 1223;
// How often the rows that another program added to the open database meanwhile may send the
// renumbering round again before the import gives up.
constexpr int kMaxRenumberRounds = 8;

QString Q(const QString& name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

// "imp"."File" or "main"."File".
QString In(const QString& schema, const QString& table)
{
    return Q(schema) + QLatin1Char('.') + Q(table);
}

// The extension of a file name as the synchronizer stores it: the text after the last ".",
// trailing blanks removed, Null when there is none.
QString ExtensionExpression(const QString& column)
{
    const QString c = Q(column);
    return QStringLiteral(
               "CASE WHEN instr(%1, '.') = 0 THEN NULL ELSE nullif(rtrim(substr(%1, length(rtrim(%1, "
               "replace(%1, '.', ''))) + 1), ' ' || char(9, 10, 11, 12, 13)), '') END")
        .arg(c);
}

QString TooManyText(const QString& table)
{
    return QStringLiteral("There are too many %1 rows to import: their identifiers would pass the largest "
                          "number a database can hold.")
        .arg(table);
}

qint64 Scalar(CDbDatabase& db, const QString& sql, const CDbValue& value = CDbValue::Null())
{
    CDbStatement st = db.PrepareSqlite(sql);
    if (st.ParameterCount() > 0)
        st.Bind(1, value);
    if (!st.Step() || st.Value(0).IsNull())
        return 0;
    return static_cast<qint64>(st.Value(0).ToDouble());
}

// Foreign keys are off on the connection for as long as it lives (and back on afterwards): the
// copy is renumbered a key space at a time, each step leaving references that only the later
// steps mend, and the copy is the import's own.
class CForeignKeysOff final
{
public:
    explicit CForeignKeysOff(CDbDatabase& db) : m_db(db)
    {
        m_db.ExecuteSqliteScript(QStringLiteral("PRAGMA foreign_keys=OFF"));
    }
    ~CForeignKeysOff()
    {
        try
        {
            m_db.ExecuteSqliteScript(QStringLiteral("PRAGMA foreign_keys=ON"));
        }
        catch (const CDbException&)
        {
        }
    }
    CForeignKeysOff(const CForeignKeysOff&) = delete;
    CForeignKeysOff& operator=(const CForeignKeysOff&) = delete;

private:
    CDbDatabase& m_db;
};
} // namespace

// One row of ImportInfo.
struct CMwImport::STable
{
    QString strTable;
    QString strIndex;     // the identifier column, empty when the table has none
    QString strNameField; // the column whose values stay unique, empty when none
    bool bImport = false;
    bool bPurge = false;
};

// Identifiers handed out from one counter: a table's identifier column, or the groups of similar
// files (File.SimilarityId), which number no row of their own.
struct CMwImport::SKeySpace
{
    QString strTable;
    QString strColumn;
    QString strMap; // the temporary table of old and new identifiers
    qint64 nMoved = 0;

    QString Counter() const { return strTable + QLatin1Char('_') + strColumn; }
};

// Thrown to end the import with a result the person is to see.
struct CMwImport::SStop
{
    SMwImportResult result;
};

CMwImport::CMwImport(CDbDatabase& db, CUserInteraction& ui, std::function<bool()> shouldContinue)
    : m_db(db), m_ui(ui), m_fnShouldContinue(std::move(shouldContinue))
{
}

CMwImport::~CMwImport() = default;

QString CMwImport::TemporaryPath(const QString& openDatabasePath)
{
    return QDir(QFileInfo(openDatabasePath).absolutePath()).filePath(kCopyName);
}

QString CMwImport::ImportedName(const QString& name, int attempt, int size)
{
    const QString suffix =
        attempt <= 1 ? QStringLiteral(" (Imported)") : QStringLiteral(" (Imported %1)").arg(attempt);
    // Cutting the whole candidate to the column would cut the suffix off a name that fills the
    // column, and every candidate would be the name itself again.
    if (size > 0 && name.size() + suffix.size() > size)
        return name.left(std::max<qsizetype>(0, size - suffix.size())) + suffix;
    return name + suffix;
}

void CMwImport::CheckContinue() const
{
    if (m_fnShouldContinue && !m_fnShouldContinue())
        throw SStop{{kCancelled, QString(), kCaption}};
}

SMwImportResult CMwImport::Import(const QString& importPath)
{
    // A server has no file to copy nor can it be attached to a file's connection: either side on
    // a server is read or written through the engine interface instead.
    if (m_db.IsServer() || DbAddress::IsServerAddress(importPath))
        return CMwEngineImport(m_db, m_ui, m_fnShouldContinue).Import(importPath);
    m_strCopyPath = TemporaryPath(m_db.Path());
    if (SMwImportResult copied = CopyImportDatabase(importPath); !copied.Succeeded())
        return copied;

    SMwImportResult result;
    try
    {
        m_strContext = QStringLiteral("CMwImport::Import() - Attach");
        CDbStatement attach = m_db.PrepareSqlite(QStringLiteral("ATTACH DATABASE ? AS ") + Q(kSchema));
        attach.Bind(1, m_strCopyPath);
        attach.Execute();
        try
        {
            // The copy is thrown away whatever happens: it needs no journal, nor waits for the disk.
            m_db.ExecuteSqliteScript(
                QStringLiteral("PRAGMA imp.journal_mode=OFF; PRAGMA imp.synchronous=OFF;"));
            m_strContext = QStringLiteral("CMwImport::ReadImportInfo() - ImportInfoRecSet.Open");
            ReadImportInfo();
            m_ui.SetProgressRange(0, static_cast<int>(m_tables.size()) + 2);
            {
                CForeignKeysOff off(m_db);
                CDbTransaction trans(m_db, false);
                m_strContext = QStringLiteral("CMwImport::PurgeCacheTables() - ImportTableRecSet.Open");
                PurgeCacheTables();
                DropCopyIndexes();
                trans.Commit();
            }
            m_ui.StepProgress();
            for (int round = 1, locked = 0;; ++round)
            {
                CheckContinue();
                RenumberCopy();
                m_ui.StepProgress();
                CheckContinue();
                try
                {
                    if (WriteOpenDatabase())
                        break;
                    // Another program added rows since the copy was renumbered: their
                    // identifiers send the renumbering round again.
                    if (round >= kMaxRenumberRounds)
                        throw CDbException(
                            DbErrors::kInvalidArgument,
                            QStringLiteral("The database keeps changing; try the import again."));
                }
                catch (const CDbException& e)
                {
                    // Another program holds the open database for a moment: wait, and check
                    // again what it added meanwhile.
                    if (!DbErrors::IsLockingError(e.m_nErrorCode) || ++locked >= CDbRetryPolicy::kMaxAttempts)
                        throw;
                    std::this_thread::sleep_for(CDbRetryPolicy::RetryWait(locked));
                }
            }
        }
        catch (...)
        {
            RemoveCopy();
            throw;
        }
        RemoveCopy();
    }
    catch (const SStop& stop)
    {
        result = stop.result;
    }
    catch (const CDbException& e)
    {
        result = ImportResultOfError(e, m_strContext);
    }
    m_ui.ClearProgress();
    m_ui.SetStatusText(QString());
    return result;
}

SMwImportResult ImportResultOfError(const CDbException& e, const QString& context)
{
    if (e.m_nErrorCode == DbErrors::kDiskFull)
        return {static_cast<int>(e.m_nErrorCode), e.m_strDescription, QStringLiteral("Quarrane Import")};
    LOG_EXCEPTION(e, QString(), context);
    return {static_cast<int>(e.m_nErrorCode), QString(), kCaption};
}

SMwImportResult CMwImport::CopyImportDatabase(const QString& importPath)
{
    // Leftovers of an import that did not end are removed first.
    const QString folder = QFileInfo(m_strCopyPath).absolutePath();
    for (const QString& leftover :
         {QDir(folder).filePath(kLockName), m_strCopyPath, m_strCopyPath + QStringLiteral("-journal"),
          m_strCopyPath + QStringLiteral("-wal"), m_strCopyPath + QStringLiteral("-shm")})
    {
        if (!QFileInfo::exists(leftover))
            continue;
        QString problem;
        QString solution;
        if (const int rc = RemoveFile(leftover, &problem, &solution, true))
            return {rc, problem + QStringLiteral("\r\n\r\n") + solution, kCaption};
    }

    QFile file(importPath);
    if (QFileInfo(importPath).absoluteFilePath() == QFileInfo(m_strCopyPath).absoluteFilePath() ||
        !file.open(QIODevice::ReadOnly))
        return {SystemError::FileNotFound, QStringLiteral("Could not locate the import database!"), kCaption};
    const qint64 size = file.size();
    file.close();

    // Room for the copy and for what the open database grows by.
    CSpaceRequestList space;
    AddSpaceRequest(space, m_strCopyPath, static_cast<quint64>(size) * 2);
    QString message;
    if (const int rc = CheckDiskSpace(space, &message))
        return {rc, rc == SystemError::DiskFull ? message : SystemErrorText(rc), kCaption};

    m_ui.SetStatusText(QStringLiteral("Importing database..."));
    try
    {
        // A consistent copy even while another program writes to the other database, and
        // whatever its journal holds that its file does not yet.
        CDbDatabase source;
        source.Open(importPath, EDbOpenMode::ReadOnly);
        CDbStatement copy = source.PrepareSqlite(QStringLiteral("VACUUM INTO ?"));
        copy.Bind(1, m_strCopyPath);
        copy.Execute();
    }
    catch (const CDbException& e)
    {
        RemoveCopy();
        return {static_cast<int>(e.m_nErrorCode), e.m_strDescription, QStringLiteral("Database Error")};
    }
    return {};
}

void CMwImport::RenumberCopy()
{
    CForeignKeysOff off(m_db);
    CDbTransaction trans(m_db, false);
    m_strContext = QStringLiteral("CMwImport::MergeIndices() - ImportIndexRecSet.Open");
    MergeIndices(kSchema, QStringLiteral("main"));
    m_strContext = QStringLiteral("CMwImport::ReIndexImportTables() - TableRecSet.Open");
    ReIndexImportTables();
    trans.Commit();
}

bool CMwImport::WriteOpenDatabase()
{
    // One transaction: the open database takes all of the import or none of it.
    CDbTransaction trans(m_db, true);
    m_strContext = QStringLiteral("CMwImport::ReIndexImportTables() - TableRecSet.Open");
    if (ImportCollides())
        return false;
    m_strContext = QStringLiteral("CMwImport::MergeIndices() - IndexRecSet.Open");
    MergeIndices(QStringLiteral("main"), kSchema);
    m_strContext = QStringLiteral("CMwImport::ImportTables() - TableRecSet.AddNew()");
    ImportTables();
    m_strContext = QStringLiteral("CMwImport::ImportParameters() - ParameterRecSet.Open");
    ImportParameters(QStringLiteral("CompactOnExit"), false);
    ImportParameters(QStringLiteral("FolderFileListFieldView_"), true);
    ImportParameters(QStringLiteral("QueryFileListFieldView_"), true);
    CheckContinue();
    trans.Commit();
    return true;
}

void CMwImport::RemoveCopy()
{
    try
    {
        if (!m_db.InTransaction())
            m_db.ExecuteSqliteScript(QStringLiteral("DETACH DATABASE ") + Q(kSchema));
    }
    catch (const CDbException&)
    {
        // Not attached (the attach itself failed).
    }
    for (const QString& path :
         {m_strCopyPath, m_strCopyPath + QStringLiteral("-journal"), m_strCopyPath + QStringLiteral("-wal"),
          m_strCopyPath + QStringLiteral("-shm")})
        if (QFileInfo::exists(path))
            RemoveFile(path, nullptr, nullptr, true);
}

void CMwImport::ReadImportInfo()
{
    m_tables.clear();
    m_keySpaces.clear();
    CDbStatement st = m_db.PrepareSqlite(
        QStringLiteral("SELECT \"Table\", \"Index\", \"NameField\", \"Import\", \"Purge\" FROM "
                       "main.\"ImportInfo\" ORDER BY \"ImportOrder\""));
    while (st.Step())
    {
        STable table;
        table.strTable = st.Value(0).ToString();
        table.strIndex = st.Value(1).ToString();
        table.strNameField = st.Value(2).ToString();
        table.bImport = st.Value(3).ToBool();
        table.bPurge = st.Value(4).ToBool();
        if (table.strTable.isEmpty())
            continue;
        if (table.bImport && !table.strIndex.isEmpty())
            m_keySpaces.push_back({table.strTable, table.strIndex, {}, 0});
        m_tables.push_back(table);
    }
    // Files of the same content share a group number; a number of the copy that the open
    // database uses for other files would make strangers of the two databases similar files,
    // and an edit of one would be offered to the other.
    const bool filesImported =
        std::any_of(m_tables.begin(), m_tables.end(),
                    [](const STable& t) { return t.bImport && t.strTable == QLatin1String("File"); });
    if (filesImported && ImportColumns(QStringLiteral("File")).contains(QStringLiteral("SimilarityId")))
        m_keySpaces.push_back({QStringLiteral("File"), QStringLiteral("SimilarityId"), {}, 0});
    for (size_t i = 0; i < m_keySpaces.size(); ++i)
        m_keySpaces[i].strMap = QStringLiteral("ImportMap%1").arg(i);
}

QStringList CMwImport::ImportColumns(const QString& table)
{
    QStringList columns;
    CDbStatement st = m_db.PrepareSqlite(QStringLiteral("SELECT name FROM pragma_table_info(?, ?)"));
    st.Bind(1, table);
    st.Bind(2, kSchema);
    while (st.Step())
        columns.append(st.Value(0).ToString());
    return columns;
}

void CMwImport::PurgeCacheTables()
{
    for (const STable& table : m_tables)
        if (table.bPurge && !ImportColumns(table.strTable).isEmpty())
            m_db.ExecuteSqliteScript(QStringLiteral("DELETE FROM ") + In(kSchema, table.strTable));
}

void CMwImport::DropCopyIndexes()
{
    // The copy is read a table at a time from here on: its own indexes would only slow the
    // renumbering down.
    QStringList indexes;
    {
        CDbStatement st = m_db.PrepareSqlite(
            QStringLiteral("SELECT name FROM imp.sqlite_master WHERE type = 'index' AND sql IS NOT NULL"));
        while (st.Step())
            indexes.append(st.Value(0).ToString());
    }
    for (const QString& index : indexes)
        m_db.ExecuteSqliteScript(QStringLiteral("DROP INDEX ") + In(kSchema, index));
}

void CMwImport::MergeIndices(const QString& into, const QString& from)
{
    // Every counter ends in both databases with the larger of the two values.
    const QString target = In(into, QStringLiteral("IndexId"));
    const QString source = In(from, QStringLiteral("IndexId"));
    m_db.ExecuteSqliteScript(
        QStringLiteral(
            "INSERT OR IGNORE INTO %1 (\"Index\", \"IndexId\") SELECT \"Index\", \"IndexId\" FROM %2 "
            "WHERE \"Index\" IS NOT NULL;"
            "UPDATE %1 AS t SET \"IndexId\" = s.\"IndexId\" FROM %2 AS s WHERE s.\"Index\" = t.\"Index\" "
            "AND s.\"IndexId\" > coalesce(t.\"IndexId\", 0);")
            .arg(target, source));
}

void CMwImport::ReIndexImportTables()
{
    // Each key space of the copy gets a map of the identifiers the open database uses already to
    // new ones above both databases' counters and identifiers, in ascending order.
    for (SKeySpace& space : m_keySpaces)
    {
        space.nMoved = 0;
        const QStringList columns = ImportColumns(space.strTable);
        if (!columns.contains(space.strColumn, Qt::CaseInsensitive))
            continue;
        const QString column = Q(space.strColumn);
        const QString counterSql = QStringLiteral("SELECT \"IndexId\" FROM %1 WHERE \"Index\" = ?");
        qint64 base = Scalar(m_db, counterSql.arg(In(kSchema, QStringLiteral("IndexId"))), space.Counter());
        base =
            std::max(base, Scalar(m_db, counterSql.arg(In(QStringLiteral("main"), QStringLiteral("IndexId"))),
                                  space.Counter()));
        base = std::max(
            base,
            Scalar(m_db, QStringLiteral("SELECT max(%1) FROM %2").arg(column, In(kSchema, space.strTable))));
        base = std::max(base, Scalar(m_db, QStringLiteral("SELECT max(%1) FROM %2")
                                               .arg(column, In(QStringLiteral("main"), space.strTable))));

        const QString map = In(QStringLiteral("temp"), space.strMap);
        m_db.ExecuteSqliteScript(
            QStringLiteral(
                "CREATE TEMP TABLE IF NOT EXISTS %1 (Old INTEGER PRIMARY KEY, New INTEGER NOT NULL);"
                "DELETE FROM %1;")
                .arg(Q(space.strMap)));
        if (base >= std::numeric_limits<qint32>::max())
            throw CDbException(DbErrors::kInvalidArgument, TooManyText(space.strTable));
        CDbStatement fill = m_db.PrepareSqlite(
            QStringLiteral("INSERT INTO %1 (Old, New) SELECT Old, ? + row_number() OVER (ORDER BY Old) FROM "
                           "(SELECT DISTINCT %2 AS Old FROM %3 WHERE %2 <> 0 AND %2 IN (SELECT %2 FROM %4))")
                .arg(map, column, In(kSchema, space.strTable), In(QStringLiteral("main"), space.strTable)));
        fill.Bind(1, CDbValue(static_cast<qint32>(base)));
        space.nMoved = fill.Execute();
        if (base + space.nMoved > std::numeric_limits<qint32>::max())
            throw CDbException(DbErrors::kInvalidArgument, TooManyText(space.strTable));
        // The copy's counter ends at the last identifier handed out; the merge that follows
        // carries it to the open database.
        CDbStatement counter = m_db.PrepareSqlite(
            QStringLiteral("INSERT INTO %1 (\"Index\", \"IndexId\") VALUES (?, ?) ON CONFLICT (\"Index\") DO "
                           "UPDATE SET \"IndexId\" = excluded.\"IndexId\"")
                .arg(In(kSchema, QStringLiteral("IndexId"))));
        counter.Bind(1, space.Counter());
        counter.Bind(2, CDbValue(static_cast<qint32>(base + space.nMoved)));
        counter.Execute();
    }

    // Then every table of the copy is rewritten once, with its own identifiers and all its
    // references to moved rows mapped.
    QMap<QString, QList<std::pair<QString, const SKeySpace*>>> columnsByTable;
    for (const SKeySpace& space : m_keySpaces)
    {
        if (space.nMoved == 0)
            continue;
        columnsByTable[space.strTable].append({space.strColumn, &space});
        for (const SReference& reference : kReferences)
            if (space.strTable == QLatin1String(reference.keyTable) &&
                space.strColumn == QLatin1String(reference.keyColumn))
                columnsByTable[QLatin1String(reference.table)].append(
                    {QLatin1String(reference.column), &space});
    }
    for (auto it = columnsByTable.cbegin(); it != columnsByTable.cend(); ++it)
    {
        CheckContinue();
        const QStringList present = ImportColumns(it.key());
        QStringList sets;
        QStringList conditions;
        for (const auto& [column, space] : it.value())
        {
            if (!present.contains(column, Qt::CaseInsensitive))
                continue;
            const QString map = In(QStringLiteral("temp"), space->strMap);
            sets.append(
                QStringLiteral("%1 = coalesce((SELECT New FROM %2 WHERE Old = %1), %1)").arg(Q(column), map));
            conditions.append(QStringLiteral("%1 IN (SELECT Old FROM %2)").arg(Q(column), map));
        }
        if (sets.isEmpty())
            continue;
        m_db.ExecuteSqliteScript(QStringLiteral("UPDATE %1 SET %2 WHERE %3")
                                     .arg(In(kSchema, it.key()), sets.join(QStringLiteral(", ")),
                                          conditions.join(QStringLiteral(" OR "))));
    }
}

bool CMwImport::ImportCollides()
{
    for (const SKeySpace& space : m_keySpaces)
    {
        if (!ImportColumns(space.strTable).contains(space.strColumn, Qt::CaseInsensitive))
            continue;
        const QString column = Q(space.strColumn);
        if (Scalar(
                m_db,
                QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1 WHERE %2 <> 0 AND %2 IN (SELECT %2 FROM %3))")
                    .arg(In(kSchema, space.strTable), column, In(QStringLiteral("main"), space.strTable))))
            return true;
    }
    return false;
}

void CMwImport::ImportTables()
{
    for (const STable& table : m_tables)
    {
        if (!table.bImport)
            continue;
        CheckContinue();
        const QStringList present = ImportColumns(table.strTable);
        if (present.isEmpty())
        {
            m_ui.StepProgress();
            continue; // an older schema without the table
        }
        // The open database's columns that the copy has too; the others keep their defaults.
        QStringList columns;
        QStringList expressions;
        CDbStatement st = m_db.PrepareSqlite(QStringLiteral("SELECT name FROM pragma_table_info(?, 'main')"));
        st.Bind(1, table.strTable);
        while (st.Step())
        {
            const QString column = st.Value(0).ToString();
            if (present.contains(column, Qt::CaseInsensitive))
            {
                columns.append(column);
                expressions.append(Q(column));
            }
            else if (table.strTable == QLatin1String("File") && column == QLatin1String("Extension") &&
                     present.contains(QStringLiteral("File")))
            {
                columns.append(column);
                expressions.append(ExtensionExpression(QStringLiteral("File")));
            }
        }
        if (columns.isEmpty())
            continue;
        if (!table.strNameField.isEmpty() && columns.contains(table.strNameField, Qt::CaseInsensitive))
        {
            ImportNamedRows(table, columns);
        }
        else
        {
            QStringList quoted;
            for (const QString& column : columns)
                quoted.append(Q(column));
            QString sql =
                QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4")
                    .arg(In(QStringLiteral("main"), table.strTable), quoted.join(QStringLiteral(", ")),
                         expressions.join(QStringLiteral(", ")), In(kSchema, table.strTable));
            // Identifier 0 is every catalogue's root folder and refers to nothing else: never copied.
            if (!table.strIndex.isEmpty() && present.contains(table.strIndex, Qt::CaseInsensitive))
                sql += QStringLiteral(" WHERE %1 <> 0").arg(Q(table.strIndex));
            m_db.ExecuteSqliteScript(sql);
        }
        m_ui.StepProgress();
    }
}

void CMwImport::ImportNamedRows(const STable& table, const QStringList& columns)
{
    // The column's size, from its length rule in the open database's schema.
    int size = 0;
    {
        CDbStatement schema = m_db.PrepareSqlite(
            QStringLiteral("SELECT sql FROM main.sqlite_master WHERE type = 'table' AND name = ?"));
        schema.Bind(1, table.strTable);
        if (schema.Step())
        {
            const QRegularExpression rule(QStringLiteral("length\\(\"?%1\"?\\)\\s*<=\\s*(\\d+)")
                                              .arg(QRegularExpression::escape(table.strNameField)),
                                          QRegularExpression::CaseInsensitiveOption);
            const QRegularExpressionMatch match = rule.match(schema.Value(0).ToString());
            if (match.hasMatch())
                size = match.captured(1).toInt();
        }
    }

    QStringList quoted;
    QStringList expressions;
    for (const QString& column : columns)
    {
        quoted.append(Q(column));
        expressions.append(column.compare(table.strNameField, Qt::CaseInsensitive) == 0 ? QStringLiteral("?1")
                                                                                        : Q(column));
    }
    CDbStatement insert = m_db.PrepareSqlite(
        QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4 WHERE rowid = ?2")
            .arg(In(QStringLiteral("main"), table.strTable), quoted.join(QStringLiteral(", ")),
                 expressions.join(QStringLiteral(", ")), In(kSchema, table.strTable)));
    CDbStatement taken =
        m_db.PrepareSqlite(QStringLiteral("SELECT EXISTS (SELECT 1 FROM %1 WHERE %2 = ?)")
                               .arg(In(QStringLiteral("main"), table.strTable), Q(table.strNameField)));
    const bool hasIndex = !table.strIndex.isEmpty() && columns.contains(table.strIndex, Qt::CaseInsensitive);
    CDbStatement rows = m_db.PrepareSqlite(
        QStringLiteral("SELECT rowid, %1 FROM %2 %3 ORDER BY %4")
            .arg(Q(table.strNameField), In(kSchema, table.strTable),
                 hasIndex ? QStringLiteral("WHERE %1 <> 0").arg(Q(table.strIndex)) : QString(),
                 hasIndex ? Q(table.strIndex) : QStringLiteral("rowid")));
    while (rows.Step())
    {
        const CDbValue name = rows.Value(1);
        CDbValue candidate = name;
        if (!name.IsNull())
        {
            const QString text = name.ToString();
            for (int attempt = 1;; ++attempt)
            {
                taken.Reset();
                taken.Bind(1, candidate);
                taken.Step();
                const bool used = taken.Value(0).ToBool();
                taken.Reset();
                if (!used)
                    break;
                candidate = CDbValue(ImportedName(text, attempt, size));
            }
        }
        insert.Reset();
        insert.Bind(1, candidate);
        insert.Bind(2, rows.Value(0));
        insert.Execute();
    }
}

void CMwImport::ImportParameters(const QString& name, bool prefix)
{
    if (ImportColumns(QStringLiteral("Parameter")).isEmpty())
        return;
    // Imported parameters overwrite the open database's of the same name.
    CDbStatement st = m_db.PrepareSqlite(
        QStringLiteral("INSERT INTO main.\"Parameter\" (\"Parameter\", \"Value\", \"Description\") "
                       "SELECT \"Parameter\", \"Value\", \"Description\" FROM imp.\"Parameter\" WHERE %1 "
                       "ON CONFLICT (\"Parameter\") DO UPDATE SET \"Value\" = excluded.\"Value\", "
                       "\"Description\" = excluded.\"Description\"")
            .arg(prefix ? QStringLiteral("\"Parameter\" LIKE ?1 ESCAPE '\\'")
                        : QStringLiteral("\"Parameter\" = ?1")));
    // A prefix stands for every name that begins with it, as "FolderFileListFieldView_*" does.
    st.Bind(1,
            prefix ? QString(name).replace(QLatin1Char('_'), QLatin1String("\\_")) + QLatin1Char('%') : name);
    st.Execute();
}
