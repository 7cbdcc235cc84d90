#include "database/DbStatement.h"

#include "common/DbException.h"
#include "database/DbConnection.h"
#include "database/DbErrors.h"
#include "database/PgEngine.h"

#include <sqlite3.h>

#include <limits>

CDbStatement::CDbStatement(std::shared_ptr<CDbConnection> connection, QString sqliteSql)
    : m_connection(std::move(connection)), m_sql(std::move(sqliteSql))
{
    if (CPgConnection* server = m_connection->Server())
        m_server = server->Prepare(m_sql);
    else
        m_stmt = m_connection->Acquire(m_sql).release();
}

CDbStatement::~CDbStatement()
{
    if (m_stmt)
        m_connection->Release(m_sql, CDbConnection::StmtPtr(m_stmt));
}

CDbStatement::CDbStatement(CDbStatement&& other) noexcept
    : m_connection(std::move(other.m_connection)), m_sql(std::move(other.m_sql)), m_stmt(other.m_stmt),
      m_server(std::move(other.m_server)), m_bHasRow(other.m_bHasRow)
{
    other.m_stmt = nullptr;
}

CDbStatement& CDbStatement::Bind(int position, const CDbValue& value)
{
    if (m_server)
    {
        m_server->Bind(position, value);
        return *this;
    }
    int rc = SQLITE_OK;
    switch (value.GetType())
    {
    case CDbValue::Type::Null:
        rc = sqlite3_bind_null(m_stmt, position);
        break;
    case CDbValue::Type::Long:
        rc = sqlite3_bind_int(m_stmt, position, value.ToLong());
        break;
    case CDbValue::Type::Bool:
        rc = sqlite3_bind_int(m_stmt, position, value.ToBool() ? 1 : 0);
        break;
    case CDbValue::Type::Double:
        rc = sqlite3_bind_double(m_stmt, position, value.ToDouble());
        break;
    case CDbValue::Type::Text:
    case CDbValue::Type::DateTime:
    {
        const QByteArray utf8 = value.ToString().toUtf8();
        rc = sqlite3_bind_text(m_stmt, position, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        break;
    }
    }
    if (rc != SQLITE_OK)
        DbErrors::ThrowSqliteError(m_connection->Handle(), rc, m_sql);
    return *this;
}

CDbStatement& CDbStatement::Bind(const QString& name, const CDbValue& value)
{
    // The name as written first, then the bare name under each prefix SQLite knows.
    QString bare = name;
    if (bare.startsWith(QLatin1Char(':')) || bare.startsWith(QLatin1Char('@')) || bare.startsWith(QLatin1Char('$')))
        bare.remove(0, 1);
    int position = m_server ? m_server->ParameterIndex(bare)
                            : sqlite3_bind_parameter_index(m_stmt, name.toUtf8().constData());
    for (const char* prefix : {":", "@", "$"})
    {
        if (position > 0)
            break;
        position = sqlite3_bind_parameter_index(m_stmt, (QByteArray(prefix) + bare.toUtf8()).constData());
    }
    if (position <= 0)
        throw CDbException(DbErrors::kInvalidArgument, QStringLiteral("Parameter '%1' not found in this statement.").arg(name));
    return Bind(position, value);
}

int CDbStatement::ParameterCount() const
{
    if (m_server)
        return m_server->ParameterCount();
    return sqlite3_bind_parameter_count(m_stmt);
}

bool CDbStatement::Step()
{
    if (m_server)
        return m_bHasRow = m_server->Step();
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return m_bHasRow = true;
    m_bHasRow = false;
    if (rc == SQLITE_DONE)
        return false;
    // The statement must be usable again after a failure (the retry policies run it again).
    sqlite3_reset(m_stmt);
    DbErrors::ThrowSqliteError(m_connection->Handle(), rc, m_sql);
}

int CDbStatement::Execute()
{
    if (m_server)
    {
        m_bHasRow = false;
        return m_server->Execute();
    }
    while (Step())
    {
    }
    const int changes = sqlite3_stmt_readonly(m_stmt) ? 0 : sqlite3_changes(m_connection->Handle());
    sqlite3_reset(m_stmt);
    return changes;
}

void CDbStatement::Reset()
{
    if (m_server)
        m_server->Reset();
    else
        sqlite3_reset(m_stmt);
    m_bHasRow = false;
}

int CDbStatement::ColumnCount() const
{
    if (m_server)
        return m_server->ColumnCount();
    return sqlite3_column_count(m_stmt);
}

QString CDbStatement::ColumnName(int ordinal) const
{
    if (m_server)
        return m_server->ColumnName(ordinal);
    return QString::fromUtf8(sqlite3_column_name(m_stmt, ordinal));
}

QStringList CDbStatement::ColumnNames() const
{
    QStringList names;
    for (int i = 0; i < ColumnCount(); ++i)
        names << ColumnName(i);
    return names;
}

int CDbStatement::ColumnIndex(const QString& name) const
{
    if (m_server)
        return m_server->ColumnIndex(name);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    const QString table = dot >= 0 ? name.left(dot) : QString();
    const QString column = dot >= 0 ? name.mid(dot + 1) : name;
    const int count = ColumnCount();
    for (int i = 0; i < count; ++i)
    {
        if (dot < 0)
        {
            if (ColumnName(i).compare(name, Qt::CaseInsensitive) == 0)
                return i;
            continue;
        }
        const char* origin = sqlite3_column_origin_name(m_stmt, i);
        const char* tableName = sqlite3_column_table_name(m_stmt, i);
        if (origin && tableName && QString::fromUtf8(tableName).compare(table, Qt::CaseInsensitive) == 0 &&
            QString::fromUtf8(origin).compare(column, Qt::CaseInsensitive) == 0)
            return i;
    }
    // "Table.Column" written as the column's own name (an alias or an expression).
    if (dot >= 0)
    {
        for (int i = 0; i < count; ++i)
        {
            if (ColumnName(i).compare(name, Qt::CaseInsensitive) == 0)
                return i;
        }
    }
    return -1;
}

CDbValue::Type CDbStatement::ColumnType(int ordinal) const
{
    if (m_server)
        return m_server->ColumnType(ordinal);
    const char* declared = sqlite3_column_decltype(m_stmt, ordinal);
    const QByteArray decl = declared ? QByteArray(declared).toUpper() : QByteArray();
    if (decl == "INTEGER")
        return CDbValue::Type::Long;
    if (decl == "REAL")
        return CDbValue::Type::Double;
    if (decl == "TEXT")
        return CDbValue::Type::Text;
    if (decl == "BOOLEAN")
        return CDbValue::Type::Bool;
    if (decl == "DATETIME")
        return CDbValue::Type::DateTime;
    return CDbValue::Type::Null;
}

CDbValue CDbStatement::Value(int ordinal) const
{
    if (!m_bHasRow || ordinal < 0 || ordinal >= ColumnCount())
        throw CDbException(DbErrors::kNoCurrentRecord, QStringLiteral("No current record."));
    if (m_server)
        return m_server->Value(ordinal);
    const int type = sqlite3_column_type(m_stmt, ordinal);
    if (type == SQLITE_NULL)
        return CDbValue();
    const char* declared = sqlite3_column_decltype(m_stmt, ordinal);
    const QByteArray decl = declared ? QByteArray(declared).toUpper() : QByteArray();
    if (decl == "BOOLEAN")
        return CDbValue(sqlite3_column_int64(m_stmt, ordinal) != 0);
    if (decl == "DATETIME" && type == SQLITE_TEXT)
        return CDbValue(CDbValue::DateTimeFromText(QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, ordinal)), sqlite3_column_bytes(m_stmt, ordinal))));
    switch (type)
    {
    case SQLITE_INTEGER:
    {
        const qint64 value = sqlite3_column_int64(m_stmt, ordinal);
        if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
            return CDbValue(static_cast<double>(value));
        return CDbValue(static_cast<qint32>(value));
    }
    case SQLITE_FLOAT:
        return CDbValue(sqlite3_column_double(m_stmt, ordinal));
    default:
        return CDbValue(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, ordinal)),
                                          sqlite3_column_bytes(m_stmt, ordinal)));
    }
}

CDbValue CDbStatement::Value(const QString& name) const
{
    const int ordinal = ColumnIndex(name);
    if (ordinal < 0)
        throw CDbException(DbErrors::kItemNotFound,
                           QStringLiteral("Item not found in this collection. (%1)").arg(name));
    return Value(ordinal);
}
