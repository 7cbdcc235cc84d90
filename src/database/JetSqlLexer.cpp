#include "database/JetSqlLexer.h"

#include "common/DbException.h"
#include "database/DbErrors.h"

#include <QRegularExpression>

namespace JetSqlDetail
{
namespace
{
QString SqlTextLiteral(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString DateLiteral(const QString& jetSql, const QString& body)
{
    static const QRegularExpression us(QStringLiteral(
        R"(^\s*(\d{1,2})/(\d{1,2})/(\d{2,4})(?:\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?\s*([AaPp][Mm])?)?\s*$)"));
    static const QRegularExpression iso(
        QStringLiteral(R"(^\s*(\d{4})-(\d{1,2})-(\d{1,2})(?:[ T](\d{1,2}):(\d{1,2})(?::(\d{1,2}))?)?\s*$)"));
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (const QRegularExpressionMatch m = us.match(body); m.hasMatch())
    {
        month = m.captured(1).toInt();
        day = m.captured(2).toInt();
        year = m.captured(3).toInt();
        if (m.captured(3).size() == 2)
            year += year < 30 ? 2000 : 1900;
        hour = m.captured(4).toInt();
        minute = m.captured(5).toInt();
        second = m.captured(6).toInt();
        const QString half = m.captured(7).toUpper();
        if (half == QLatin1String("PM") && hour < 12)
            hour += 12;
        else if (half == QLatin1String("AM") && hour == 12)
            hour = 0;
    }
    else if (const QRegularExpressionMatch i = iso.match(body); i.hasMatch())
    {
        year = i.captured(1).toInt();
        month = i.captured(2).toInt();
        day = i.captured(3).toInt();
        hour = i.captured(4).toInt();
        minute = i.captured(5).toInt();
        second = i.captured(6).toInt();
    }
    else
        ThrowSyntax(jetSql, QStringLiteral("invalid date #%1#").arg(body));
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        ThrowSyntax(jetSql, QStringLiteral("invalid date #%1#").arg(body));
    return QLatin1Char('\'') +
           QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second) +
           QLatin1Char('\'');
}

bool IsNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Reads a quoted run starting at i (the opening character); the closing character doubled stands
// for itself. Returns the content and leaves i after the closing character.
QString ReadQuoted(const QString& s, qsizetype& i, QChar close, const QString& jetSql, const char* what)
{
    QString content;
    for (qsizetype j = i + 1; j < s.size(); ++j)
    {
        if (s[j] == close)
        {
            if (j + 1 < s.size() && s[j + 1] == close)
            {
                content += close;
                ++j;
                continue;
            }
            i = j + 1;
            return content;
        }
        content += s[j];
    }
    ThrowSyntax(jetSql, QString::fromLatin1(what));
}
} // namespace

[[noreturn]] void ThrowSyntax(const QString& jetSql, const QString& why)
{
    throw CDbException(DbErrors::kSyntaxError,
                       QStringLiteral("Syntax error (%1) in query expression '%2'.").arg(why, jetSql));
}

QString QuoteIdentifier(const QString& name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString Unquote(const Token& t)
{
    if (t.text.startsWith(QLatin1Char('"')) && t.text.size() >= 2)
    {
        QString name = t.text.mid(1, t.text.size() - 2);
        name.replace(QLatin1String("\"\""), QLatin1String("\""));
        return name;
    }
    return t.text;
}

bool IsKeyword(const Token& t, const char* text)
{
    return t.kind == Kind::Keyword && t.text == QLatin1String(text);
}

std::vector<Token> Tokenize(const QString& s)
{
    std::vector<Token> tokens;
    qsizetype i = 0;
    while (i < s.size())
    {
        const QChar c = s[i];
        if (c.isSpace())
        {
            ++i;
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"'))
        {
            tokens.push_back({Kind::Literal, SqlTextLiteral(ReadQuoted(s, i, c, s, "unclosed text"))});
            continue;
        }
        if (c == QLatin1Char('['))
        {
            tokens.push_back(
                {Kind::Name, QuoteIdentifier(ReadQuoted(s, i, QLatin1Char(']'), s, "unclosed bracket"))});
            continue;
        }
        if (c == QLatin1Char('#'))
        {
            const qsizetype close = s.indexOf(QLatin1Char('#'), i + 1);
            if (close < 0)
                ThrowSyntax(s, QStringLiteral("unclosed date"));
            tokens.push_back({Kind::Literal, DateLiteral(s, s.mid(i + 1, close - i - 1))});
            i = close + 1;
            continue;
        }
        if (c.isDigit())
        {
            qsizetype j = i;
            while (j < s.size() && (s[j].isDigit() || s[j] == QLatin1Char('.')))
                ++j;
            if (j < s.size() && (s[j] == QLatin1Char('e') || s[j] == QLatin1Char('E')))
            {
                qsizetype k = j + 1;
                if (k < s.size() && (s[k] == QLatin1Char('+') || s[k] == QLatin1Char('-')))
                    ++k;
                if (k < s.size() && s[k].isDigit())
                {
                    j = k;
                    while (j < s.size() && s[j].isDigit())
                        ++j;
                }
            }
            tokens.push_back({Kind::Literal, s.mid(i, j - i)});
            i = j;
            continue;
        }
        if (IsNameChar(c))
        {
            qsizetype j = i;
            while (j < s.size() && IsNameChar(s[j]))
                ++j;
            tokens.push_back({Kind::Name, s.mid(i, j - i)}); // classified below
            i = j;
            continue;
        }
        if (c == QLatin1Char('?') || c == QLatin1Char(':') || c == QLatin1Char('@') || c == QLatin1Char('$'))
        {
            qsizetype j = i + 1;
            while (j < s.size() && IsNameChar(s[j]))
                ++j;
            if (c != QLatin1Char('?') && j == i + 1)
                ThrowSyntax(s, QStringLiteral("parameter without a name"));
            tokens.push_back({Kind::Literal, s.mid(i, j - i)});
            i = j;
            continue;
        }
        if (c == QLatin1Char('('))
            tokens.push_back({Kind::Open, QStringLiteral("(")});
        else if (c == QLatin1Char(')'))
            tokens.push_back({Kind::Close, QStringLiteral(")")});
        else if (c == QLatin1Char(','))
            tokens.push_back({Kind::Comma, QStringLiteral(",")});
        else if (c == QLatin1Char('.') || c == QLatin1Char('!'))
            tokens.push_back({Kind::Dot, QStringLiteral(".")});
        else if (c == QLatin1Char(';'))
            tokens.push_back({Kind::Semicolon, QStringLiteral(";")});
        else if (c == QLatin1Char('<') || c == QLatin1Char('>'))
        {
            QString op(c);
            if (i + 1 < s.size() &&
                (s[i + 1] == QLatin1Char('=') || (c == QLatin1Char('<') && s[i + 1] == QLatin1Char('>'))))
                op += s[++i];
            tokens.push_back({Kind::Op, op});
        }
        else if (QStringLiteral("=+-*/&\\").contains(c))
            tokens.push_back({Kind::Op, c == QLatin1Char('\\') ? QStringLiteral("/") : QString(c)});
        else
            ThrowSyntax(s, QStringLiteral("unexpected character '%1'").arg(c));
        ++i;
    }
    return tokens;
}

QString Join(const std::vector<Token>& tokens)
{
    QString out;
    for (size_t i = 0; i < tokens.size(); ++i)
    {
        const Token& t = tokens[i];
        const bool glueLeft = t.kind == Kind::Dot || t.kind == Kind::Close || t.kind == Kind::Comma ||
                              (t.kind == Kind::Open && i > 0 && tokens[i - 1].kind == Kind::Function);
        const bool glueRight = i > 0 && (tokens[i - 1].kind == Kind::Dot || tokens[i - 1].kind == Kind::Open);
        if (!out.isEmpty() && !glueLeft && !glueRight)
            out += QLatin1Char(' ');
        out += t.text;
    }
    return out;
}

size_t SkipToJoinBoundary(const std::vector<Token>& tokens, size_t i, size_t end)
{
    return FindPartEnd(tokens, i, end,
                       [](const Token& t)
                       {
                           return t.kind == Kind::Comma || IsKeyword(t, "LEFT") || IsKeyword(t, "RIGHT") ||
                                  IsKeyword(t, "INNER") || IsKeyword(t, "JOIN");
                       });
}

size_t MatchingClose(const std::vector<Token>& t, size_t open, size_t end)
{
    int depth = 0;
    for (size_t j = open; j < end; ++j)
    {
        if (t[j].kind == Kind::Open)
            ++depth;
        else if (t[j].kind == Kind::Close && --depth == 0)
            return j;
    }
    return end;
}

size_t FindTopLevel(const std::vector<Token>& t, size_t from, size_t end,
                    const std::function<bool(const Token&)>& test)
{
    int depth = 0;
    for (size_t i = from; i < end; ++i)
    {
        if (t[i].kind == Kind::Open)
            ++depth;
        else if (t[i].kind == Kind::Close)
            --depth;
        else if (depth == 0 && test(t[i]))
            return i;
    }
    return end;
}

std::vector<Token> Slice(const std::vector<Token>& t, size_t begin, size_t end)
{
    return std::vector<Token>(t.begin() + static_cast<std::ptrdiff_t>(begin),
                              t.begin() + static_cast<std::ptrdiff_t>(end));
}
} // namespace JetSqlDetail
