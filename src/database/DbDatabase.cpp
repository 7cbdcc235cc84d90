#include "database/DbDatabase.h"

#include "common/DbException.h"
#include "database/DbConnection.h"
#include "database/DbErrors.h"
#include "database/JetSql.h"
#include "database/JetText.h"
#include "platform/ProgramInfo.h"

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>
#include <cstring>

namespace
{
constexpr int kDefaultBusyTimeoutMs = 250;

QMutex g_networkTestMutex;
std::function<bool(const QString&)> g_networkTest;

int CollateGeneral(void*, int aLength, const void* a, int bLength, const void* b)
{
    return JetText::CompareGeneralUtf8(static_cast<const char*>(a), aLength, static_cast<const char*>(b), bLength);
}

// X LIKE Y reaches here as like(Y, X). The compiled pattern is kept with the statement for as
// long as the pattern stays the same, so a scan compiles it once.
void JetLike(sqlite3_context* context, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(context);
    auto* pattern = static_cast<JetText::CLikePattern*>(sqlite3_get_auxdata(context, 0));
    if (!pattern)
    {
        pattern = new JetText::CLikePattern(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])),
                                            sqlite3_value_bytes(argv[0]));
        sqlite3_set_auxdata(context, 0, pattern, [](void* p) { delete static_cast<JetText::CLikePattern*>(p); });
        // set_auxdata may have destroyed it already (out of memory): fall back to a local one.
        if (sqlite3_get_auxdata(context, 0) != pattern)
        {
            const JetText::CLikePattern local(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])),
                                              sqlite3_value_bytes(argv[0]));
            return sqlite3_result_int(context, local.MatchesUtf8(reinterpret_cast<const char*>(sqlite3_value_text(argv[1])),
                                                                 sqlite3_value_bytes(argv[1])) ? 1 : 0);
        }
    }
    sqlite3_result_int(context, pattern->MatchesUtf8(reinterpret_cast<const char*>(sqlite3_value_text(argv[1])),
                                                     sqlite3_value_bytes(argv[1])) ? 1 : 0);
}

void JetConcat(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    QByteArray result;
    bool any = false;
    for (int i = 0; i < argc; ++i)
    {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            continue;
        any = true;
        result.append(reinterpret_cast<const char*>(sqlite3_value_text(argv[i])), sqlite3_value_bytes(argv[i]));
    }
    if (!any)
        return sqlite3_result_null(context);
    sqlite3_result_text(context, result.constData(), static_cast<int>(result.size()), SQLITE_TRANSIENT);
}

// StrComp(a, b[, mode]): -1, 0 or 1; mode 0 compares exactly, 1 (the default) without regard to
// case. The exact form is how a name that must match in case is found ("Photos" is not "PHOTOS").
void StrComp(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(context);
    const bool binary = argc == 3 && sqlite3_value_int(argv[2]) == 0;
    const char* a = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int aLength = sqlite3_value_bytes(argv[0]);
    const char* b = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    const int bLength = sqlite3_value_bytes(argv[1]);
    int result = 0;
    if (binary)
    {
        // UTF-8 bytes order as their code points do.
        result = std::memcmp(a, b, static_cast<size_t>(std::min(aLength, bLength)));
        if (result == 0)
            result = aLength - bLength;
    }
    else
        result = JetText::CompareGeneralUtf8(a, aLength, b, bLength);
    sqlite3_result_int(context, (result > 0) - (result < 0));
}

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

QString CDbDatabase::DefaultUserName()
{
    const QString overridden = qEnvironmentVariable("QUARRANE_USER").trimmed();
    return overridden.isEmpty() ? CurrentLoginName() : overridden;
}

CDbDatabase::CDbDatabase() : m_strUserName(DefaultUserName()) {}

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

void CDbDatabase::Open(const QString& path)
{
    Close();
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
    OpenHandle(path, SQLITE_OPEN_READWRITE);
    // SQLite quietly falls back to reading only when it may not write; a catalogue that cannot
    // be written would fail at the first change instead, so it is refused here with the reason.
    if (sqlite3_db_readonly(Handle(), "main") == 1)
    {
        Close();
        throw CDbException(DbErrors::kCannotOpen,
                           QStringLiteral("Cannot open the file '%1' for writing: you need permission to write it and "
                                          "its folder.").arg(path));
    }
    try
    {
        Configure(false);
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
        throw CDbException(3204, QStringLiteral("Database '%1' already exists.").arg(path));
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

void CDbDatabase::OpenHandle(const QString& path, int flags)
{
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, flags | SQLITE_OPEN_EXRESCODE, nullptr);
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
    Check(db, sqlite3_create_collation_v2(db, JetText::kCollationName, SQLITE_UTF8, nullptr, CollateGeneral, nullptr));
    const int pure = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    Check(db, sqlite3_create_function_v2(db, "like", 2, pure, nullptr, JetLike, nullptr, nullptr, nullptr));
    Check(db, sqlite3_create_function_v2(db, "StrComp", 2, pure, nullptr, StrComp, nullptr, nullptr, nullptr));
    Check(db, sqlite3_create_function_v2(db, "StrComp", 3, pure, nullptr, StrComp, nullptr, nullptr, nullptr));
    Check(db, sqlite3_create_function_v2(db, "jet_concat", -1, pure, nullptr, JetConcat, nullptr, nullptr, nullptr));
    Check(db, sqlite3_create_function_v2(db, "GetUserName", 0, SQLITE_UTF8, m_connection.get(), GetUserNameFunction,
                                         nullptr, nullptr, nullptr));
    SetBusyTimeout(kDefaultBusyTimeoutMs);

    if (newFile)
    {
        ExecuteSqliteScript(QStringLiteral("PRAGMA page_size=4096; PRAGMA journal_mode=DELETE;"));
    }
    else
    {
        // Reading the schema is what tells a damaged or foreign file.
        PrepareSqlite(QStringLiteral("SELECT count(*) FROM sqlite_master")).Execute();
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
    ExecuteSqliteScript(QStringLiteral("PRAGMA foreign_keys=ON;"));
}

void CDbDatabase::Close()
{
    if (m_connection)
    {
        m_connection->Close();
        m_connection.reset();
    }
    m_nTransactionDepth = 0;
}

void CDbDatabase::SetUserName(const QString& userName)
{
    m_strUserName = userName;
    if (m_connection)
        m_connection->m_userNameUtf8 = userName.toUtf8();
}

void CDbDatabase::SetBusyTimeout(int milliseconds)
{
    if (IsOpen())
        sqlite3_busy_timeout(Handle(), milliseconds);
}

CDbStatement CDbDatabase::Prepare(const QString& jetSql)
{
    return PrepareSqlite(CJetSql::Translate(jetSql));
}

CDbStatement CDbDatabase::PrepareSqlite(const QString& sqliteSql)
{
    if (!IsOpen())
        throw CDbException(DbErrors::kInvalidArgument, QStringLiteral("The database is not open."));
    return CDbStatement(m_connection, sqliteSql);
}

int CDbDatabase::Execute(const QString& jetSql, std::initializer_list<CDbValue> values)
{
    CDbStatement statement = Prepare(jetSql);
    int position = 1;
    for (const CDbValue& value : values)
        statement.Bind(position++, value);
    return statement.Execute();
}

int CDbDatabase::Execute(const QString& jetSql, std::initializer_list<NamedValue> values)
{
    CDbStatement statement = Prepare(jetSql);
    for (const NamedValue& value : values)
        statement.Bind(value.first, value.second);
    return statement.Execute();
}

void CDbDatabase::ExecuteSqliteScript(const QString& sqliteScript)
{
    if (!IsOpen())
        throw CDbException(DbErrors::kInvalidArgument, QStringLiteral("The database is not open."));
    char* error = nullptr;
    const int rc = sqlite3_exec(Handle(), sqliteScript.toUtf8().constData(), nullptr, nullptr, &error);
    sqlite3_free(error);
    Check(Handle(), rc, sqliteScript);
}

void CDbDatabase::BeginTrans(bool immediate)
{
    if (m_nTransactionDepth > 0 && sqlite3_get_autocommit(Handle()))
        m_nTransactionDepth = 0; // the engine ended it itself after an error
    if (m_nTransactionDepth == 0)
        ExecuteSqliteScript(immediate ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    else
        ExecuteSqliteScript(QStringLiteral("SAVEPOINT qrl%1").arg(m_nTransactionDepth));
    ++m_nTransactionDepth;
}

void CDbDatabase::CommitTrans()
{
    if (m_nTransactionDepth <= 0 || sqlite3_get_autocommit(Handle()))
    {
        m_nTransactionDepth = 0;
        throw CDbException(3034, QStringLiteral("You tried to commit or rollback a transaction without first beginning a transaction."));
    }
    if (m_nTransactionDepth == 1)
        ExecuteSqliteScript(QStringLiteral("COMMIT"));
    else
        ExecuteSqliteScript(QStringLiteral("RELEASE qrl%1").arg(m_nTransactionDepth - 1));
    --m_nTransactionDepth;
}

void CDbDatabase::Rollback()
{
    if (m_nTransactionDepth <= 0 || !IsOpen() || sqlite3_get_autocommit(Handle()))
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
        throw CDbException(3204, QStringLiteral("Database '%1' already exists.").arg(targetPath));
    CDbDatabase source;
    source.Open(sourcePath);
    try
    {
        // Compaction needs the file to itself, as it replaces it afterwards: a connection anywhere
        // else keeps it from taking the exclusive lock, which it then holds until it closes.
        try
        {
            source.ExecuteSqliteScript(QStringLiteral("PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE; COMMIT;"));
        }
        catch (const CDbException&)
        {
            throw CDbException(3045, QStringLiteral("Could not use '%1'; file already in use.").arg(sourcePath));
        }
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
    return IsOpen() && !sqlite3_get_autocommit(Handle());
}

QString CDbDatabase::JournalMode()
{
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
