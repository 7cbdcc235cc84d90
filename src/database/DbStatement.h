#pragma once

#include "database/DbValue.h"

#include <QString>
#include <QStringList>

#include <memory>

class CDbConnection;
class CPgStatement;
struct sqlite3_stmt;

// One prepared statement, from CDbDatabase::Prepare. Bind parameters by position (1-based) or by
// name (":name", "@name"; the prefix may be left out), Step through the rows, read fields by
// ordinal or by name ("File" or "File.File"). When it goes, the prepared statement goes back to
// the connection's cache for the next Prepare of the same text.
class CDbStatement final
{
public:
    CDbStatement(std::shared_ptr<CDbConnection> connection, QString sqliteSql);
    ~CDbStatement();
    CDbStatement(CDbStatement&& other) noexcept;
    CDbStatement& operator=(CDbStatement&& other) = delete;
    CDbStatement(const CDbStatement&) = delete;
    CDbStatement& operator=(const CDbStatement&) = delete;

    CDbStatement& Bind(int position, const CDbValue& value);
    CDbStatement& Bind(const QString& name, const CDbValue& value);

    // How many parameters the statement has (the highest number of ?NNN).
    int ParameterCount() const;

    // Moves to the next row; false when there is none (the statement has finished).
    bool Step();
    // Runs to the end and returns the number of rows changed (0 for a query).
    int Execute();
    // Back before the first row, bindings kept.
    void Reset();

    int ColumnCount() const;
    QString ColumnName(int ordinal) const;
    QStringList ColumnNames() const;
    // The ordinal of a column named "Column" or "Table.Column" (case ignored); -1 when none.
    int ColumnIndex(const QString& name) const;

    // The kind of value a column holds, from the schema (Null for an expression).
    CDbValue::Type ColumnType(int ordinal) const;

    CDbValue Value(int ordinal) const;
    // Throws CDbException 3265 when there is no such column, as reading a missing field does.
    CDbValue Value(const QString& name) const;

    const QString& SqliteSql() const { return m_sql; }

private:
    std::shared_ptr<CDbConnection> m_connection;
    QString m_sql;
    sqlite3_stmt* m_stmt = nullptr;
    // The statement on a server connection, instead of m_stmt.
    std::unique_ptr<CPgStatement> m_server;
    bool m_bHasRow = false;
};
