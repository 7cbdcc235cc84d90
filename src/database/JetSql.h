#pragma once

#include <QString>

// The catalogue's SQL is the Jet dialect, written once in the statements of both programs; this is
// the one place that turns it into SQLite SQL. CDbDatabase calls Translate for every statement
// text, so callers never see SQLite's dialect.
//
// What is translated: names in brackets and unbracketed names (always sent quoted, so "Group",
// "Index" or "Order" never clash with SQLite's keywords), "!" as qualifier, text literals in single
// or double quotes, TRUE/FALSE in any case, #m/d/yyyy h:mm:ss# date literals, the "&" operator
// (a Null operand counts as empty text), Len(), DELETE * / DELETE t.*, DISTINCTROW, Mod. LIKE keeps
// its form: the connection's like() is Jet's matcher. GetUserName() is a function of the
// connection, and so is StrComp(a, b[, 0 exact | 1 case ignored]). Parameters ?, ?NNN, :name, @name pass through for binding.
//
// A bare criteria expression (the text of a find, "FileId=%ld", "File.FileId=%d") translates the
// same way into an SQLite expression for a WHERE clause.
//
// Not yet here: PARAMETERS declarations, stored queries used as tables, UPDATE through joins.
//
// Names from people (files, folders, catalogues ...) never go into statement text raw: bind them,
// or put them in with QuoteText / QuoteName / EscapeLike.
class CJetSql final
{
public:
    CJetSql() = delete;

    // Translated text, from a process-wide cache. Throws CDbException (3075) for text that cannot
    // be read (an unclosed quote, bracket or date).
    static QString Translate(const QString& jetSql);
    static QString TranslateUncached(const QString& jetSql);

    // A Jet text literal holding text exactly, in the quote character given (' or ").
    static QString QuoteText(const QString& text, QChar quote = QLatin1Char('\''));
    // A bracketed Jet name for a table or column name.
    static QString QuoteName(const QString& name);
    // A LIKE pattern that matches text literally: "*", "?", "#" and "[" go in brackets.
    static QString EscapeLike(const QString& text);
};
