#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The last step of the translator for a catalogue on a PostgreSQL server: the engine layer's own
// SQL text (the translator's output, and the engine layer's internal statements) in PostgreSQL's
// dialect. Works on tokens, never inside literals, quoted names or comments:
// - parameters ?, ?NNN, :name, @name and $name become $N (a name keeps one number throughout);
// - "a [NOT] LIKE b" becomes [NOT] jet_like(b, a), the server function with Jet's wildcards that
//   ignores case as GENERAL does; a and b are whole operands (names, literals, parameters, calls,
//   brackets, joined by operators that bind tighter than LIKE);
// - jet_concat(...) is Null only when all its operands are, as on SQLite;
// - the select list's expression columns are named by their text, as SQLite names them;
// - orders put Nulls first, sort columns as GENERAL does (jet_order), and a grouped select
//   without an order is ordered by its groups;
// - names written without quotes keep their case (File, TTH), as SQLite reads them;
// - a derived table without a name ("FROM (SELECT ...)") gets one;
// - "WHERE 1", INSERT OR IGNORE, temp."t" and SQLite's INDEXED BY take the server's forms.
struct CPgText
{
    QString sql;
    // Name of parameter N (1-based) at index N-1; empty for a positional one.
    QStringList parameterNames;
};

namespace PgSql
{
// names maps the lower-case names of the catalogue's tables and columns to their own case: a
// bare word among them (raw SQL written for SQLite, which ignores the case of names) is quoted
// with that case, as the server would otherwise fold it to lower case and miss the name.
CPgText FromEngineSql(const QString& sql, const QHash<QString, QString>& names = {});

// A text that names a server catalogue rather than a file: a postgresql:// or postgres:// URL,
// or a libpq connection string ("host=... dbname=...").
bool IsServerAddress(const QString& address);
// The address as messages and logs may show it: any password left out.
QString DisplayAddress(const QString& address);
} // namespace PgSql
