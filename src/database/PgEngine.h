#pragma once

#include "database/DbValue.h"
#include "database/PgSql.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

// Inside the engine layer only: a catalogue on a PostgreSQL server, reached through libpq. The
// database object and its statements use these where a server address was opened; everything
// above CDbDatabase sees the same statements, values and error numbers as for a file.
//
// Statements arrive in the engine layer's SQL (the translator's output) and go through
// PgSql::FromEngineSql. Each is prepared once per connection and text, the least recently used
// of them let go past a bound. Inside a transaction every
// statement runs under a savepoint of its own (savepoint, statement and release in one round trip):
// a failed statement then leaves the transaction as it was, as on SQLite, instead of aborting it.

struct pg_conn;
struct pg_result;
class CPgStatement;

class CPgConnection final
{
public:
    // Connects to a postgresql:// URL or a libpq connection string; CDbException on failure (3024
    // for a database that does not exist, 3051 for a refused login, 3043 for an unreachable server).
    explicit CPgConnection(const QString& address);
    ~CPgConnection();
    CPgConnection(const CPgConnection&) = delete;
    CPgConnection& operator=(const CPgConnection&) = delete;

    // Whether this build can reach a server at all.
    static bool Available();

    // Runs a script of statements in the server's own dialect (schema work), without parameters.
    void ExecuteScript(const QString& sql);
    std::unique_ptr<CPgStatement> Prepare(const QString& engineSql);
    // Appends rows to a table by one COPY: values holds columns.size() values a row, each taken
    // as a bound parameter would take it. Inside a transaction it runs under a savepoint as every
    // statement does; a row that breaks a rule fails the whole COPY with the error an INSERT of it
    // would raise, and no row of it is kept.
    void CopyRows(const QString& table, const QStringList& columns, const std::vector<CDbValue>& values);

    bool InTransaction() const;
    // Statements prepared on the server for this connection (at most kMaxPrepared).
    int PreparedCount() const;
    static constexpr qsizetype kMaxPrepared = 256;
    void SetUserName(const QString& userName);
    void SetLockTimeout(int milliseconds);

    // The server functions of the catalogue (PgServerFunctions) that it lacks, by signature.
    QStringList MissingFunctions();

    // The name of a table by its server identifier, for "Table.Column" lookups (cached).
    QString TableName(unsigned int tableOid);

    pg_conn* Handle() const { return m_conn; }

private:
    friend class CPgStatement;
    struct CPrepared
    {
        QString name;
        CPgText text;
        int parameterCount = 0;
        std::shared_ptr<pg_result> description;
        qint64 lastUse = 0;
    };
    std::shared_ptr<const CPrepared> Prepared(const QString& engineSql);
    void ForgetUnusedStatements();
    // A result that failed raises the mapped CDbException.
    void Check(pg_result* result);

    pg_conn* m_conn = nullptr;
    QString m_strDisplayAddress;
    QHash<QString, std::shared_ptr<CPrepared>> m_prepared;
    qint64 m_uses = 0;
    int m_statementNumber = 0;
    QHash<unsigned int, QString> m_tableNames;
    // The catalogue's table and column names by their lower case, read again after schema work.
    void ReadNames();
    QHash<QString, QString> m_names;
    bool m_bNamesStale = true;
};

class CPgStatement final
{
public:
    CPgStatement(CPgConnection& connection, QString engineSql);

    void Bind(int position, const CDbValue& value);
    // 0 when the statement has no parameter of that name.
    int ParameterIndex(const QString& name) const;
    int ParameterCount() const;

    bool Step();
    int Execute();
    void Reset();

    int ColumnCount() const;
    QString ColumnName(int ordinal) const;
    // "Column" or "Table.Column", case ignored; -1 when none.
    int ColumnIndex(const QString& name) const;
    CDbValue::Type ColumnType(int ordinal) const;
    CDbValue Value(int ordinal) const;

private:
    void Run();
    std::shared_ptr<pg_result> RunUnderSavepoint(pg_conn* conn, const QByteArray& name,
                                                 const std::vector<const char*>& values);

    CPgConnection& m_connection;
    QString m_engineSql;
    std::shared_ptr<const CPgConnection::CPrepared> m_prepared;
    std::vector<std::optional<QByteArray>> m_values;
    std::shared_ptr<pg_result> m_result;
    int m_row = -1;
    int m_changes = 0;
};
