#include "database/DbConnection.h"

#include "common/DbException.h"
#include "database/DbErrors.h"
#include "database/PgEngine.h"

#include <sqlite3.h>

void CDbConnection::StmtDeleter::operator()(sqlite3_stmt* stmt) const
{
    sqlite3_finalize(stmt);
}

CDbConnection::CDbConnection(std::unique_ptr<CPgConnection> server) : m_server(std::move(server)) {}

CDbConnection::~CDbConnection()
{
    Close();
}

void CDbConnection::Close()
{
    m_idle.clear();
    m_server.reset();
    if (m_db)
    {
        // close_v2: a statement still held by a caller keeps the handle alive until it goes.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

CDbConnection::StmtPtr CDbConnection::Acquire(const QString& sqliteSql)
{
    if (!m_db)
        throw CDbException(DbErrors::kInvalidArgument, QStringLiteral("The database is not open."));
    if (auto it = m_idle.find(sqliteSql); it != m_idle.end() && !it->second.empty())
    {
        StmtPtr stmt = std::move(it->second.back());
        it->second.pop_back();
        return stmt;
    }
    const QByteArray utf8 = sqliteSql.toUtf8();
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v3(m_db, utf8.constData(), static_cast<int>(utf8.size()),
                                      SQLITE_PREPARE_PERSISTENT, &raw, &tail);
    StmtPtr stmt(raw);
    if (rc != SQLITE_OK)
        DbErrors::ThrowSqliteError(m_db, rc, sqliteSql);
    if (!stmt)
        throw CDbException(DbErrors::kSyntaxError, QStringLiteral("The SQL statement is empty."));
    // A second statement in one text would be ignored silently: refuse it as Jet does.
    for (; tail && *tail; ++tail)
    {
        if (!QChar::isSpace(static_cast<uchar>(*tail)) && *tail != ';')
            throw CDbException(DbErrors::kTextAfterStatement,
                               QStringLiteral("Characters found after end of SQL statement."));
    }
    return stmt;
}

void CDbConnection::Release(const QString& sqliteSql, StmtPtr stmt)
{
    if (!m_db || !stmt)
        return;
    sqlite3_reset(stmt.get());
    sqlite3_clear_bindings(stmt.get());
    std::vector<StmtPtr>& idle = m_idle[sqliteSql];
    // Two of a text are enough for the nesting that occurs (a statement run inside its own loop).
    if (idle.size() < 2)
        idle.push_back(std::move(stmt));
}

int CDbConnection::CachedStatementCount() const
{
    if (m_server)
        return m_server->PreparedCount();
    int count = 0;
    for (const auto& [text, idle] : m_idle)
        count += static_cast<int>(idle.size());
    return count;
}
