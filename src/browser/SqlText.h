#pragma once

#include <QString>

// The text helpers for the SQL that stored queries and searches hand to the file list: statements
// are split into their FROM, WHERE and ORDER BY parts, conditions ANDed in, orderings replaced,
// and the user's name put in place of GetUserName().

// Every "GetUserName()" replaced by the user's name in single quotes (quotes inside the name
// doubled, so a name can never change the statement).
QString SubstituteUserName(const QString& sql, const QString& userName);

struct SqlParts
{
    QString from;    // "FROM ..." or empty
    QString where;   // "WHERE ..." or empty
    QString orderBy; // "ORDER BY ..." or empty
};
// Splits a whole statement; the SELECT list is not kept.
SqlParts SplitSql(const QString& sql, const QString& userName);

// The ORDER BY clause of a statement ("ORDER BY ..." to the end), empty when there is none.
QString OrderByClause(const QString& sql, const QString& userName);

// Trailing blanks, then one final ";" removed.
QString StripTrailingSemicolon(const QString& sql);
// The statement cut at " order by " (any case); *pHadOrderBy tells whether it was there.
QString StripOrderBy(const QString& sql, bool* pHadOrderBy = nullptr);
// The statement with its ORDER BY (and final ";") replaced by orderBy.
QString ReplaceOrderBy(const QString& sql, const QString& orderBy);

// A condition ANDed into a WHERE part: "WHERE " + condition when the part has no "WHERE ",
// else the condition and " AND " inserted right after "WHERE ". A condition given with its own
// WHERE keyword loses it first.
QString AddWhere(const QString& wherePart, const QString& condition);
