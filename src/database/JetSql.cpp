#include "database/JetSql.h"

#include "common/DbException.h"
#include "database/DbErrors.h"

#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>

#include <vector>

namespace
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
};

struct Token
{
    Kind kind;
    QString text;
};

const QSet<QString>& Keywords()
{
    static const QSet<QString> keywords = {
        QStringLiteral("SELECT"), QStringLiteral("DISTINCT"), QStringLiteral("AS"),     QStringLiteral("FROM"),
        QStringLiteral("WHERE"),  QStringLiteral("AND"),      QStringLiteral("OR"),     QStringLiteral("NOT"),
        QStringLiteral("LIKE"),   QStringLiteral("IS"),       QStringLiteral("NULL"),   QStringLiteral("IN"),
        QStringLiteral("BETWEEN"), QStringLiteral("INNER"),   QStringLiteral("LEFT"),   QStringLiteral("RIGHT"),
        QStringLiteral("OUTER"),  QStringLiteral("JOIN"),     QStringLiteral("ON"),     QStringLiteral("HAVING"),
        QStringLiteral("ASC"),    QStringLiteral("DESC"),     QStringLiteral("INSERT"), QStringLiteral("INTO"),
        QStringLiteral("VALUES"), QStringLiteral("UPDATE"),   QStringLiteral("SET"),    QStringLiteral("DELETE"),
        QStringLiteral("UNION"),  QStringLiteral("ALL"),      QStringLiteral("EXISTS"), QStringLiteral("BY"),
    };
    return keywords;
}

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
            tokens.push_back({Kind::Name, QuoteIdentifier(ReadQuoted(s, i, QLatin1Char(']'), s, "unclosed bracket"))});
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
        if (c == QLatin1Char('(')) tokens.push_back({Kind::Open, QStringLiteral("(")});
        else if (c == QLatin1Char(')')) tokens.push_back({Kind::Close, QStringLiteral(")")});
        else if (c == QLatin1Char(',')) tokens.push_back({Kind::Comma, QStringLiteral(",")});
        else if (c == QLatin1Char('.') || c == QLatin1Char('!')) tokens.push_back({Kind::Dot, QStringLiteral(".")});
        else if (c == QLatin1Char(';')) tokens.push_back({Kind::Semicolon, QStringLiteral(";")});
        else if (c == QLatin1Char('<') || c == QLatin1Char('>'))
        {
            QString op(c);
            if (i + 1 < s.size() && (s[i + 1] == QLatin1Char('=') || (c == QLatin1Char('<') && s[i + 1] == QLatin1Char('>'))))
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

// Gives every bare word its role: keyword, function or name.
std::vector<Token> Classify(const std::vector<Token>& in)
{
    std::vector<Token> out;
    const auto nextIs = [&](size_t i, Kind kind, const char* text = nullptr) {
        return i + 1 < in.size() && in[i + 1].kind == kind &&
               (!text || in[i + 1].text.compare(QLatin1String(text), Qt::CaseInsensitive) == 0);
    };
    bool skippingDeleteList = false;
    for (size_t i = 0; i < in.size(); ++i)
    {
        const Token& t = in[i];
        const bool bareWord = t.kind == Kind::Name && !t.text.startsWith(QLatin1Char('"'));
        const bool qualified = !out.empty() && out.back().kind == Kind::Dot;
        if (skippingDeleteList)
        {
            if (bareWord && t.text.compare(QLatin1String("FROM"), Qt::CaseInsensitive) == 0)
                skippingDeleteList = false;
            else
                continue;
        }
        if (!bareWord)
        {
            out.push_back(t);
            continue;
        }
        const QString upper = t.text.toUpper();
        if (!qualified)
        {
            if (upper == QLatin1String("TRUE") || upper == QLatin1String("FALSE"))
            {
                out.push_back({Kind::Literal, upper == QLatin1String("TRUE") ? QStringLiteral("1") : QStringLiteral("0")});
                continue;
            }
            if (upper == QLatin1String("DISTINCTROW"))
                continue;
            if (upper == QLatin1String("MOD"))
            {
                out.push_back({Kind::Op, QStringLiteral("%")});
                continue;
            }
            if ((upper == QLatin1String("ORDER") || upper == QLatin1String("GROUP")) && nextIs(i, Kind::Name, "BY"))
            {
                out.push_back({Kind::Keyword, upper});
                continue;
            }
            if (Keywords().contains(upper))
            {
                out.push_back({Kind::Keyword, upper});
                if (upper == QLatin1String("DELETE"))
                    skippingDeleteList = true;
                continue;
            }
            const bool afterInto = !out.empty() && out.back().kind == Kind::Keyword && out.back().text == QLatin1String("INTO");
            if (nextIs(i, Kind::Open) && !afterInto)
            {
                if (upper == QLatin1String("LEN"))
                    out.push_back({Kind::Function, QStringLiteral("length")});
                else if (upper == QLatin1String("UCASE"))
                    out.push_back({Kind::Function, QStringLiteral("upper")});
                else if (upper == QLatin1String("LCASE"))
                    out.push_back({Kind::Function, QStringLiteral("lower")});
                else
                    out.push_back({Kind::Function, t.text});
                continue;
            }
        }
        out.push_back({Kind::Name, QuoteIdentifier(t.text)});
    }
    return out;
}

// SQLite takes bare column names as the targets of SET; Jet allows them qualified.
void StripSetQualifiers(std::vector<Token>& tokens)
{
    bool inSet = false;
    bool atTarget = false;
    int depth = 0;
    for (size_t i = 0; i < tokens.size(); ++i)
    {
        const Token& t = tokens[i];
        if (t.kind == Kind::Open)
            ++depth;
        else if (t.kind == Kind::Close)
            --depth;
        if (t.kind == Kind::Keyword)
        {
            if (t.text == QLatin1String("SET") && depth == 0)
            {
                inSet = true;
                atTarget = true;
                continue;
            }
            if (t.text == QLatin1String("WHERE") || t.text == QLatin1String("FROM"))
                inSet = false;
        }
        if (!inSet || depth != 0)
            continue;
        if (t.kind == Kind::Comma)
        {
            atTarget = true;
            continue;
        }
        if (atTarget && t.kind == Kind::Name && i + 2 < tokens.size() && tokens[i + 1].kind == Kind::Dot &&
            tokens[i + 2].kind == Kind::Name)
            tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i), tokens.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        atTarget = false;
    }
}

// Tokens that end an operand of "&": anything that binds less tightly than it.
bool EndsConcatOperand(const Token& t)
{
    switch (t.kind)
    {
    case Kind::Comma:
    case Kind::Semicolon:
        return true;
    case Kind::Keyword:
        return t.text != QLatin1String("NULL");
    case Kind::Op:
        return t.text == QLatin1String("=") || t.text == QLatin1String("<") || t.text == QLatin1String(">") ||
               t.text == QLatin1String("<=") || t.text == QLatin1String(">=") || t.text == QLatin1String("<>") ||
               t.text == QLatin1String("&");
    default:
        return false;
    }
}

// a & b & c becomes jet_concat(a, b, c): SQLite's "&" is a bitwise and, and its "||" gives Null
// for a Null operand where Jet's "&" treats it as empty text.
void RewriteConcat(std::vector<Token>& tokens, const QString& jetSql)
{
    for (;;)
    {
        size_t amp = 0;
        while (amp < tokens.size() && !(tokens[amp].kind == Kind::Op && tokens[amp].text == QLatin1String("&")))
            ++amp;
        if (amp == tokens.size())
            return;

        // The first operand: back to the nearest token that binds less tightly, at this depth.
        size_t begin = amp;
        int depth = 0;
        while (begin > 0)
        {
            const Token& t = tokens[begin - 1];
            if (t.kind == Kind::Close)
                ++depth;
            else if (t.kind == Kind::Open)
            {
                if (depth == 0)
                    break;
                --depth;
            }
            else if (depth == 0 && EndsConcatOperand(t))
                break;
            --begin;
        }
        if (begin == amp)
            ThrowSyntax(jetSql, QStringLiteral("missing operand of &"));

        std::vector<std::vector<Token>> operands(1, std::vector<Token>(tokens.begin() + begin, tokens.begin() + amp));
        size_t end = amp;
        while (end < tokens.size() && tokens[end].kind == Kind::Op && tokens[end].text == QLatin1String("&"))
        {
            size_t j = end + 1;
            depth = 0;
            for (; j < tokens.size(); ++j)
            {
                const Token& t = tokens[j];
                if (t.kind == Kind::Open)
                    ++depth;
                else if (t.kind == Kind::Close)
                {
                    if (depth == 0)
                        break;
                    --depth;
                }
                else if (depth == 0 && EndsConcatOperand(t))
                    break;
            }
            if (j == end + 1)
                ThrowSyntax(jetSql, QStringLiteral("missing operand of &"));
            operands.emplace_back(tokens.begin() + end + 1, tokens.begin() + j);
            end = j;
        }

        std::vector<Token> call{{Kind::Function, QStringLiteral("jet_concat")}, {Kind::Open, QStringLiteral("(")}};
        for (size_t k = 0; k < operands.size(); ++k)
        {
            if (k > 0)
                call.push_back({Kind::Comma, QStringLiteral(",")});
            call.insert(call.end(), operands[k].begin(), operands[k].end());
        }
        call.push_back({Kind::Close, QStringLiteral(")")});
        tokens.erase(tokens.begin() + begin, tokens.begin() + end);
        tokens.insert(tokens.begin() + begin, call.begin(), call.end());
    }
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
} // namespace

QString CJetSql::TranslateUncached(const QString& jetSql)
{
    std::vector<Token> tokens = Classify(Tokenize(jetSql));
    while (!tokens.empty() && tokens.back().kind == Kind::Semicolon)
        tokens.pop_back();
    StripSetQualifiers(tokens);
    RewriteConcat(tokens, jetSql);
    return Join(tokens);
}

QString CJetSql::Translate(const QString& jetSql)
{
    static QMutex mutex;
    static QHash<QString, QString> cache;
    {
        QMutexLocker lock(&mutex);
        if (const auto it = cache.constFind(jetSql); it != cache.constEnd())
            return *it;
    }
    QString translated = TranslateUncached(jetSql);
    QMutexLocker lock(&mutex);
    // Statement texts are few and repeat; texts with values pasted in (criteria) would grow the
    // cache without end, so it starts afresh when it gets large.
    if (cache.size() >= 4096)
        cache.clear();
    cache.insert(jetSql, translated);
    return translated;
}

QString CJetSql::QuoteText(const QString& text, QChar quote)
{
    QString quoted = text;
    quoted.replace(quote, QString(2, quote));
    return quote + quoted + quote;
}

QString CJetSql::QuoteName(const QString& name)
{
    QString quoted = name;
    quoted.replace(QLatin1Char(']'), QLatin1String("]]"));
    return QLatin1Char('[') + quoted + QLatin1Char(']');
}

QString CJetSql::EscapeLike(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text)
    {
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('#') || c == QLatin1Char('['))
            escaped += QLatin1Char('[') + QString(c) + QLatin1Char(']');
        else
            escaped += c;
    }
    return escaped;
}
