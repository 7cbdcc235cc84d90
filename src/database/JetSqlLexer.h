#pragma once

#include <QString>

#include <cstddef>
#include <functional>
#include <vector>

// The tokens of Jet SQL text and the scans over them that every rewrite of the translator shares.
// Internal to the translator: the rest of the system goes through CJetSql (JetSql.h).
namespace JetSqlDetail
{
enum class Kind
{
    Keyword,  // an SQL keyword, upper case
    Name,     // a table, column or alias name, already quoted for SQLite
    Function, // a function name
    Literal,  // a text, number or date literal, or a parameter
    Op,       // an operator, including "&" before it is rewritten
    Open,
    Close,
    Comma,
    Dot,
    Semicolon,
    Param, // a parameter of a query definition, by its name; numbered when the text is done
};

struct Token
{
    Kind kind;
    QString text;
};

// Text that cannot be read: CDbException 3075, naming the whole text.
[[noreturn]] void ThrowSyntax(const QString& jetSql, const QString& why);

// A name as SQLite reads it: always in double quotes, so "Group" or "Order" never read as keywords.
QString QuoteIdentifier(const QString& name);
// The name a Name token stands for, without the quotes QuoteIdentifier put around it.
QString Unquote(const Token& t);
bool IsKeyword(const Token& t, const char* text);

// The tokens of one text. Bracketed names come out quoted, text literals in single quotes, dates as
// 'yyyy-mm-dd hh:mm:ss'; bare words are Name tokens for JetSqlDetail::Classify to give their role.
// Throws CDbException 3075 for an unclosed quote, bracket or date and for a character that has no
// place in SQL.
std::vector<Token> Tokenize(const QString& jetSql);
// SQLite text of tokens, spaced as people write it.
QString Join(const std::vector<Token>& tokens);

// The end of the part of a statement that starts at i: the first unmatched ")" or, outside
// parentheses, the first token that ends the part; end when there is neither.
template <typename EndsPart>
size_t FindPartEnd(const std::vector<Token>& tokens, size_t i, size_t end, EndsPart endsPart)
{
    int depth = 0;
    for (; i < end; ++i)
    {
        const Token& t = tokens[i];
        if (t.kind == Kind::Open)
            ++depth;
        else if (t.kind == Kind::Close)
        {
            if (depth == 0)
                break;
            --depth;
        }
        else if (depth == 0 && endsPart(t))
            break;
    }
    return i;
}

// The end of an ON condition or join operand: the first comma, join keyword or unmatched ")" at
// its own parenthesis depth.
size_t SkipToJoinBoundary(const std::vector<Token>& tokens, size_t i, size_t end);

// The ")" that closes the "(" at index open, or end when it is not closed before end.
size_t MatchingClose(const std::vector<Token>& t, size_t open, size_t end);
// The first token from "from" on, outside parentheses, that passes the test; end when none does.
size_t FindTopLevel(const std::vector<Token>& t, size_t from, size_t end,
                    const std::function<bool(const Token&)>& test);
std::vector<Token> Slice(const std::vector<Token>& t, size_t begin, size_t end);
} // namespace JetSqlDetail
