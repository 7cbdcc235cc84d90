#include "database/DbDatabase.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "database/DbConnection.h"
#include "database/DbErrors.h"
#include "database/DbQueryDef.h"
#include "database/DbServices.h"
#include "database/DbTransaction.h"
#include "database/JetSql.h"
#include "database/JetSqlFunctions.h"
#include "database/PgEngine.h"
#include "database/PgServerFunctions.h"
#include "database/PgSql.h"
#include "platform/FileSystem.h"
#include "platform/ProgramInfo.h"

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>
#include <QStorageInfo>
#include <QUrl>

#include <algorithm>
#include <cstring>

namespace
{
constexpr int kDefaultBusyTimeoutMs = 250;
// The advisory lock that the immediate transactions on a server catalogue take ("QRLW").
constexpr qint64 kServerWriterLock = 0x51524C57;
// The advisory lock of adding what an earlier build's server catalogue lacks ("QRLU"): two
// programs opening it at once add it once.
constexpr qint64 kServerUpgradeLock = 0x51524C55;

QMutex g_networkTestMutex;
std::function<bool(const QString&)> g_networkTest;

void GetUserNameFunction(sqlite3_context* context, int, sqlite3_value**)
{
    const auto* connection = static_cast<const CDbConnection*>(sqlite3_user_data(context));
    sqlite3_result_text(context, connection->m_userNameUtf8.constData(),
                        static_cast<int>(connection->m_userNameUtf8.size()), SQLITE_TRANSIENT);
}

void Check(sqlite3* db, int rc, const QString& what = QString())
{
    if (rc != SQLITE_OK)
        DbErrors::ThrowSqliteError(db, rc, what);
}

// The first bytes of every SQLite database file.
bool HasDatabaseHeader(QFile& file)
{
    static const QByteArray header("SQLite format 3", 16);
    return file.read(16) == header;
}
} // namespace

// The names a translation depends on, read from the database and read again when its schema
// (or its temporary schema) changes, or when a stored query is stored through this object.
struct CDbDatabase::CNames final : CJetSchema
{
    bool IsTable(const QString& name) const override { return m_tables.contains(name.toLower()); }
    bool IsColumn(const QString& name) const override { return m_columns.contains(name.toLower()); }
    std::optional<QString> StoredQuerySql(const QString& name) const override
    {
        const auto it = m_queries.constFind(name.toLower());
        if (it == m_queries.constEnd())
            return std::nullopt;
        return it->second;
    }

    QStringList PrimaryKey(const QString& table) const override { return m_keys.value(table.toLower()); }

    qint64 m_version = -1;
    QHash<QString, QStringList> m_keys;
    QSet<QString> m_tables;
    QSet<QString> m_columns;
    QHash<QString, std::pair<QString, QString>> m_queries; // lower-case name -> (name, SQL)
    QHash<QString, std::shared_ptr<const CJetTranslation>> m_translations;
};

QString CDbDatabase::DefaultUserName()
{
    const QString overridden = qEnvironmentVariable("QUARRANE_USER").trimmed();
    return overridden.isEmpty() ? CurrentLoginName() : overridden;
}

CDbDatabase::CDbDatabase() : m_names(std::make_unique<CNames>()), m_strUserName(DefaultUserName()) {}

CDbDatabase::~CDbDatabase()
{
    Close();
}

bool CDbDatabase::IsOpen() const
{
    return m_connection && m_connection->IsOpen();
}

sqlite3* CDbDatabase::Handle() const
{
    return m_connection ? m_connection->Handle() : nullptr;
}

bool CDbDatabase::IsServer() const
{
    return m_connection && m_connection->Server();
}

bool CDbDatabase::IsServerAddress(const QString& address)
{
    return PgSql::IsServerAddress(address);
}

QString CDbDatabase::DisplayAddress(const QString& address)
{
    return PgSql::DisplayAddress(address);
}

bool CDbDatabase::ServerSupportAvailable()
{
    return CPgConnection::Available();
}

void CDbDatabase::OpenServer(const QString& address, EDbOpenMode mode, bool creating)
{
    m_connection = std::make_shared<CDbConnection>(std::make_unique<CPgConnection>(address));
    m_names = std::make_unique<CNames>();
    m_strPath = address;
    m_nTransactionDepth = 0;
    m_bReadOnly = mode == EDbOpenMode::ReadOnly;
    try
    {
        m_connection->Server()->SetUserName(m_strUserName);
        SetBusyTimeout(kDefaultBusyTimeoutMs);
        if (m_bReadOnly)
            ExecuteSqliteScript(QStringLiteral("SET default_transaction_read_only = on"));
        if (!creating && IsCurrentCatalogue() && !m_bReadOnly)
            AddMissingServerFunctions();
        Names();
    }
    catch (...)
    {
        Close();
        throw;
    }
}

QStringList CDbDatabase::MissingServerFunctions()
{
    return IsServer() ? m_connection->Server()->MissingFunctions() : QStringList();
}

namespace
{
// The "not empty" rules that compare under the collation: table, column and rule names.
const char* const kOutdatedRulesSql =
    "SELECT relname::text, attname::text, conname::text FROM pg_constraint "
    "JOIN pg_class ON pg_class.oid = conrelid "
    "JOIN pg_attribute ON attrelid = conrelid AND attnum = conkey[1] "
    "WHERE contype = 'c' AND right(conname, 9) = '_NotEmpty' "
    "AND strpos(pg_get_constraintdef(pg_constraint.oid), 'COLLATE \"C\"') = 0 "
    "AND connamespace = current_schema()::regnamespace ORDER BY 1, 2";
} // namespace

QStringList CDbDatabase::OutdatedServerRules()
{
    QStringList rules;
    if (!IsServer())
        return rules;
    CDbStatement st = PrepareSqlite(QString::fromLatin1(kOutdatedRulesSql));
    while (st.Step())
        rules.append(st.Value(0).ToString() + QLatin1Char('.') + st.Value(1).ToString());
    return rules;
}

void CDbDatabase::MendOutdatedServerRules()
{
    if (!IsServer())
        return;
    // Every table's rules in one statement, so that its rows are read once. The rule's text is
    // the one new catalogues are made with.
    const auto quoted = [](const QString& name) { return CJetSql::QuoteText(name, QLatin1Char('"')); };
    QMap<QString, QStringList> actions;
    {
        CDbStatement st = PrepareSqlite(QString::fromLatin1(kOutdatedRulesSql));
        while (st.Step())
            actions[st.Value(0).ToString()]
                << QStringLiteral("DROP CONSTRAINT %1, ADD CONSTRAINT %1 CHECK (%2 COLLATE \"C\" <> '')")
                       .arg(quoted(st.Value(2).ToString()), quoted(st.Value(1).ToString()));
    }
    if (actions.isEmpty())
        return;
    CDbTransaction transaction(*this, false);
    for (auto it = actions.cbegin(); it != actions.cend(); ++it)
        ExecuteSqliteScript(
            QStringLiteral("ALTER TABLE %1 %2").arg(quoted(it.key()), it.value().join(QStringLiteral(", "))));
    transaction.Commit();
}

void CDbDatabase::AddMissingServerFunctions()
{
    CPgConnection& server = *m_connection->Server();
    const QStringList missing = server.MissingFunctions();
    if (missing.isEmpty())
        return;
    try
    {
        // Not the writers' lock: a long write elsewhere must not make the open fail; this lock
        // is held only by other openers doing the same, for a moment.
        BeginTrans(false);
        ExecuteSqliteScript(QStringLiteral("SET LOCAL lock_timeout = 30000"));
        ExecuteSqliteScript(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kServerUpgradeLock));
        if (const QStringList stillMissing = server.MissingFunctions(); !stillMissing.isEmpty())
            ExecuteSqliteScript(PgServerFunctions::ScriptFor(stillMissing));
        CommitTrans();
    }
    catch (const CDbException& e)
    {
        Rollback();
        // A login that may read but not create: the catalogue stays usable for what does not
        // need the missing functions, and a statement that needs one says what to run.
        if (e.m_nErrorCode != DbErrors::kReadOnly)
            throw;
        AppendErrorLogLine(
            FormatErrorLogLine(QStringLiteral(__FILE__), __LINE__,
                               PgServerFunctions::MissingText(missing.join(QStringLiteral(", ")),
                                                              PgSql::DisplayAddress(m_strPath)),
                               QStringLiteral("CDbDatabase::Open()")));
    }
}

void CDbDatabase::CreateOnServer(const QString& address, const QString& script)
{
    Close();
    OpenServer(address, EDbOpenMode::ReadWrite, true);
    try
    {
        if (Names().m_tables.contains(QStringLiteral("parameter")))
            throw CDbException(DbErrors::kDatabaseExists,
                               QStringLiteral("The server database '%1' holds a catalogue already.")
                                   .arg(PgSql::DisplayAddress(address)));
        BeginTrans();
        ExecuteSqliteScript(script);
        CommitTrans();
        m_names = std::make_unique<CNames>();
        IsCurrentCatalogue();
        Names();
    }
    catch (...)
    {
        Close();
        throw;
    }
}

void CDbDatabase::Open(const QString& path, EDbOpenMode mode)
{
    Close();
    if (IsServerAddress(path))
    {
        OpenServer(path, mode, false);
        return;
    }
    const QFileInfo info(path);
    if (!info.exists())
        throw CDbException(DbErrors::kFileNotFound, QStringLiteral("Could not find file '%1'.").arg(path));
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly))
        throw CDbException(DbErrors::kCannotOpen,
                           QStringLiteral("Cannot open the file '%1'. It may be in use exclusively, or you may "
                                          "lack permission to read or write it.").arg(path));
    // Checked before SQLite sees the file: an empty or foreign file would otherwise be taken for
    // a new database and written to.
    if (!HasDatabaseHeader(file))
        throw CDbException(DbErrors::kUnrecognizedFormat, QStringLiteral("Unrecognized database format '%1'.").arg(path));
    file.close();
    const bool readOnly = mode == EDbOpenMode::ReadOnly;
    OpenHandle(path, readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
    m_bReadOnly = readOnly;
    // SQLite quietly falls back to reading only when it may not write; a catalogue that cannot
    // be written would fail at the first change instead, so it is refused here with the reason.
    if (!readOnly && sqlite3_db_readonly(Handle(), "main") == 1)
    {
        Close();
        throw CDbException(DbErrors::kCannotOpen,
                           QStringLiteral("Cannot open the file '%1' for writing: you need permission to write it and "
                                          "its folder.").arg(path));
    }
    try
    {
        try
        {
            Configure(false);
        }
        catch (const CDbException& e)
        {
            // A reader of a catalogue in WAL mode needs its shared-memory file, which it cannot
            // make in a folder it may not write (read-only media). With no write-ahead log beside
            // it the file holds everything, and nobody here can start one: read it as unchanging.
            if (!readOnly || e.m_nErrorCode != DbErrors::kReadOnly ||
                QFileInfo::exists(path + QStringLiteral("-wal")))
                throw;
            Close();
            OpenHandle(path, SQLITE_OPEN_READONLY, true);
            m_bReadOnly = true;
            Configure(false);
        }
    }
    catch (...)
    {
        Close();
        throw;
    }
}

void CDbDatabase::Create(const QString& path)
{
    Close();
    if (QFileInfo::exists(path))
        throw CDbException(DbErrors::kDatabaseExists,
                           QStringLiteral("Database '%1' already exists.").arg(path));
    OpenHandle(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    try
    {
        Configure(true);
    }
    catch (...)
    {
        Close();
        QFile::remove(path);
        throw;
    }
}

void CDbDatabase::OpenHandle(const QString& path, int flags, bool immutable)
{
    // Allocation statistics take a global mutex on every allocation, which costs a scan of a large
    // medium several percent of its time, and nothing here reads them. The setting only takes
    // before the library initialises itself, hence once, before the first open.
    static const bool configured = [] { return sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK; }();
    Q_UNUSED(configured);
    sqlite3* raw = nullptr;
    const QByteArray name =
        immutable ? "file:" + QUrl::toPercentEncoding(path, "/") + "?immutable=1" : QFile::encodeName(path);
    const int rc = sqlite3_open_v2(
        name.constData(), &raw, flags | SQLITE_OPEN_EXRESCODE | (immutable ? SQLITE_OPEN_URI : 0), nullptr);
    auto connection = std::make_shared<CDbConnection>(raw);
    if (rc != SQLITE_OK)
    {
        const int extended = raw ? sqlite3_extended_errcode(raw) : rc;
        const QString message = raw ? QString::fromUtf8(sqlite3_errmsg(raw)) : QString::fromUtf8(sqlite3_errstr(rc));
        const long code = (rc & 0xff) == SQLITE_CANTOPEN ? DbErrors::kCannotOpen
                                                         : DbErrors::JetCodeFromSqlite(extended, message, QString());
        throw CDbException(code, QStringLiteral("%1 ('%2')").arg(message, path));
    }
    m_connection = std::move(connection);
    m_names = std::make_unique<CNames>();
    m_connection->m_userNameUtf8 = m_strUserName.toUtf8();
    m_strPath = path;
    m_nTransactionDepth = 0;
}

void CDbDatabase::Configure(bool newFile)
{
    sqlite3* db = Handle();
    Check(db, sqlite3_extended_result_codes(db, 1));
    // A double-quoted name that matches no column must be an error, never a text literal.
    Check(db, sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 0, nullptr));
    Check(db, sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr));
    Check(db, JetSqlFunctions::Register(db));
    Check(db, sqlite3_create_function_v2(db, "GetUserName", 0, SQLITE_UTF8, m_connection.get(), GetUserNameFunction,
                                         nullptr, nullptr, nullptr));
    SetBusyTimeout(kDefaultBusyTimeoutMs);
    // Before any statement is prepared: SQLite drops its temporary database when this changes,
    // under the feet of statements already prepared against it.
    if (m_bTemporaryInMemory)
        ExecuteSqliteScript(QStringLiteral("PRAGMA temp_store=MEMORY;"));

    if (newFile)
    {
        ExecuteSqliteScript(QStringLiteral("PRAGMA page_size=4096; PRAGMA journal_mode=DELETE;"));
    }
    else
    {
        // Everything up to the journal mode only reads: a file refused here stays byte for byte
        // as it was. Reading the schema is what tells a damaged file.
        PrepareSqlite(QStringLiteral("SELECT count(*) FROM sqlite_master")).Execute();
        if (IsCurrentCatalogue() && !m_bReadOnly)
            ChooseJournalMode();
    }
    ExecuteSqliteScript(QStringLiteral("PRAGMA foreign_keys=ON;"));
    Names();
}

bool CDbDatabase::IsCurrentCatalogue()
{
    QSet<QString> tables;
    CDbStatement list = PrepareSqlite(
        IsServer()
            ? QStringLiteral("SELECT lower(relname) FROM pg_class WHERE relkind IN ('r', 'v', 'p') AND "
                             "relnamespace = current_schema()::regnamespace")
            : QStringLiteral("SELECT lower(name) FROM sqlite_master WHERE type IN ('table', 'view')"));
    while (list.Step())
        tables.insert(list.Value(0).ToString());
    list.Reset();
    const auto notCatalogue = [this]
    {
        return CDbException(
            DbErrors::kUnrecognizedFormat,
            QStringLiteral("Unrecognized database format '%1'.").arg(PgSql::DisplayAddress(m_strPath)));
    };
    if (!tables.contains(QStringLiteral("parameter")))
        throw notCatalogue();
    QString versionText;
    try
    {
        CDbStatement version = PrepareSqlite(
            QStringLiteral("SELECT \"Value\" FROM \"Parameter\" WHERE \"Parameter\"='Version'"));
        if (version.Step())
            versionText = version.Value(0).ToString();
    }
    catch (const CDbException& e)
    {
        // A server login that may not read the catalogue's tables: not a question of format.
        if (IsServer() && e.m_nErrorCode == DbErrors::kReadOnly)
            throw CDbException(DbErrors::kCannotOpen,
                               QStringLiteral("This login may not read the catalogue on the server '%1': its "
                                              "owner grants SELECT on its tables.")
                                   .arg(PgSql::DisplayAddress(m_strPath)));
        // A table of that name with other columns: somebody else's database.
        throw notCatalogue();
    }
    // Another version is opened as it is, so that the caller can tell which one it is; it is not
    // ours to convert, nor to write.
    if (DatabaseVersionFromText(versionText) != kCurrentDatabaseVersion)
        return false;
    for (const char* table : {"Catalogue", "File", "FileInfo", "IndexId", "RelativePath"})
        if (!tables.contains(QString::fromLatin1(table).toLower()))
            throw CDbException(
                DbErrors::kUnrecognizedFormat,
                QStringLiteral("Unrecognized database format '%1': the catalogue has lost its %2 "
                               "table.")
                    .arg(m_strPath, QString::fromLatin1(table)));
    return true;
}

void CDbDatabase::ChooseJournalMode()
{
    if (IsOnNetworkFileSystem(m_strPath))
    {
        try
        {
            PrepareSqlite(QStringLiteral("PRAGMA journal_mode=DELETE")).Execute();
        }
        catch (const CDbException& e)
        {
            // Another program on this machine holds it in WAL: sharing among local processes
            // still works, so the file is used as it is.
            if (!DbErrors::IsLockingError(e.m_nErrorCode))
                throw;
        }
    }
    else if (JournalMode() != QLatin1String("wal"))
        PrepareSqlite(QStringLiteral("PRAGMA journal_mode=WAL")).Execute();
    // In WAL a power cut may lose the last commits but never damages the file; the rollback
    // journal keeps full syncing.
    if (JournalMode() == QLatin1String("wal"))
        ExecuteSqliteScript(QStringLiteral("PRAGMA synchronous=NORMAL;"));
}

void CDbDatabase::Close()
{
    if (m_connection)
    {
        m_connection->Close();
        m_connection.reset();
    }
    m_nTransactionDepth = 0;
    m_bReadOnly = false;
}

void CDbDatabase::SetUserName(const QString& userName)
{
    m_strUserName = userName;
    if (m_connection)
        m_connection->m_userNameUtf8 = userName.toUtf8();
    if (IsServer())
        m_connection->Server()->SetUserName(userName);
}

void CDbDatabase::SetBusyTimeout(int milliseconds)
{
    if (IsServer())
        m_connection->Server()->SetLockTimeout(milliseconds);
    else if (IsOpen())
        sqlite3_busy_timeout(Handle(), milliseconds);
}

namespace
{
[[noreturn]] void ThrowTooFewParameters(const CJetTranslation& translation)
{
    throw CDbException(DbErrors::kTooFewParameters,
                       QStringLiteral("Too few parameters. Expected %1 (%2).")
                           .arg(translation.parameters.size())
                           .arg(translation.parameters.join(QStringLiteral(", "))));
}
} // namespace

CDbStatement CDbDatabase::Prepare(const QString& jetSql)
{
    const std::shared_ptr<const CJetTranslation> translation = TranslateJet(jetSql);
    if (!translation->parameters.isEmpty())
        ThrowTooFewParameters(*translation);
    if (translation->statements.size() != 1)
        throw CDbException(
            DbErrors::kNotUpdatable,
            QStringLiteral("An update through an outer join is run with Execute, not opened."));
    return PrepareSqlite(translation->statements.front());
}

CDbDatabase::CNames& CDbDatabase::Names()
{
    if (IsServer())
    {
        // The server keeps no schema counter: the count and newest identifier of the objects of
        // this session's schemas change whenever a table comes or goes.
        CDbStatement versions =
            PrepareSqlite(QStringLiteral("SELECT count(*) * 1000000000 + coalesce(max(oid::bigint), 0) FROM "
                                         "pg_class WHERE relnamespace IN "
                                         "(current_schema()::regnamespace, pg_my_temp_schema())"));
        const qint64 version = versions.Step() ? static_cast<qint64>(versions.Value(0).ToDouble()) : 0;
        versions.Reset();
        if (version == m_names->m_version)
            return *m_names;
        auto names = std::make_unique<CNames>();
        names->m_version = version;
        ReadServerNames(*names);
        m_names = std::move(names);
        return *m_names;
    }
    qint64 version = 0;
    for (const char* pragma : {"PRAGMA main.schema_version", "PRAGMA temp.schema_version"})
    {
        CDbStatement versions = PrepareSqlite(QString::fromLatin1(pragma));
        version = version * 1000000 + (versions.Step() ? versions.Value(0).ToLong() : 0);
        versions.Reset();
    }
    if (version == m_names->m_version)
        return *m_names;
    auto names = std::make_unique<CNames>();
    names->m_version = version;
    CDbStatement tables = PrepareSqlite(QStringLiteral(
        "SELECT name FROM sqlite_master WHERE type IN ('table','view') UNION "
        "SELECT name FROM sqlite_temp_master WHERE type IN ('table','view')"));
    QStringList tableNames;
    while (tables.Step())
        tableNames << tables.Value(0).ToString();
    // The schema tables, which a statement may read too.
    tableNames << QStringLiteral("sqlite_master") << QStringLiteral("sqlite_schema") << QStringLiteral("sqlite_temp_master");
    for (const QString& table : tableNames)
    {
        names->m_tables.insert(table.toLower());
        CDbStatement columns = PrepareSqlite(QStringLiteral("SELECT name, pk FROM pragma_table_info(?) ORDER BY pk"));
        columns.Bind(1, table);
        QStringList key;
        while (columns.Step())
        {
            names->m_columns.insert(columns.Value(0).ToString().toLower());
            if (columns.Value(1).ToLong() > 0)
                key << columns.Value(0).ToString();
        }
        names->m_keys.insert(table.toLower(), key);
    }
    if (names->m_tables.contains(QStringLiteral("storedquery")))
    {
        CDbStatement queries = PrepareSqlite(QStringLiteral("SELECT \"Name\", \"SQL\" FROM \"StoredQuery\""));
        while (queries.Step())
        {
            const QString name = queries.Value(0).ToString();
            const QString sql = queries.Value(1).ToString();
            names->m_queries.insert(name.toLower(), {name, sql});
            // The columns a stored query names itself ("Count(*) AS N") are columns to a query
            // that reads it.
            static const QRegularExpression alias(QStringLiteral(R"(\bAS\s+\[?([^\]\s,;()]+))"),
                                                  QRegularExpression::CaseInsensitiveOption);
            for (auto it = alias.globalMatch(sql); it.hasNext();)
                names->m_columns.insert(it.next().captured(1).toLower());
        }
    }
    m_names = std::move(names);
    return *m_names;
}

void CDbDatabase::ReadServerNames(CNames& names)
{
    CDbStatement columns = PrepareSqlite(QStringLiteral(
        "SELECT c.relname, a.attname, array_position(i.indkey::int2[], a.attnum) FROM pg_class c "
        "JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
        "LEFT JOIN pg_index i ON i.indrelid = c.oid AND i.indisprimary "
        "WHERE c.relkind IN ('r', 'v', 'p') AND c.relnamespace IN (current_schema()::regnamespace, "
        "pg_my_temp_schema()) ORDER BY c.relname, 3, a.attnum"));
    while (columns.Step())
    {
        const QString table = columns.Value(0).ToString().toLower();
        names.m_tables.insert(table);
        names.m_columns.insert(columns.Value(1).ToString().toLower());
        if (!columns.Value(2).IsNull())
            names.m_keys[table] << columns.Value(1).ToString();
    }
    if (!names.m_tables.contains(QStringLiteral("storedquery")))
        return;
    CDbStatement queries = PrepareSqlite(QStringLiteral("SELECT \"Name\", \"SQL\" FROM \"StoredQuery\""));
    while (queries.Step())
    {
        const QString name = queries.Value(0).ToString();
        const QString sql = queries.Value(1).ToString();
        names.m_queries.insert(name.toLower(), {name, sql});
        static const QRegularExpression alias(QStringLiteral(R"(\bAS\s+\[?([^\]\s,;()]+))"),
                                              QRegularExpression::CaseInsensitiveOption);
        for (auto it = alias.globalMatch(sql); it.hasNext();)
            names.m_columns.insert(it.next().captured(1).toLower());
    }
}

std::shared_ptr<const CJetTranslation> CDbDatabase::TranslateJet(const QString& jetSql)
{
    // A text seen before keeps its translation without asking for the schema's version: the
    // statements that run per row stay as cheap as they were. A new text checks it first.
    if (const auto it = m_names->m_translations.constFind(jetSql); it != m_names->m_translations.constEnd())
        return *it;
    CNames& names = Names();
    auto translation = std::make_shared<const CJetTranslation>(CJetSql::TranslateStatement(jetSql, names));
    // Texts with values pasted in (criteria) would grow the cache without end.
    if (names.m_translations.size() >= 4096)
        names.m_translations.clear();
    names.m_translations.insert(jetSql, translation);
    return translation;
}

int CDbDatabase::RunTranslation(const CJetTranslation& translation, const std::function<void(CDbStatement&)>& bind)
{
    if (translation.statements.size() == 1)
    {
        CDbStatement statement = PrepareSqlite(translation.statements.front());
        bind(statement);
        return statement.Execute();
    }
    CDbTransaction transaction(*this);
    int changes = 0;
    for (qsizetype i = 0; i < translation.statements.size(); ++i)
    {
        CDbStatement statement = PrepareSqlite(translation.statements[i]);
        bind(statement);
        const int changed = statement.Execute();
        if (translation.countsChanges[static_cast<size_t>(i)])
            changes += changed;
    }
    transaction.Commit();
    return changes;
}

QStringList CDbDatabase::QueryDefNames()
{
    QStringList names;
    for (const auto& query : Names().m_queries)
        names << query.first;
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    return names;
}

bool CDbDatabase::HasQueryDef(const QString& name)
{
    return Names().m_queries.contains(name.toLower());
}

CDbQueryDef CDbDatabase::OpenQueryDef(const QString& name)
{
    const auto it = Names().m_queries.constFind(name.toLower());
    if (it == m_names->m_queries.constEnd())
        throw CDbException(DbErrors::kInputNotFound,
                           QStringLiteral("The database engine cannot find the input table or query '%1'.").arg(name));
    return CDbQueryDef(*this, it->first, it->second);
}

CDbQueryDef CDbDatabase::CreateQueryDef(const QString& jetSql)
{
    return CDbQueryDef(*this, QString(), jetSql);
}

void CDbDatabase::StoreQueryDef(const QString& name, const QString& jetSql)
{
    // Checked before it is stored: a text that cannot be read never becomes a stored query.
    CJetSql::TranslateStatement(jetSql, Names());
    CDbStatement store = PrepareSqlite(QStringLiteral(
        "INSERT INTO \"StoredQuery\" (\"Name\", \"SQL\") VALUES (?1, ?2) ON CONFLICT (\"Name\") DO UPDATE SET \"SQL\" = ?2"));
    store.Bind(1, name).Bind(2, jetSql);
    store.Execute();
    m_names->m_translations.clear();
    m_names->m_version = -1;
}

CDbStatement CDbDatabase::PrepareSqlite(const QString& sqliteSql)
{
    if (!IsOpen())
        throw CDbException(DbErrors::kInvalidArgument, QStringLiteral("The database is not open."));
    return CDbStatement(m_connection, sqliteSql);
}

int CDbDatabase::Execute(const QString& jetSql, std::initializer_list<CDbValue> values)
{
    const std::shared_ptr<const CJetTranslation> translation = TranslateJet(jetSql);
    if (!translation->parameters.isEmpty())
        ThrowTooFewParameters(*translation);
    return RunTranslation(*translation, [&](CDbStatement& statement) {
        // A rewritten statement may carry only some of the values (the first of an update's steps).
        int position = 1;
        for (const CDbValue& value : values)
        {
            if (position > statement.ParameterCount())
                break;
            statement.Bind(position++, value);
        }
    });
}

int CDbDatabase::Execute(const QString& jetSql, std::initializer_list<NamedValue> values)
{
    const std::shared_ptr<const CJetTranslation> translation = TranslateJet(jetSql);
    if (!translation->parameters.isEmpty())
        ThrowTooFewParameters(*translation);
    return RunTranslation(*translation, [&](CDbStatement& statement) {
        if (translation->statements.size() > 1 && statement.ParameterCount() == 0)
            return;
        for (const NamedValue& value : values)
            statement.Bind(value.first, value.second);
    });
}

void CDbDatabase::ExecuteSqliteScript(const QString& sqliteScript)
{
    if (!IsOpen())
        throw CDbException(DbErrors::kInvalidArgument, QStringLiteral("The database is not open."));
    if (IsServer())
        return m_connection->Server()->ExecuteScript(sqliteScript);
    char* error = nullptr;
    const int rc = sqlite3_exec(Handle(), sqliteScript.toUtf8().constData(), nullptr, nullptr, &error);
    sqlite3_free(error);
    Check(Handle(), rc, sqliteScript);
}

void CDbDatabase::CopyServerRows(const QString& table, const QStringList& columns,
                                 const std::vector<CDbValue>& values)
{
    if (!IsOpen())
        throw CDbException(DbErrors::kInvalidArgument, QStringLiteral("The database is not open."));
    if (!IsServer())
        throw CDbException(DbErrors::kInvalidArgument,
                           QStringLiteral("Rows are copied in one go into a server catalogue only."));
    m_connection->Server()->CopyRows(table, columns, values);
}

void CDbDatabase::BeginTrans(bool immediate)
{
    if (m_nTransactionDepth > 0 && !EngineInTransaction())
        m_nTransactionDepth = 0; // the engine ended it itself after an error
    if (m_nTransactionDepth == 0 && IsServer())
        BeginServerTrans(immediate);
    else if (m_nTransactionDepth == 0)
        ExecuteSqliteScript(immediate ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    else
        ExecuteSqliteScript(QStringLiteral("SAVEPOINT qrl%1").arg(m_nTransactionDepth));
    ++m_nTransactionDepth;
}

void CDbDatabase::BeginServerTrans(bool immediate)
{
    // An immediate transaction is the one writer of the catalogue, as on SQLite: the services that
    // read a value and write the next one (identifier counters, parameters) rely on no other
    // writer coming between. A transaction-level advisory lock gives that; waiting for it ends
    // with the locking error after the lock timeout, as SQLite's busy timeout does.
    ExecuteSqliteScript(QStringLiteral("BEGIN"));
    if (!immediate)
        return;
    try
    {
        ExecuteSqliteScript(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kServerWriterLock));
    }
    catch (...)
    {
        ExecuteSqliteScript(QStringLiteral("ROLLBACK"));
        throw;
    }
}

void CDbDatabase::CommitTrans()
{
    if (m_nTransactionDepth <= 0 || !EngineInTransaction())
    {
        m_nTransactionDepth = 0;
        throw CDbException(
            DbErrors::kNoTransaction,
            QStringLiteral(
                "You tried to commit or rollback a transaction without first beginning a transaction."));
    }
    if (m_nTransactionDepth == 1)
        ExecuteSqliteScript(QStringLiteral("COMMIT"));
    else
        ExecuteSqliteScript(QStringLiteral("RELEASE qrl%1").arg(m_nTransactionDepth - 1));
    --m_nTransactionDepth;
}

void CDbDatabase::Rollback()
{
    if (m_nTransactionDepth <= 0 || !IsOpen() || !EngineInTransaction())
    {
        m_nTransactionDepth = 0;
        return;
    }
    --m_nTransactionDepth;
    if (m_nTransactionDepth == 0)
        ExecuteSqliteScript(QStringLiteral("ROLLBACK"));
    else
        ExecuteSqliteScript(QStringLiteral("ROLLBACK TO qrl%1; RELEASE qrl%1").arg(m_nTransactionDepth));
}

void CDbDatabase::CompactDatabase(const QString& sourcePath, const QString& targetPath)
{
    if (QFileInfo::exists(targetPath))
        throw CDbException(DbErrors::kDatabaseExists,
                           QStringLiteral("Database '%1' already exists.").arg(targetPath));
    CDbDatabase source;
    source.Open(sourcePath);
    try
    {
        // Compaction needs the file to itself, as it replaces it afterwards: a connection anywhere
        // else keeps it from taking the exclusive lock, which it then holds until it closes.
        // In WAL an idle connection holds no lock on the file itself, only on its shared memory.
        bool inUse = IsWalDatabaseOpenElsewhere(sourcePath);
        try
        {
            source.ExecuteSqliteScript(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;"));
        }
        catch (const CDbException&)
        {
            inUse = true;
        }
        if (inUse)
            throw CDbException(DbErrors::kFileInUse,
                               QStringLiteral("Could not use '%1'; file already in use.").arg(sourcePath));
        CDbStatement vacuum = source.PrepareSqlite(QStringLiteral("VACUUM INTO ?"));
        vacuum.Bind(1, targetPath);
        vacuum.Execute();
        source.Close();
        // The copy starts in the rollback journal, as a new file from the template does.
        CDbDatabase target;
        target.OpenHandle(targetPath, SQLITE_OPEN_READWRITE);
        target.Configure(true);
        CDbStatement check = target.PrepareSqlite(QStringLiteral("PRAGMA quick_check"));
        if (!check.Step() || check.Value(0).ToString() != QLatin1String("ok"))
            throw CDbException(DbErrors::kUnrecognizedFormat,
                               QStringLiteral("Unrecognized database format (the compacted copy does not check)."));
    }
    catch (...)
    {
        source.Close();
        QFile::remove(targetPath);
        throw;
    }
}

bool CDbDatabase::InTransaction() const
{
    return IsOpen() && EngineInTransaction();
}

bool CDbDatabase::EngineInTransaction() const
{
    if (IsServer())
        return m_connection->Server()->InTransaction();
    return !sqlite3_get_autocommit(Handle());
}

QString CDbDatabase::JournalMode()
{
    if (IsServer())
        return QString();
    CDbStatement statement = PrepareSqlite(QStringLiteral("PRAGMA journal_mode"));
    return statement.Step() ? statement.Value(0).ToString().toLower() : QString();
}

int CDbDatabase::CachedStatementCount() const
{
    return m_connection ? m_connection->CachedStatementCount() : 0;
}

bool CDbDatabase::IsOnNetworkFileSystem(const QString& path)
{
    {
        QMutexLocker lock(&g_networkTestMutex);
        if (g_networkTest)
            return g_networkTest(path);
    }
    static const QSet<QByteArray> network = {"nfs",   "nfs4",      "cifs",   "smb3",      "smbfs",
                                             "smb2",  "9p",        "afs",    "ceph",      "glusterfs",
                                             "lustre", "fuse.sshfs", "davfs", "fuse.davfs", "ncpfs",
                                             "coda",  "fuse.glusterfs", "fuse.ceph"};
    const QStorageInfo storage(QFileInfo(path).absolutePath());
    return network.contains(storage.fileSystemType().toLower());
}

void CDbDatabase::SetNetworkFileSystemTest(std::function<bool(const QString&)> test)
{
    QMutexLocker lock(&g_networkTestMutex);
    g_networkTest = std::move(test);
}
