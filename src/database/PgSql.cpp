#include "database/PgSql.h"

#include "database/DbAddress.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace
{
enum class PgTokenKind
{
    Space,
    Word,
    Quoted, // "name"
    Literal,
    Parameter,
    Other,
};

struct PgToken
{
    PgTokenKind kind;
    QString text;
};

bool IsWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Reads up to the closing quote, a doubled quote standing for itself.
qsizetype QuotedEnd(const QString& sql, qsizetype start, QChar quote)
{
    qsizetype i = start + 1;
    while (i < sql.size())
    {
        if (sql[i] == quote)
        {
            if (i + 1 < sql.size() && sql[i + 1] == quote)
            {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return sql.size();
}

QList<PgToken> Tokens(const QString& sql)
{
    QList<PgToken> tokens;
    qsizetype i = 0;
    const qsizetype n = sql.size();
    while (i < n)
    {
        const QChar c = sql[i];
        qsizetype end = i + 1;
        PgTokenKind kind = PgTokenKind::Other;
        if (c.isSpace())
        {
            while (end < n && sql[end].isSpace())
                ++end;
            kind = PgTokenKind::Space;
        }
        else if (c == QLatin1Char('-') && end < n && sql[end] == QLatin1Char('-'))
        {
            while (end < n && sql[end] != QLatin1Char('\n'))
                ++end;
            kind = PgTokenKind::Space;
        }
        else if (c == QLatin1Char('/') && end < n && sql[end] == QLatin1Char('*'))
        {
            const qsizetype close = sql.indexOf(QLatin1String("*/"), end + 1);
            end = close < 0 ? n : close + 2;
            kind = PgTokenKind::Space;
        }
        else if (c == QLatin1Char('\''))
        {
            end = QuotedEnd(sql, i, c);
            kind = PgTokenKind::Literal;
        }
        else if (c == QLatin1Char('"'))
        {
            end = QuotedEnd(sql, i, c);
            kind = PgTokenKind::Quoted;
        }
        else if (c == QLatin1Char('?'))
        {
            while (end < n && sql[end].isDigit())
                ++end;
            kind = PgTokenKind::Parameter;
        }
        else if ((c == QLatin1Char(':') || c == QLatin1Char('@') || c == QLatin1Char('$')) && end < n &&
                 IsWordChar(sql[end]) && !(c == QLatin1Char(':') && i > 0 && sql[i - 1] == QLatin1Char(':')))
        {
            while (end < n && IsWordChar(sql[end]))
                ++end;
            kind = PgTokenKind::Parameter;
        }
        else if (IsWordChar(c))
        {
            while (end < n && IsWordChar(sql[end]))
                ++end;
            kind = c.isDigit() ? PgTokenKind::Literal : PgTokenKind::Word;
        }
        tokens.append({kind, sql.mid(i, end - i)});
        i = end;
    }
    return tokens;
}

bool IsWord(const PgToken& token, const char* word)
{
    return token.kind == PgTokenKind::Word &&
           token.text.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

// Index of the previous / next token that is not space, or -1.
qsizetype PreviousSolid(const QList<PgToken>& tokens, qsizetype i)
{
    for (--i; i >= 0; --i)
        if (tokens[i].kind != PgTokenKind::Space)
            return i;
    return -1;
}

qsizetype NextSolid(const QList<PgToken>& tokens, qsizetype i)
{
    for (++i; i < tokens.size(); ++i)
        if (tokens[i].kind != PgTokenKind::Space)
            return i;
    return -1;
}

bool IsOperand(const PgToken& token)
{
    return token.kind == PgTokenKind::Quoted || token.kind == PgTokenKind::Literal ||
           token.kind == PgTokenKind::Parameter || token.kind == PgTokenKind::Word;
}

// The first token of a dotted name ending at index last ("a"."b"), or last itself.
qsizetype OperandStart(const QList<PgToken>& tokens, qsizetype last)
{
    qsizetype start = last;
    while (start >= 2 && tokens[start - 1].text == QLatin1String(".") && IsOperand(tokens[start - 2]))
        start -= 2;
    return start;
}

qsizetype OperandEnd(const QList<PgToken>& tokens, qsizetype first)
{
    qsizetype end = first;
    while (end + 2 < tokens.size() && tokens[end + 1].text == QLatin1String(".") &&
           IsOperand(tokens[end + 2]))
        end += 2;
    return end;
}

QString Join(const QList<PgToken>& tokens, qsizetype from, qsizetype to)
{
    QString text;
    for (qsizetype i = from; i <= to; ++i)
        text += tokens[i].text;
    return text;
}

// Words that end an operand: a name or function call is never one of them.
bool IsKeyword(const PgToken& token)
{
    static const QSet<QString> keywords = {
        QStringLiteral("AND"),    QStringLiteral("OR"),      QStringLiteral("NOT"),
        QStringLiteral("WHERE"),  QStringLiteral("ON"),      QStringLiteral("SELECT"),
        QStringLiteral("FROM"),   QStringLiteral("HAVING"),  QStringLiteral("WHEN"),
        QStringLiteral("THEN"),   QStringLiteral("ELSE"),    QStringLiteral("END"),
        QStringLiteral("CASE"),   QStringLiteral("IN"),      QStringLiteral("IS"),
        QStringLiteral("EXISTS"), QStringLiteral("BY"),      QStringLiteral("AS"),
        QStringLiteral("JOIN"),   QStringLiteral("VALUES"),  QStringLiteral("SET"),
        QStringLiteral("LIKE"),   QStringLiteral("BETWEEN"), QStringLiteral("DISTINCT"),
        QStringLiteral("ALL"),    QStringLiteral("ANY"),     QStringLiteral("SOME"),
        QStringLiteral("UNION"),  QStringLiteral("EXCEPT"),  QStringLiteral("INTERSECT"),
        QStringLiteral("ORDER"),  QStringLiteral("GROUP"),   QStringLiteral("LIMIT"),
        QStringLiteral("OFFSET"), QStringLiteral("INTO"),    QStringLiteral("INSERT"),
        QStringLiteral("UPDATE"), QStringLiteral("DELETE"),  QStringLiteral("RETURNING"),
        QStringLiteral("USING"),  QStringLiteral("ESCAPE"),  QStringLiteral("NULLS"),
        QStringLiteral("ASC"),    QStringLiteral("DESC"),    QStringLiteral("LEFT"),
        QStringLiteral("RIGHT"),  QStringLiteral("INNER"),   QStringLiteral("OUTER"),
        QStringLiteral("CROSS"),  QStringLiteral("FULL"),    QStringLiteral("WITH"),
    };
    return token.kind == PgTokenKind::Word && keywords.contains(token.text.toUpper());
}

// SQL's words, which a name written without quotes never is here.
bool IsSqlWord(const QString& word)
{
    static const QSet<QString> words = []
    {
        QSet<QString> set;
        for (const char* w : {"SELECT",       "FROM",       "WHERE",      "AND",     "OR",
                              "NOT",          "NULL",       "TRUE",       "FALSE",   "IS",
                              "IN",           "LIKE",       "BETWEEN",    "EXISTS",  "CASE",
                              "WHEN",         "THEN",       "ELSE",       "END",     "AS",
                              "ON",           "JOIN",       "LEFT",       "RIGHT",   "INNER",
                              "OUTER",        "CROSS",      "FULL",       "GROUP",   "BY",
                              "ORDER",        "HAVING",     "LIMIT",      "OFFSET",  "UNION",
                              "ALL",          "DISTINCT",   "INSERT",     "INTO",    "VALUES",
                              "UPDATE",       "SET",        "DELETE",     "ASC",     "DESC",
                              "COLLATE",      "ESCAPE",     "CAST",       "INTEGER", "INT",
                              "BIGINT",       "SMALLINT",   "TEXT",       "REAL",    "DOUBLE",
                              "PRECISION",    "BOOLEAN",    "NUMERIC",    "VARCHAR", "TIMESTAMP",
                              "DATE",         "CONFLICT",   "DO",         "NOTHING", "RETURNING",
                              "USING",        "WITH",       "RECURSIVE",  "DEFAULT", "PRIMARY",
                              "KEY",          "REFERENCES", "CONSTRAINT", "CHECK",   "UNIQUE",
                              "INDEX",        "TABLE",      "CREATE",     "DROP",    "ALTER",
                              "IF",           "TEMP",       "TEMPORARY",  "VIEW",    "BEGIN",
                              "COMMIT",       "ROLLBACK",   "SAVEPOINT",  "RELEASE", "TO",
                              "TRANSACTION",  "NULLS",      "FIRST",      "LAST",    "IGNORE",
                              "REPLACE",      "ANY",        "SOME",       "EXCEPT",  "INTERSECT",
                              "INDEXED",      "OVER",       "PARTITION",  "FILTER",  "CURRENT_TIMESTAMP",
                              "CURRENT_DATE", "LOCAL",      "ONLY",       "GLOB",    "ISNULL",
                              "NOTNULL",      "CASCADE",    "RESTRICT",   "ACTION",  "NO",
                              "FOR",          "FETCH",      "NEXT",       "ROWS",    "ROW",
                              "EXCLUDED"})
            set.insert(QString::fromLatin1(w));
        return set;
    }();
    return words.contains(word.toUpper());
}

// A name written without quotes in SQLite's manner ("File", "CatalogueId", "TTH"): SQLite ignores
// the case of names, the server folds them to lower case, and the catalogue's names are not.
bool IsUnquotedName(const QList<PgToken>& tokens, qsizetype i)
{
    const PgToken& t = tokens[i];
    if (t.kind != PgTokenKind::Word || IsSqlWord(t.text) || t.text.toLower() == t.text)
        return false;
    const qsizetype next = NextSolid(tokens, i);
    if (next >= 0 && tokens[next].kind == PgTokenKind::Other && tokens[next].text == QLatin1String("("))
        return false; // a function
    const qsizetype before = PreviousSolid(tokens, i);
    return !(before >= 1 && tokens[before].text == QLatin1String(":") &&
             tokens[before - 1].text == QLatin1String(":"));
}

bool IsText(const PgToken& token, const char* text)
{
    return token.kind == PgTokenKind::Other && token.text == QLatin1String(text);
}

// Operators that bind tighter than LIKE: arithmetic, || and :: (one character per token).
bool IsBindingOperator(const PgToken& token)
{
    static const QString operators = QStringLiteral("|+-*/%:^");
    return token.kind == PgTokenKind::Other && token.text.size() == 1 && operators.contains(token.text[0]);
}

qsizetype MatchingClose(const QList<PgToken>& tokens, qsizetype open)
{
    int depth = 0;
    for (qsizetype i = open; i < tokens.size(); ++i)
    {
        if (IsText(tokens[i], "("))
            ++depth;
        else if (IsText(tokens[i], ")") && --depth == 0)
            return i;
    }
    return -1;
}

qsizetype MatchingOpen(const QList<PgToken>& tokens, qsizetype close)
{
    int depth = 0;
    for (qsizetype i = close; i >= 0; --i)
    {
        if (IsText(tokens[i], ")"))
            ++depth;
        else if (IsText(tokens[i], "(") && --depth == 0)
            return i;
    }
    return -1;
}

bool IsSimpleOperand(const PgToken& token)
{
    return IsOperand(token) && !IsKeyword(token);
}

// The first token of the operand of a comparison-level operator that ends at last: names,
// literals, parameters, calls and parenthesised groups joined by tighter operators; -1 when
// there is none.
qsizetype LeftOperandStart(const QList<PgToken>& tokens, qsizetype last)
{
    qsizetype j = last;
    for (;;)
    {
        qsizetype start = -1;
        if (IsText(tokens[j], ")"))
        {
            start = MatchingOpen(tokens, j);
            if (start < 0)
                return -1;
            const qsizetype name = PreviousSolid(tokens, start);
            if (name >= 0 && tokens[name].kind == PgTokenKind::Word && !IsKeyword(tokens[name]))
                start = OperandStart(tokens, name);
        }
        else if (IsSimpleOperand(tokens[j]))
            start = OperandStart(tokens, j);
        else
            return -1;
        qsizetype p = PreviousSolid(tokens, start);
        if (p < 0 || !IsBindingOperator(tokens[p]))
            return start;
        qsizetype firstOperator = p;
        while (p >= 0 && IsBindingOperator(tokens[p]))
        {
            firstOperator = p;
            p = PreviousSolid(tokens, p);
        }
        if (p < 0 || !(IsSimpleOperand(tokens[p]) || IsText(tokens[p], ")")))
            return firstOperator; // signs
        j = p;
    }
}

// The last token of the operand that starts at first, as LeftOperandStart reads them; -1 when none.
qsizetype RightOperandEnd(const QList<PgToken>& tokens, qsizetype first)
{
    qsizetype j = first;
    for (;;)
    {
        while (j >= 0 && IsBindingOperator(tokens[j]))
            j = NextSolid(tokens, j);
        if (j < 0)
            return -1;
        qsizetype end = -1;
        const qsizetype next = NextSolid(tokens, j);
        if (tokens[j].kind == PgTokenKind::Word && !IsKeyword(tokens[j]) && next >= 0 &&
            IsText(tokens[next], "("))
            end = MatchingClose(tokens, next);
        else if (IsText(tokens[j], "("))
            end = MatchingClose(tokens, j);
        else if (IsSimpleOperand(tokens[j]))
            end = OperandEnd(tokens, j);
        if (end < 0)
            return -1;
        qsizetype n = NextSolid(tokens, end);
        if (n < 0 || !IsBindingOperator(tokens[n]))
            return end;
        j = n;
    }
}

// jet_concat(a, b, ...): the texts joined, Null only when every one is Null (as on SQLite).
void RewriteConcatenation(QList<PgToken>& tokens)
{
    for (qsizetype i = tokens.size() - 1; i >= 0; --i)
    {
        const qsizetype open = NextSolid(tokens, i);
        if (!IsWord(tokens[i], "jet_concat") || open < 0 || !IsText(tokens[open], "("))
            continue;
        const qsizetype close = MatchingClose(tokens, open);
        if (close < 0)
            continue;
        const QString arguments = Join(tokens, open + 1, close - 1);
        tokens[i] = {
            PgTokenKind::Literal,
            QStringLiteral("(CASE WHEN num_nonnulls(%1) = 0 THEN NULL ELSE concat(%1) END)").arg(arguments)};
        tokens.remove(i + 1, close - i);
    }
}

// a [NOT] LIKE b becomes [NOT] jet_like(b, a): the server's LIKE refuses the collation of text.
void RewriteLike(QList<PgToken>& tokens)
{
    for (qsizetype i = 0; i < tokens.size(); ++i)
    {
        if (!IsWord(tokens[i], "LIKE"))
            continue;
        qsizetype leftLast = PreviousSolid(tokens, i);
        bool negated = false;
        if (leftLast >= 0 && IsWord(tokens[leftLast], "NOT"))
        {
            negated = true;
            leftLast = PreviousSolid(tokens, leftLast);
        }
        const qsizetype rightFirst = NextSolid(tokens, i);
        if (leftLast < 0 || rightFirst < 0)
            continue;
        const qsizetype leftFirst = LeftOperandStart(tokens, leftLast);
        const qsizetype rightLast = RightOperandEnd(tokens, rightFirst);
        if (leftFirst < 0 || rightLast < 0)
            continue;
        const QString call = QStringLiteral("%1jet_like(%2, %3)")
                                 .arg(negated ? QStringLiteral("NOT ") : QString(),
                                      Join(tokens, rightFirst, rightLast), Join(tokens, leftFirst, leftLast));
        tokens[leftFirst] = {PgTokenKind::Literal, call};
        tokens.remove(leftFirst + 1, rightLast - leftFirst);
        i = leftFirst;
    }
}

// "WHERE 1": the server wants a condition where SQLite takes a number.
void RewriteNumberConditions(QList<PgToken>& tokens)
{
    for (qsizetype i = 0; i < tokens.size(); ++i)
    {
        if (tokens[i].kind != PgTokenKind::Literal || !tokens[i].text.front().isDigit())
            continue;
        const qsizetype before = PreviousSolid(tokens, i);
        const qsizetype after = NextSolid(tokens, i);
        if (before < 0 || !(IsWord(tokens[before], "WHERE") || IsWord(tokens[before], "HAVING")))
            continue;
        if (after >= 0 && !IsKeyword(tokens[after]) && !IsText(tokens[after], ")") &&
            !IsText(tokens[after], ";"))
            continue;
        tokens[i].text = QStringLiteral("(%1 <> 0)").arg(tokens[i].text);
    }
}

// The ranges of the items of a list that starts at first and ends, at its own depth, at a
// closing bracket, a ";" or one of the given words. Items are split at commas of that depth.
QList<std::pair<qsizetype, qsizetype>> ListItems(const QList<PgToken>& tokens, qsizetype first,
                                                 const QStringList& endWords, qsizetype* end = nullptr)
{
    QList<std::pair<qsizetype, qsizetype>> items;
    int depth = 0;
    qsizetype itemStart = first;
    qsizetype i = first;
    for (; i < tokens.size(); ++i)
    {
        const PgToken& t = tokens[i];
        if (IsText(t, "("))
            ++depth;
        else if (IsText(t, ")") && depth-- == 0)
            break;
        else if (depth == 0 &&
                 (IsText(t, ";") || (t.kind == PgTokenKind::Word && endWords.contains(t.text.toUpper()))))
            break;
        else if (depth == 0 && IsText(t, ","))
        {
            items.append({itemStart, i - 1});
            itemStart = i + 1;
        }
    }
    items.append({itemStart, i - 1});
    if (end)
        *end = i;
    return items;
}

// Trims a range to its first and last solid tokens; false when it holds none.
bool TrimRange(const QList<PgToken>& tokens, std::pair<qsizetype, qsizetype>& range)
{
    while (range.first <= range.second && tokens[range.first].kind == PgTokenKind::Space)
        ++range.first;
    while (range.second >= range.first && tokens[range.second].kind == PgTokenKind::Space)
        --range.second;
    return range.first <= range.second;
}

// A column of an expression is named by its text on SQLite ("Count(*)", "'F'"); the server
// would call it "count" or "?column?". The columns of the statement's own select list get those
// names as aliases; tokens are the statement before any rewrite, for the text.
void NameExpressionColumns(QList<PgToken>& tokens, const QList<PgToken>& original)
{
    const qsizetype select = NextSolid(tokens, -1);
    if (select < 0 || !IsWord(tokens[select], "SELECT"))
        return;
    qsizetype first = NextSolid(tokens, select);
    while (first >= 0 && (IsWord(tokens[first], "DISTINCT") || IsWord(tokens[first], "ALL")))
        first = NextSolid(tokens, first);
    if (first < 0)
        return;
    static const QStringList ends = {QStringLiteral("FROM"),  QStringLiteral("WHERE"),
                                     QStringLiteral("GROUP"), QStringLiteral("ORDER"),
                                     QStringLiteral("LIMIT"), QStringLiteral("UNION")};
    QList<std::pair<qsizetype, qsizetype>> items = ListItems(tokens, first, ends);
    for (qsizetype k = items.size() - 1; k >= 0; --k)
    {
        std::pair<qsizetype, qsizetype> item = items[k];
        if (!TrimRange(tokens, item))
            continue;
        bool plain = true;
        bool aliased = false;
        int depth = 0;
        for (qsizetype i = item.first; i <= item.second; ++i)
        {
            const PgToken& t = tokens[i];
            if (IsText(t, "("))
                ++depth;
            else if (IsText(t, ")"))
                --depth;
            if (depth == 0 && IsWord(t, "AS"))
                aliased = true;
            const bool nameToken =
                (t.kind == PgTokenKind::Quoted || (t.kind == PgTokenKind::Word && !IsKeyword(t)));
            if (!(nameToken || IsText(t, ".") || IsText(t, "*")))
                plain = false;
        }
        // A name after an expression without AS is an alias too.
        const qsizetype beforeLast = PreviousSolid(tokens, item.second);
        if (tokens[item.second].kind == PgTokenKind::Quoted && beforeLast >= item.first &&
            !IsText(tokens[beforeLast], "."))
            aliased = true;
        if (plain || aliased)
            continue;
        QString name = Join(original, item.first, item.second);
        name.replace(QLatin1Char('"'), QLatin1String("\"\""));
        tokens.insert(item.second + 1, {PgTokenKind::Other, QStringLiteral(" AS \"%1\"").arg(name)});
    }
}

// A grouped select without an order comes back in the order of its groups on SQLite; the server
// gives hash order.
void OrderGroups(QList<PgToken>& tokens)
{
    const qsizetype select = NextSolid(tokens, -1);
    if (select < 0 || !IsWord(tokens[select], "SELECT"))
        return;
    int depth = 0;
    qsizetype groupBy = -1;
    for (qsizetype i = 0; i < tokens.size(); ++i)
    {
        const PgToken& t = tokens[i];
        if (IsText(t, "("))
            ++depth;
        else if (IsText(t, ")"))
            --depth;
        else if (depth == 0 &&
                 (IsWord(t, "ORDER") || IsWord(t, "UNION") || IsWord(t, "EXCEPT") || IsWord(t, "INTERSECT")))
            return;
        else if (depth == 0 && IsWord(t, "GROUP") && groupBy < 0)
            groupBy = NextSolid(tokens, i);
    }
    if (groupBy < 0 || !IsWord(tokens[groupBy], "BY"))
        return;
    static const QStringList ends = {QStringLiteral("HAVING"), QStringLiteral("LIMIT"),
                                     QStringLiteral("OFFSET")};
    qsizetype listEnd = 0;
    QList<std::pair<qsizetype, qsizetype>> items = ListItems(tokens, groupBy + 1, ends, &listEnd);
    QStringList keys;
    for (std::pair<qsizetype, qsizetype> item : items)
        if (TrimRange(tokens, item))
            keys << Join(tokens, item.first, item.second);
    if (keys.isEmpty())
        return;
    // After HAVING's condition, before LIMIT or the end.
    qsizetype at = listEnd;
    if (at < tokens.size() && IsWord(tokens[at], "HAVING"))
    {
        static const QStringList afterHaving = {QStringLiteral("LIMIT"), QStringLiteral("OFFSET")};
        ListItems(tokens, at + 1, afterHaving, &at);
    }
    while (at > 0 && tokens[at - 1].kind == PgTokenKind::Space)
        --at;
    // The keys go in as tokens of their own, so that the pass that places Nulls finds them.
    QList<PgToken> added = {{PgTokenKind::Space, QStringLiteral(" ")},
                            {PgTokenKind::Word, QStringLiteral("ORDER")},
                            {PgTokenKind::Space, QStringLiteral(" ")},
                            {PgTokenKind::Word, QStringLiteral("BY")},
                            {PgTokenKind::Space, QStringLiteral(" ")}};
    for (qsizetype k = 0; k < keys.size(); ++k)
    {
        if (k > 0)
            added.append(
                {{PgTokenKind::Other, QStringLiteral(",")}, {PgTokenKind::Space, QStringLiteral(" ")}});
        added.append(Tokens(keys[k]));
    }
    for (qsizetype k = 0; k < added.size(); ++k)
        tokens.insert(at + k, added[k]);
}

// Jet and SQLite take "FROM (SELECT ...)" without a name for the derived table; the server
// (before 16) wants one.
void NameDerivedTables(QList<PgToken>& tokens)
{
    int derived = 0;
    for (qsizetype i = 0; i < tokens.size(); ++i)
    {
        const qsizetype before = PreviousSolid(tokens, i);
        const qsizetype first = NextSolid(tokens, i);
        if (!IsText(tokens[i], "(") || before < 0 || first < 0 ||
            !(IsWord(tokens[before], "FROM") || IsWord(tokens[before], "JOIN")) ||
            !IsWord(tokens[first], "SELECT"))
            continue;
        const qsizetype close = MatchingClose(tokens, i);
        if (close < 0)
            continue;
        const qsizetype after = NextSolid(tokens, close);
        const bool named =
            after >= 0 && (IsWord(tokens[after], "AS") || tokens[after].kind == PgTokenKind::Quoted ||
                           (tokens[after].kind == PgTokenKind::Word && !IsKeyword(tokens[after]) &&
                            !IsWord(tokens[after], "WINDOW")));
        if (!named)
            tokens.insert(close + 1,
                          {PgTokenKind::Other, QStringLiteral(" AS qrl_derived%1").arg(++derived)});
    }
}

// "Table"."Column" and nothing else, as the translator writes a column (the engine layer's
// own statements on the server's tables write c.relname).
bool IsQualifiedName(const QList<PgToken>& tokens, std::pair<qsizetype, qsizetype> range)
{
    QList<const PgToken*> solid;
    for (qsizetype i = range.first; i <= range.second; ++i)
        if (tokens[i].kind != PgTokenKind::Space)
            solid.append(&tokens[i]);
    return solid.size() == 3 && solid[0]->kind == PgTokenKind::Quoted && IsText(*solid[1], ".") &&
           solid[2]->kind == PgTokenKind::Quoted;
}

// Nulls sort first on SQLite, last on the server: every order says where they go. Columns sort
// by jet_order, the code points of the folded text as GENERAL sorts on SQLite (the collation of
// the server's text sorts by language instead: "Äpfel" beside "apple", not after "zebra"). Where
// an order may name only the select list's columns (DISTINCT, UNION) they stay as they are.
void PlaceNulls(QList<PgToken>& tokens)
{
    bool onlySelected = false;
    for (const PgToken& t : tokens)
        onlySelected = onlySelected || IsWord(t, "DISTINCT") || IsWord(t, "UNION") || IsWord(t, "EXCEPT") ||
                       IsWord(t, "INTERSECT");
    static const QStringList ends = {QStringLiteral("LIMIT"),     QStringLiteral("OFFSET"),
                                     QStringLiteral("UNION"),     QStringLiteral("EXCEPT"),
                                     QStringLiteral("INTERSECT"), QStringLiteral("FETCH")};
    for (qsizetype i = tokens.size() - 1; i >= 0; --i)
    {
        const qsizetype by = NextSolid(tokens, i);
        if (!IsWord(tokens[i], "ORDER") || by < 0 || !IsWord(tokens[by], "BY"))
            continue;
        const QList<std::pair<qsizetype, qsizetype>> items = ListItems(tokens, by + 1, ends);
        for (qsizetype k = items.size() - 1; k >= 0; --k)
        {
            std::pair<qsizetype, qsizetype> item = items[k];
            if (!TrimRange(tokens, item))
                continue;
            bool named = false;
            for (qsizetype j = item.first; j <= item.second; ++j)
                named = named || IsWord(tokens[j], "NULLS");
            if (named)
                continue;
            const bool descending = IsWord(tokens[item.second], "DESC");
            tokens.insert(item.second + 1, {PgTokenKind::Other, descending ? QStringLiteral(" NULLS LAST")
                                                                           : QStringLiteral(" NULLS FIRST")});
            std::pair<qsizetype, qsizetype> key = item;
            if (descending || IsWord(tokens[item.second], "ASC"))
                key.second = PreviousSolid(tokens, item.second);
            if (!onlySelected && key.second >= key.first && IsQualifiedName(tokens, key))
            {
                tokens.insert(key.second + 1, {PgTokenKind::Other, QStringLiteral(")")});
                tokens.insert(key.first, {PgTokenKind::Other, QStringLiteral("jet_order(")});
            }
        }
    }
}
} // namespace

CPgText PgSql::FromEngineSql(const QString& sql, const QHash<QString, QString>& names)
{
    QList<PgToken> tokens = Tokens(sql);
    const QList<PgToken> original = tokens;
    CPgText out;

    // Names that are words of SQL too stay as written: "ORDER BY" is no column Order.
    static const QStringList keywords{
        QStringLiteral("action"), QStringLiteral("group"), QStringLiteral("index"), QStringLiteral("key"),
        QStringLiteral("name"),   QStringLiteral("order"), QStringLiteral("sql"),   QStringLiteral("table"),
        QStringLiteral("type"),   QStringLiteral("user")};
    for (PgToken& token : tokens)
    {
        if (token.kind != PgTokenKind::Word || names.isEmpty())
            continue;
        const QString lower = token.text.toLower();
        const auto it = names.constFind(lower);
        if (it == names.constEnd() || *it == lower || keywords.contains(lower))
            continue;
        token.kind = PgTokenKind::Quoted;
        token.text = QLatin1Char('"') + *it + QLatin1Char('"');
    }

    // Parameters first, so that a LIKE operand already carries its final number.
    int nextPositional = 0;
    for (PgToken& token : tokens)
    {
        if (token.kind != PgTokenKind::Parameter)
            continue;
        int number = 0;
        if (token.text.startsWith(QLatin1Char('?')))
        {
            number = token.text.size() > 1 ? token.text.mid(1).toInt() : nextPositional + 1;
            nextPositional = std::max(nextPositional, number);
            while (out.parameterNames.size() < number)
                out.parameterNames.append(QString());
        }
        else
        {
            const QString name = token.text.mid(1);
            number = static_cast<int>(out.parameterNames.indexOf(name)) + 1;
            if (number == 0)
            {
                out.parameterNames.append(name);
                number = static_cast<int>(out.parameterNames.size());
            }
            nextPositional = std::max(nextPositional, number);
        }
        token.text = QLatin1Char('$') + QString::number(number);
    }

    for (qsizetype i = 0; i < tokens.size(); ++i)
        if (IsUnquotedName(tokens, i))
            tokens[i] = {PgTokenKind::Quoted, QLatin1Char('"') + tokens[i].text + QLatin1Char('"')};
    NameExpressionColumns(tokens, original);
    RewriteConcatenation(tokens);
    RewriteLike(tokens);
    RewriteNumberConditions(tokens);
    NameDerivedTables(tokens);
    OrderGroups(tokens);
    PlaceNulls(tokens);

    QString text;
    bool skipConflicts = false;
    for (qsizetype i = 0; i < tokens.size(); ++i)
    {
        const PgToken& token = tokens[i];
        // "INDEXED BY name" and "NOT INDEXED": SQLite's choice of index, left to the server's planner.
        if (IsWord(token, "INDEXED"))
        {
            const qsizetype by = NextSolid(tokens, i);
            const qsizetype before = PreviousSolid(tokens, i);
            if (by >= 0 && IsWord(tokens[by], "BY") && NextSolid(tokens, by) >= 0)
            {
                i = NextSolid(tokens, by);
                continue;
            }
            if (before >= 0 && IsWord(tokens[before], "NOT"))
            {
                text.chop(Join(tokens, before, i - 1).size());
                continue;
            }
        }
        // temp."name": the session's temporary schema.
        if (IsWord(token, "temp") && i + 1 < tokens.size() && tokens[i + 1].text == QLatin1String("."))
        {
            text += QLatin1String("pg_temp");
            continue;
        }
        // INSERT OR IGNORE: rows that break a key are skipped.
        if (IsWord(token, "OR") && PreviousSolid(tokens, i) >= 0 &&
            IsWord(tokens[PreviousSolid(tokens, i)], "INSERT") && NextSolid(tokens, i) >= 0 &&
            IsWord(tokens[NextSolid(tokens, i)], "IGNORE"))
        {
            skipConflicts = true;
            i = NextSolid(tokens, i) +
                (NextSolid(tokens, NextSolid(tokens, i)) > NextSolid(tokens, i) + 1 ? 1 : 0);
            continue;
        }
        text += token.text;
    }
    if (skipConflicts)
    {
        qsizetype end = text.size();
        while (end > 0 && (text[end - 1].isSpace() || text[end - 1] == QLatin1Char(';')))
            --end;
        text.insert(end, QLatin1String(" ON CONFLICT DO NOTHING"));
    }
    out.sql = text;
    return out;
}

bool PgSql::IsServerAddress(const QString& address)
{
    return DbAddress::IsServerAddress(address);
}

QString PgSql::DisplayAddress(const QString& address)
{
    return DbAddress::Display(address);
}
