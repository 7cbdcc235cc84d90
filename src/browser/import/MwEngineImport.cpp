#include "browser/import/MwEngineImport.h"

#include "browser/import/MwImportReferences.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/FileFormat.h"
#include "common/SpaceRequestList.h"
#include "common/UserInteraction.h"
#include "database/DbAddress.h"
#include "database/DbDatabase.h"
#include "database/DbErrorCodes.h"
#include "database/DbServices.h"
#include "database/DbTransaction.h"
#include "database/FileIdentity.h"
#include "database/JetSql.h"
#include "platform/SystemErrorCodes.h"

#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <optional>

namespace EngineImport
{
const QString kCaption = QStringLiteral("Import Database");
constexpr int kCancelled = 1223;
// How many rows go in between two looks at the cancel flag.
constexpr int kRowsBetweenChecks = 256;

struct SStop
{
    SMwImportResult result;
};

QString N(const QString& name)
{
    return CJetSql::QuoteName(name);
}

// A name in the engine's own SQL, for the statements Jet has no words for (LIMIT, many rows in
// one VALUES); both engines take it.
QString E(const QString& name)
{
    return CJetSql::QuoteText(name, QLatin1Char('"'));
}

// The columns of a table, empty when the database has no such table (an older schema).
QStringList Columns(CDbDatabase& db, const QString& table)
{
    try
    {
        CDbStatement st = db.Prepare(QStringLiteral("SELECT * FROM %1").arg(N(table)));
        return st.ColumnNames();
    }
    catch (const CDbException& e)
    {
        if (e.m_nErrorCode == DbErrors::kInputNotFound || e.m_nErrorCode == DbErrors::kObjectNotFound)
            return {};
        throw;
    }
}

int IndexOf(const QStringList& columns, const QString& column)
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns[i].compare(column, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// Values per statement when rows go to a server: libpq of Debian 12 takes a statement's
// parameter description (4 bytes a value) for a broken connection past 30,000 bytes.
constexpr int kValuesPerStatement = 6000;
// A catalogue row's share of a database file, index entries included, for the free-space check
// when the other database is on a server and so has no file size to go by.
constexpr quint64 kBytesPerRow = 256;

// The rows of a select in the order of key, read a page at a time; without a key, at once (the
// small tables that have none).
class CPagedRows final
{
public:
    CPagedRows(CDbDatabase& db, const QString& select, const QString& key, int pageRows)
        : m_first(db.PrepareSqlite(key.isEmpty() ? select
                                                 : QStringLiteral("%1 WHERE %2 >= ? ORDER BY %2 LIMIT %3")
                                                       .arg(select, E(key))
                                                       .arg(pageRows))),
          m_keyed(!key.isEmpty()), m_pageRows(pageRows)
    {
        if (m_keyed)
        {
            m_next.emplace(db.PrepareSqlite(
                QStringLiteral("%1 WHERE %2 > ? ORDER BY %2 LIMIT %3").arg(select, E(key)).arg(pageRows)));
            m_keyOrdinal = m_first.ColumnIndex(key);
            m_first.Bind(1, CDbValue(std::numeric_limits<qint32>::min()));
        }
    }

    bool Step()
    {
        for (;;)
        {
            if (m_current->Step())
            {
                ++m_inPage;
                if (m_keyed)
                    m_last = m_current->Value(m_keyOrdinal);
                return true;
            }
            // A page short of full was the last one.
            if (!m_keyed || m_inPage < m_pageRows)
                return false;
            m_current = &*m_next;
            m_current->Reset();
            m_current->Bind(1, m_last);
            m_inPage = 0;
        }
    }

    CDbValue Value(int ordinal) const { return m_current->Value(ordinal); }

private:
    CDbStatement m_first;
    std::optional<CDbStatement> m_next;
    CDbStatement* m_current = &m_first;
    bool m_keyed;
    int m_pageRows;
    int m_keyOrdinal = 0;
    int m_inPage = 0;
    CDbValue m_last;
};

// Rows into one table of the open database: on a server many rows to a statement, each of which
// is a round trip; into a file one prepared statement per row, which costs no more.
class CRowWriter final
{
public:
    CRowWriter(CDbDatabase& db, const QString& table, const QStringList& columns, bool oneByOne)
        : m_db(db), m_table(table), m_columns(columns),
          m_rowsPerStatement(oneByOne || !db.IsServer()
                                 ? 1
                                 : std::max(1, kValuesPerStatement / static_cast<int>(columns.size())))
    {
        m_pending.reserve(static_cast<size_t>(m_rowsPerStatement) * static_cast<size_t>(columns.size()));
    }

    void Add(std::vector<CDbValue>& row)
    {
        for (CDbValue& value : row)
            m_pending.push_back(std::move(value));
        if (++m_rows == m_rowsPerStatement)
            Flush();
    }

    void Flush()
    {
        if (m_rows == 0)
            return;
        std::optional<CDbStatement>& insert = m_rows == m_rowsPerStatement ? m_full : m_tail;
        if (!insert)
            insert.emplace(m_db.PrepareSqlite(Text(m_rows)));
        insert->Reset();
        for (size_t i = 0; i < m_pending.size(); ++i)
            insert->Bind(static_cast<int>(i) + 1, m_pending[i]);
        insert->Execute();
        m_pending.clear();
        m_rows = 0;
    }

private:
    QString Text(int rows) const
    {
        QStringList names;
        for (const QString& column : m_columns)
            names.append(E(column));
        const QString row = QStringLiteral("(%1)").arg(
            QStringList(m_columns.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
        return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
            .arg(E(m_table), names.join(QStringLiteral(", ")),
                 QStringList(rows, row).join(QStringLiteral(", ")));
    }

    CDbDatabase& m_db;
    QString m_table;
    QStringList m_columns;
    int m_rowsPerStatement;
    int m_rows = 0;
    std::vector<CDbValue> m_pending;
    std::optional<CDbStatement> m_full;
    std::optional<CDbStatement> m_tail;
};

// A larger page cache on a catalogue file for as long as the import writes to it: a million
// rows go into the file's indexes, whose pages the default cache would read again and again.
class CLargePageCache final
{
public:
    explicit CLargePageCache(CDbDatabase& db) : m_db(db.IsServer() ? nullptr : &db)
    {
        if (!m_db)
            return;
        CDbStatement size = m_db->PrepareSqlite(QStringLiteral("PRAGMA cache_size"));
        if (size.Step())
            m_previous = size.Value(0).ToLong();
        m_db->ExecuteSqliteScript(QStringLiteral("PRAGMA cache_size=-65536"));
    }
    ~CLargePageCache()
    {
        if (!m_db || !m_previous)
            return;
        try
        {
            m_db->ExecuteSqliteScript(QStringLiteral("PRAGMA cache_size=%1").arg(*m_previous));
        }
        catch (const CDbException&)
        {
            // The connection keeps the larger cache: only memory, never the data.
        }
    }
    CLargePageCache(const CLargePageCache&) = delete;
    CLargePageCache& operator=(const CLargePageCache&) = delete;

private:
    CDbDatabase* m_db;
    std::optional<qint32> m_previous;
};

// Every identifier but 0 (a catalogue's root folder, or a reference to nothing), ascending.
std::vector<qint32> Identifiers(CDbDatabase& db, const QString& table, const QString& column, int pageRows)
{
    std::vector<qint32> ids;
    CPagedRows rows(db, QStringLiteral("SELECT DISTINCT %1 FROM %2").arg(E(column), E(table)), column,
                    pageRows);
    while (rows.Step())
        if (const qint32 id = rows.Value(0).ToLong(); id != 0)
            ids.push_back(id);
    return ids;
}

qint64 CounterValue(CDbDatabase& db, const QString& name)
{
    CDbStatement st = db.Prepare(QStringLiteral("SELECT IndexId FROM IndexId WHERE [Index]=?"));
    st.Bind(1, name);
    return st.Step() ? st.Value(0).ToLong() : 0;
}

qint64 Largest(const std::vector<qint32>& ids)
{
    return ids.empty() ? 0 : ids.back();
}

// The extension of a file name as the synchronizer stores it: the text after the last ".",
// trailing blanks removed; Null when there is none.
CDbValue ExtensionOf(const CDbValue& name)
{
    const QString text = name.ToString();
    const qsizetype dot = text.lastIndexOf(QLatin1Char('.'));
    if (name.IsNull() || dot < 0)
        return CDbValue::Null();
    QString extension = text.mid(dot + 1);
    while (!extension.isEmpty() && extension.back().isSpace())
        extension.chop(1);
    return extension.isEmpty() ? CDbValue::Null() : CDbValue(extension);
}
} // namespace EngineImport

CMwEngineImport::CMwEngineImport(CDbDatabase& db, CUserInteraction& ui, std::function<bool()> shouldContinue)
    : m_db(db), m_ui(ui), m_fnShouldContinue(std::move(shouldContinue))
{
}

qint32 CMwEngineImport::SKeySpace::NewId(qint32 id) const
{
    const auto it = std::lower_bound(colliding.begin(), colliding.end(), id);
    if (it == colliding.end() || *it != id)
        return id;
    return static_cast<qint32>(base + (it - colliding.begin()) + 1);
}

void CMwEngineImport::CheckContinue() const
{
    if (m_fnShouldContinue && !m_fnShouldContinue())
        throw EngineImport::SStop{{EngineImport::kCancelled, QString(), EngineImport::kCaption}};
}

SMwImportResult CMwEngineImport::Import(const QString& importPathOrAddress)
{
    using namespace EngineImport;
    if (!DbAddress::IsServerAddress(importPathOrAddress) && !QFileInfo(importPathOrAddress).isFile())
        return {SystemError::FileNotFound, QStringLiteral("Could not locate the import database!"), kCaption};
    m_ui.SetStatusText(QStringLiteral("Importing database..."));
    CDbDatabase source;
    try
    {
        source.Open(importPathOrAddress, EDbOpenMode::ReadOnly);
    }
    catch (const CDbException& e)
    {
        m_ui.SetStatusText(QString());
        return {static_cast<int>(e.m_nErrorCode), e.m_strDescription, QStringLiteral("Database Error")};
    }

    SMwImportResult result;
    try
    {
        // One view of the other database from the first page to the last: rows another program
        // writes meanwhile come all or not at all, never a file without its catalogue. Only read,
        // and so never committed.
        CDbTransaction snapshot(source, false);
        const CLargePageCache cache(m_db);
        if (source.IsServer())
            source.ExecuteSqliteScript(
                QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY"));
        m_strContext = QStringLiteral("CMwImport::ReadImportInfo() - ImportInfoRecSet.Open");
        ReadImportInfo(source);
        if (SMwImportResult space = CheckSpace(source); !space.Succeeded())
        {
            m_ui.SetStatusText(QString());
            return space;
        }
        m_ui.SetProgressRange(0, static_cast<int>(m_tables.size()) + 2);
        CheckContinue();
        m_strContext = QStringLiteral("CMwImport::ReIndexImportTables() - TableRecSet.Open");
        ClaimIdentifiers(source);
        m_ui.StepProgress();
        {
            // One transaction: the open database takes all of the rows or none of them.
            CDbTransaction trans(m_db, true);
            m_strContext = QStringLiteral("CMwImport::MergeIndices() - IndexRecSet.Open");
            MergeCounters(source);
            m_ui.StepProgress();
            for (const STable& table : m_tables)
            {
                CheckContinue();
                // Usage lists and file marks are never imported.
                if (table.bImport && !table.bPurge)
                {
                    m_strContext =
                        QStringLiteral("CMwImport::ImportTables() - TableRecSet.AddNew() - Table is [%1]")
                            .arg(table.strTable);
                    ImportTable(source, table);
                }
                m_ui.StepProgress();
            }
            m_strContext = QStringLiteral("CMwImport::ImportParameters() - ParameterRecSet.Open");
            ImportParameters(source);
            CheckContinue();
            trans.Commit();
        }
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

void CMwEngineImport::ReadImportInfo(CDbDatabase& source)
{
    m_tables.clear();
    m_keySpaces.clear();
    CDbStatement st = m_db.Prepare(QStringLiteral("SELECT ImportInfo.Table, ImportInfo.Index, "
                                                  "ImportInfo.NameField, ImportInfo.Import, ImportInfo.Purge "
                                                  "FROM ImportInfo ORDER BY ImportInfo.ImportOrder"));
    while (st.Step())
    {
        STable table{st.Value(0).ToString(), st.Value(1).ToString(), st.Value(2).ToString(),
                     st.Value(3).ToBool(), st.Value(4).ToBool()};
        if (table.strTable.isEmpty())
            continue;
        if (table.bImport && !table.bPurge && !table.strIndex.isEmpty() &&
            EngineImport::IndexOf(EngineImport::Columns(source, table.strTable), table.strIndex) >= 0)
            m_keySpaces.push_back({table.strTable, table.strIndex, {}});
        m_tables.push_back(table);
    }
    // Files of the same content share a group number, which must not make strangers of the two
    // databases similar files.
    const bool filesImported =
        std::any_of(m_tables.begin(), m_tables.end(),
                    [](const STable& t) { return t.bImport && t.strTable == QLatin1String("File"); });
    if (filesImported && EngineImport::IndexOf(EngineImport::Columns(source, QStringLiteral("File")),
                                               QStringLiteral("SimilarityId")) >= 0)
        m_keySpaces.push_back({QStringLiteral("File"), QStringLiteral("SimilarityId"), {}});
}

SMwImportResult CMwEngineImport::CheckSpace(CDbDatabase& source)
{
    using namespace EngineImport;
    // A server's disk is its administrator's business; a file grows by the rows, and its journal
    // holds them once more until the one transaction commits.
    if (m_db.IsServer())
        return {};
    quint64 rows = 0;
    for (const STable& table : m_tables)
    {
        if (!table.bImport || table.bPurge || Columns(source, table.strTable).isEmpty())
            continue;
        CDbStatement count = source.Prepare(QStringLiteral("SELECT Count(*) FROM %1").arg(N(table.strTable)));
        if (count.Step())
            rows += static_cast<quint64>(std::max(0.0, count.Value(0).ToDouble()));
    }
    if (!source.IsServer())
        rows = std::max<quint64>(rows, static_cast<quint64>(QFileInfo(source.Path()).size()) / kBytesPerRow);
    CSpaceRequestList space;
    AddSpaceRequest(space, m_db.Path(), rows * kBytesPerRow * 2);
    QString message;
    if (const int rc = CheckDiskSpace(space, &message))
        return {rc, rc == SystemError::DiskFull ? message : SystemErrorText(rc), kCaption};
    return {};
}

void CMwEngineImport::ClaimIdentifiers(CDbDatabase& source)
{
    using namespace EngineImport;
    // Each counter is raised past both databases' identifiers plus the ones to be moved and
    // committed at once: whatever other writers take meanwhile lies above the claimed range.
    CDbTransaction trans(m_db, true);
    for (SKeySpace& space : m_keySpaces)
    {
        CheckContinue();
        const QString counter = space.Counter();
        // The counter's row is locked from here to the commit.
        const std::optional<qint32> counted = LockRecSetIdCounter(m_db, counter);
        if (!counted)
            m_db.Execute(QStringLiteral("INSERT INTO IndexId ([Index], IndexId) VALUES (?, 0)"),
                         {CDbValue(counter)});
        const std::vector<qint32> theirs = Identifiers(source, space.strTable, space.strColumn, m_nPageRows);
        const std::vector<qint32> ours = Identifiers(m_db, space.strTable, space.strColumn, m_nPageRows);
        const qint64 base = std::max({static_cast<qint64>(counted.value_or(0)), CounterValue(source, counter),
                                      Largest(ours), Largest(theirs)});
        space.colliding.clear();
        std::set_intersection(theirs.begin(), theirs.end(), ours.begin(), ours.end(),
                              std::back_inserter(space.colliding));
        space.base = base;
        const qint64 top = base + static_cast<qint64>(space.colliding.size());
        if (top > std::numeric_limits<qint32>::max())
            throw CDbException(
                DbErrors::kInvalidArgument,
                QStringLiteral("There are too many %1 rows to import: their identifiers would pass "
                               "the largest number a database can hold.")
                    .arg(space.strTable));
        m_db.Execute(QStringLiteral("UPDATE IndexId SET IndexId=? WHERE [Index]=?"),
                     {CDbValue(static_cast<qint32>(top)), CDbValue(counter)});
    }
    trans.Commit();
}

void CMwEngineImport::MergeCounters(CDbDatabase& source)
{
    // Every counter ends with the larger of the two values.
    CDbStatement theirs =
        source.Prepare(QStringLiteral("SELECT IndexId.Index, IndexId.IndexId FROM IndexId"));
    while (theirs.Step())
    {
        const CDbValue name = theirs.Value(0);
        const CDbValue value = theirs.Value(1);
        if (name.IsNull() || value.IsNull())
            continue;
        if (m_db.Execute(
                QStringLiteral("UPDATE IndexId SET IndexId=? WHERE [Index]=? AND (IndexId Is Null OR "
                               "IndexId < ?)"),
                {value, name, value}) > 0)
            continue;
        CDbStatement ours = m_db.Prepare(QStringLiteral("SELECT IndexId FROM IndexId WHERE [Index]=?"));
        ours.Bind(1, name);
        if (!ours.Step())
            m_db.Execute(QStringLiteral("INSERT INTO IndexId ([Index], IndexId) VALUES (?, ?)"),
                         {name, value});
    }
}

void CMwEngineImport::ImportTable(CDbDatabase& source, const STable& table)
{
    using namespace EngineImport;
    const QStringList theirs = Columns(source, table.strTable);
    if (theirs.isEmpty())
        return; // an older schema without the table

    // The open database's columns that the other one has too, with where each value comes from
    // and the identifiers it follows; the others keep their defaults.
    struct SColumn
    {
        QString name;
        int from = -1;
        bool extension = false;
        const SKeySpace* space = nullptr;
    };
    std::vector<SColumn> columns;
    for (const QString& column : Columns(m_db, table.strTable))
    {
        SColumn c{column, IndexOf(theirs, column)};
        if (c.from < 0 && table.strTable == QLatin1String("File") && column == QLatin1String("Extension"))
        {
            c.from = IndexOf(theirs, QStringLiteral("File"));
            c.extension = true;
        }
        if (c.from < 0)
            continue;
        for (const SKeySpace& space : m_keySpaces)
        {
            const bool own =
                space.strTable == table.strTable && space.strColumn.compare(column, Qt::CaseInsensitive) == 0;
            const bool reference = std::any_of(std::begin(kReferences), std::end(kReferences),
                                               [&](const SReference& r)
                                               {
                                                   return table.strTable == QLatin1String(r.table) &&
                                                          column == QLatin1String(r.column) &&
                                                          space.strTable == QLatin1String(r.keyTable) &&
                                                          space.strColumn == QLatin1String(r.keyColumn);
                                               });
            if (own || reference)
                c.space = &space;
        }
        columns.push_back(c);
    }
    if (columns.empty())
        return;

    QStringList names;
    int nameColumn = -1;
    for (size_t i = 0; i < columns.size(); ++i)
    {
        names.append(columns[i].name);
        if (!table.strNameField.isEmpty() &&
            columns[i].name.compare(table.strNameField, Qt::CaseInsensitive) == 0)
            nameColumn = static_cast<int>(i);
    }
    // A name is checked against the rows written before it, so a table with a name field is
    // written a row at a time (such tables are short).
    CRowWriter writer(m_db, table.strTable, names, nameColumn >= 0);
    std::optional<CDbStatement> taken;
    if (nameColumn >= 0)
        taken.emplace(m_db.Prepare(QStringLiteral("SELECT Count(*) FROM %1 WHERE %2=?")
                                       .arg(N(table.strTable), N(names[nameColumn]))));
    const int size =
        nameColumn >= 0 ? FileIdentity::ColumnLengthLimit(m_db, table.strTable, table.strNameField, 0) : 0;
    const int indexColumn = table.strIndex.isEmpty() ? -1 : IndexOf(theirs, table.strIndex);
    // In identifier order, so that the "(Imported n)" names come out as they would between files.
    CPagedRows rows(source, QStringLiteral("SELECT * FROM %1").arg(E(table.strTable)),
                    indexColumn >= 0 ? theirs[indexColumn] : QString(), m_nPageRows);
    std::vector<CDbValue> row(columns.size());
    for (int count = 0; rows.Step(); ++count)
    {
        if (count % kRowsBetweenChecks == kRowsBetweenChecks - 1)
            CheckContinue();
        // Identifier 0 is every catalogue's root folder and refers to nothing else: never copied.
        if (indexColumn >= 0 && !rows.Value(indexColumn).IsNull() && rows.Value(indexColumn).ToLong() == 0)
            continue;
        for (size_t i = 0; i < columns.size(); ++i)
        {
            const SColumn& c = columns[i];
            CDbValue value = rows.Value(c.from);
            if (c.extension)
                value = ExtensionOf(value);
            else if (c.space && !value.IsNull())
                value = CDbValue(c.space->NewId(value.ToLong()));
            else if (static_cast<int>(i) == nameColumn && !value.IsNull())
            {
                const QString text = value.ToString();
                for (int attempt = 1;; ++attempt)
                {
                    taken->Reset();
                    taken->Bind(1, value);
                    if (!taken->Step() || taken->Value(0).ToLong() == 0)
                        break;
                    value = CDbValue(CMwImport::ImportedName(text, attempt, size));
                }
            }
            row[i] = std::move(value);
        }
        writer.Add(row);
    }
    writer.Flush();
}

void CMwEngineImport::ImportParameters(CDbDatabase& source)
{
    if (EngineImport::Columns(source, QStringLiteral("Parameter")).isEmpty())
        return;
    // Imported parameters overwrite the open database's of the same name.
    CDbStatement theirs = source.Prepare(QStringLiteral(
        "SELECT Parameter.Parameter, Parameter.Value, Parameter.Description FROM [Parameter]"));
    while (theirs.Step())
    {
        const QString name = theirs.Value(0).ToString();
        if (name.compare(QLatin1String("CompactOnExit"), Qt::CaseInsensitive) != 0 &&
            !name.startsWith(QLatin1String("FolderFileListFieldView_"), Qt::CaseInsensitive) &&
            !name.startsWith(QLatin1String("QueryFileListFieldView_"), Qt::CaseInsensitive))
            continue;
        if (m_db.Execute(
                QStringLiteral("UPDATE [Parameter] SET [Value]=?, Description=? WHERE [Parameter]=?"),
                {theirs.Value(1), theirs.Value(2), CDbValue(name)}) == 0)
            m_db.Execute(QStringLiteral(
                             "INSERT INTO [Parameter] ([Parameter], [Value], Description) VALUES (?, ?, ?)"),
                         {CDbValue(name), theirs.Value(1), theirs.Value(2)});
    }
}
