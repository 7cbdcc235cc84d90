#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The catalogue's SQL is the Jet dialect, written once in the statements of both programs; this is
// the one place that turns it into SQLite SQL. CDbDatabase calls Translate for every statement
// text, so callers never see SQLite's dialect.
//
// What is translated: names in brackets and unbracketed names (always sent quoted, so "Group",
// "Index" or "Order" never clash with SQLite's keywords), "!" as qualifier, text literals in single
// or double quotes, TRUE/FALSE in any case, #m/d/yyyy h:mm:ss# date literals, the "&" operator
// (a Null operand counts as empty text), Len(), DELETE * / DELETE t.*, DISTINCTROW, Mod. LIKE keeps
// its form: the connection's like() is Jet's matcher. GetUserName() is a function of the
// connection, and so is StrComp(a, b[, 0 exact | 1 case ignored]). Parameters ?, ?NNN, :name,
// @name pass through for binding.
//
// A bare criteria expression (the text of a find, "FileId=%ld", "File.FileId=%d") translates the
// same way into an SQLite expression for a WHERE clause.
//
// With a database's names at hand (CJetSchema), TranslateStatement does the rest of the dialect:
// - PARAMETERS declarations, and parameters that are not declared: an unqualified name that is
//   no column, table, stored query or alias of the statement is a parameter, as in Jet. They come
//   out as numbered SQLite parameters, listed in CJetTranslation::parameters.
// - Stored queries used as tables: the name (with or without an alias) becomes the query's own
//   translated text as a subquery, resolved recursively; its parameters join the outer ones.
// - UPDATE over a join tree. When the updated table is on the inner side of every join, one
//   UPDATE ... FROM changes the matching rows. When it is the outer side of an outer join, the
//   matching rows are first gathered, then the rows that exist are updated and, as Jet does, a
//   row is inserted for every match that had none, with the SET values (and the join's key
//   columns from the ON clause that SET leaves out).
// - "A RIGHT JOIN B ON c" becomes "B LEFT JOIN A ON c" (same rows; SQLite runs a right join over a
//   parenthesised join by rescanning it per row), except under a bare "SELECT *", whose column
//   order follows the tables.
//
// Names from people (files, folders, catalogues ...) never go into statement text raw: bind them,
// or put them in with QuoteText / QuoteName / EscapeLike.
// The names of one database that a translation depends on.
class CJetSchema
{
public:
    virtual ~CJetSchema() = default;
    virtual bool IsTable(const QString& name) const = 0;
    // A column of any table (the test that tells a parameter from a column).
    virtual bool IsColumn(const QString& name) const = 0;
    // The Jet text of the stored query of that name, if there is one (names ignore case).
    virtual std::optional<QString> StoredQuerySql(const QString& name) const = 0;
    // The columns of a table's primary key, in key order; empty when it has none.
    virtual QStringList PrimaryKey(const QString& table) const = 0;
};

// A statement translated with a database's names: one SQLite statement, or several to run in
// order in one transaction (an UPDATE through an outer join).
struct CJetTranslation
{
    QStringList statements;
    // Whether the changes of statement i count in the rows the statement changed.
    std::vector<bool> countsChanges;
    // Parameter i (declared first, in declaration order, then the others as they appear) is the
    // SQLite parameter ?(firstParameter + i); parameterTypes[i] is its declared type or empty.
    QStringList parameters;
    QStringList parameterTypes;
    int firstParameter = 1;
    bool isSelect = false;
};

class CJetSql final
{
public:
    CJetSql() = delete;

    // Translated text, from a process-wide cache. Throws CDbException (3075) for text that cannot
    // be read (an unclosed quote, bracket or date).
    static QString Translate(const QString& jetSql);
    static QString TranslateUncached(const QString& jetSql);
    // The whole dialect, with the names of a database (see above). Throws CDbException: 3075 for
    // text that cannot be read, 3078 for a stored query that names itself, 3073 for an UPDATE
    // whose SET names more than one table or a table that cannot be updated.
    static CJetTranslation TranslateStatement(const QString& jetSql, const CJetSchema& schema);

    // A Jet text literal holding text exactly, in the quote character given (' or ").
    static QString QuoteText(const QString& text, QChar quote = QLatin1Char('\''));
    // A bracketed Jet name for a table or column name.
    static QString QuoteName(const QString& name);
    // A LIKE pattern that matches text literally: "*", "?", "#" and "[" go in brackets.
    static QString EscapeLike(const QString& text);
};
