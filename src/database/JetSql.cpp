#include "database/JetSql.h"

#include "common/DbException.h"
#include "database/DbErrors.h"

#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <functional>

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
    Param,    // a parameter of a query definition, by its name; numbered when the text is done
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
            const size_t j = FindPartEnd(tokens, end + 1, tokens.size(), EndsConcatOperand);
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

namespace
{
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

// The end of an ON condition or join operand: the first comma, join keyword or unmatched ")" at
// its own parenthesis depth.
size_t SkipToJoinBoundary(const std::vector<Token>& tokens, size_t i, size_t end)
{
    return FindPartEnd(tokens, i, end, [](const Token& t) {
        return t.kind == Kind::Comma || IsKeyword(t, "LEFT") || IsKeyword(t, "RIGHT") || IsKeyword(t, "INNER") ||
               IsKeyword(t, "JOIN");
    });
}

struct Declared
{
    QString name;
    QString type;
};

// Takes a leading "PARAMETERS name type, ...;" off the raw tokens and returns its declarations.
std::vector<Declared> TakeParameters(std::vector<Token>& raw, const QString& jetSql)
{
    if (raw.empty() || raw[0].kind != Kind::Name || raw[0].text.compare(QLatin1String("PARAMETERS"), Qt::CaseInsensitive) != 0)
        return {};
    std::vector<Declared> declared;
    size_t i = 1;
    while (i < raw.size() && raw[i].kind != Kind::Semicolon)
    {
        if (raw[i].kind != Kind::Name)
            ThrowSyntax(jetSql, QStringLiteral("parameter name expected"));
        Declared d{Unquote(raw[i]), QString()};
        ++i;
        int depth = 0;
        while (i < raw.size() && !(depth == 0 && (raw[i].kind == Kind::Comma || raw[i].kind == Kind::Semicolon)))
        {
            if (raw[i].kind == Kind::Open)
                ++depth;
            else if (raw[i].kind == Kind::Close)
                --depth;
            d.type += (d.type.isEmpty() ? QString() : QStringLiteral(" ")) + raw[i].text;
            ++i;
        }
        declared.push_back(d);
        if (i < raw.size() && raw[i].kind == Kind::Comma)
            ++i;
    }
    if (i >= raw.size())
        ThrowSyntax(jetSql, QStringLiteral("PARAMETERS without ';'"));
    if (declared.empty())
        ThrowSyntax(jetSql, QStringLiteral("PARAMETERS without a parameter"));
    raw.erase(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    return declared;
}

// Translates one level of text: its parameters become Param tokens and the stored queries it
// uses as tables become subqueries, translated the same way.
class CLevelTranslator
{
public:
    explicit CLevelTranslator(const CJetSchema& schema) : m_schema(schema) {}

    std::vector<Token> Translate(const QString& jetSql)
    {
        std::vector<Token> raw = Tokenize(jetSql);
        for (const Declared& d : TakeParameters(raw, jetSql))
            AddParameter(d.name, d.type, true);
        std::vector<Token> tokens = Classify(raw);
        while (!tokens.empty() && tokens.back().kind == Kind::Semicolon)
            tokens.pop_back();

        // Names the statement defines itself: aliases after AS, or right after a name or ")".
        QSet<QString> aliases;
        for (size_t i = 1; i < tokens.size(); ++i)
            if (tokens[i].kind == Kind::Name && IsAliasDefinition(tokens, i))
                aliases.insert(Unquote(tokens[i]).toLower());

        std::vector<Token> out;
        out.reserve(tokens.size());
        bool inTableList = false; // after FROM or UPDATE, until the clause ends
        const Token* before = nullptr; // the token before this one, leaving out "("
        for (size_t i = 0; i < tokens.size(); ++i)
        {
            const Token& t = tokens[i];
            const Token* previous = before;
            if (t.kind != Kind::Open)
                before = &t;
            if (t.kind == Kind::Keyword)
            {
                if (t.text == QLatin1String("FROM") || t.text == QLatin1String("UPDATE") || t.text == QLatin1String("JOIN"))
                    inTableList = true;
                else if (t.text == QLatin1String("WHERE") || t.text == QLatin1String("GROUP") || t.text == QLatin1String("ORDER") ||
                         t.text == QLatin1String("HAVING") || t.text == QLatin1String("SET") || t.text == QLatin1String("ON") ||
                         t.text == QLatin1String("SELECT"))
                    inTableList = false;
            }
            const bool qualified = (i > 0 && tokens[i - 1].kind == Kind::Dot) ||
                                   (i + 1 < tokens.size() && tokens[i + 1].kind == Kind::Dot);
            if (t.kind != Kind::Name || qualified || IsAliasDefinition(tokens, i))
            {
                out.push_back(t);
                continue;
            }
            const QString name = Unquote(t);
            const QString lower = name.toLower();
            const bool tablePosition =
                previous && ((previous->kind == Kind::Keyword &&
                              (previous->text == QLatin1String("FROM") || previous->text == QLatin1String("JOIN") ||
                               previous->text == QLatin1String("UPDATE") || previous->text == QLatin1String("INTO"))) ||
                             (previous->kind == Kind::Comma && inTableList));
            if (!tablePosition && m_declared.contains(lower))
            {
                out.push_back({Kind::Param, m_parameters[m_declared.value(lower)]});
                continue;
            }
            if (m_schema.IsTable(name))
            {
                out.push_back(t);
                continue;
            }
            if (!tablePosition)
            {
                if (!m_schema.IsColumn(name) && !aliases.contains(lower))
                    out.push_back({Kind::Param, AddParameter(name, QString(), false)});
                else
                    out.push_back(t);
                continue;
            }
            if (const std::optional<QString> sql = m_schema.StoredQuerySql(name))
            {
                if (m_stack.contains(lower))
                    throw CDbException(DbErrors::kInputNotFound,
                                       QStringLiteral("Circular reference caused by '%1'.").arg(name));
                m_stack.append(lower);
                std::vector<Token> inner = Translate(*sql);
                m_stack.removeLast();
                out.push_back({Kind::Open, QStringLiteral("(")});
                out.insert(out.end(), inner.begin(), inner.end());
                out.push_back({Kind::Close, QStringLiteral(")")});
                const bool aliased = i + 1 < tokens.size() &&
                                     (IsKeyword(tokens[i + 1], "AS") || tokens[i + 1].kind == Kind::Name);
                if (!aliased)
                {
                    out.push_back({Kind::Keyword, QStringLiteral("AS")});
                    out.push_back({Kind::Name, QuoteIdentifier(name)});
                }
                continue;
            }
            out.push_back(t);
        }
        return out;
    }

    QStringList m_parameters;
    QStringList m_types;

private:
    static bool IsAliasDefinition(const std::vector<Token>& tokens, size_t i)
    {
        if (i == 0 || tokens[i].kind != Kind::Name)
            return false;
        const Token& prev = tokens[i - 1];
        return IsKeyword(prev, "AS") || prev.kind == Kind::Close || prev.kind == Kind::Name;
    }

    QString AddParameter(const QString& name, const QString& type, bool declared)
    {
        const QString lower = name.toLower();
        for (qsizetype k = 0; k < m_parameters.size(); ++k)
            if (m_parameters[k].toLower() == lower)
                return m_parameters[k];
        m_parameters.append(name);
        m_types.append(type);
        if (declared)
            m_declared.insert(lower, m_parameters.size() - 1);
        return name;
    }

    const CJetSchema& m_schema;
    QHash<QString, qsizetype> m_declared;
    QStringList m_stack;
};

// The ")" that closes the "(" at index open, or end when it is not closed before end.
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

size_t FindTopLevel(const std::vector<Token>& t, size_t from, size_t end, const std::function<bool(const Token&)>& test)
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

// The tables of an UPDATE's join tree, with whether each may be the missing side of an outer join.
class CJoinTree
{
public:
    struct Leaf
    {
        QString table; // empty for a subquery
        QString alias;
        bool nullable = false;
        bool hasOn = false;
        size_t onBegin = 0;
        size_t onEnd = 0;
    };

    CJoinTree(const std::vector<Token>& tokens, size_t end, const QString& jetSql)
        : m_t(tokens), m_end(end), m_jetSql(jetSql)
    {
    }

    void Parse(size_t begin)
    {
        if (ParseSource(begin) != m_end)
            ThrowSyntax(m_jetSql, QStringLiteral("unexpected text in the UPDATE's tables"));
    }

    std::vector<Leaf> m_leaves;

private:
    size_t ParseSource(size_t i)
    {
        size_t first = m_leaves.size();
        i = ParseItem(i);
        while (i < m_end)
        {
            if (m_t[i].kind == Kind::Comma)
            {
                // A comma binds less tightly than a join: what follows is a join chain of its own.
                first = m_leaves.size();
                i = ParseItem(i + 1);
                continue;
            }
            const bool left = IsKeyword(m_t[i], "LEFT");
            const bool right = IsKeyword(m_t[i], "RIGHT");
            if (!left && !right && !IsKeyword(m_t[i], "INNER") && !IsKeyword(m_t[i], "JOIN"))
                break;
            if (!IsKeyword(m_t[i], "JOIN"))
                ++i;
            if (i < m_end && IsKeyword(m_t[i], "OUTER"))
                ++i;
            if (i >= m_end || !IsKeyword(m_t[i], "JOIN"))
                ThrowSyntax(m_jetSql, QStringLiteral("JOIN expected"));
            const size_t rightFirst = m_leaves.size();
            i = ParseItem(i + 1);
            if (i >= m_end || !IsKeyword(m_t[i], "ON"))
                ThrowSyntax(m_jetSql, QStringLiteral("ON expected"));
            const size_t onBegin = i + 1;
            i = SkipToJoinBoundary(m_t, onBegin, m_end);
            const auto mark = [&](size_t from, size_t to) {
                for (size_t k = from; k < to; ++k)
                    m_leaves[k].nullable = true;
                if (to - from == 1)
                {
                    m_leaves[from].hasOn = true;
                    m_leaves[from].onBegin = onBegin;
                    m_leaves[from].onEnd = i;
                }
            };
            if (left)
                mark(rightFirst, m_leaves.size());
            else if (right)
                mark(first, rightFirst);
        }
        return i;
    }

    size_t ParseItem(size_t i)
    {
        if (i >= m_end)
            ThrowSyntax(m_jetSql, QStringLiteral("table expected"));
        if (m_t[i].kind == Kind::Open)
        {
            if (i + 1 < m_end && IsKeyword(m_t[i + 1], "SELECT"))
            {
                return ReadAlias(MatchingClose(m_t, i, m_end) + 1, Leaf{});
            }
            const size_t after = ParseSource(i + 1);
            if (after >= m_end || m_t[after].kind != Kind::Close)
                ThrowSyntax(m_jetSql, QStringLiteral("')' expected"));
            return after + 1;
        }
        if (m_t[i].kind != Kind::Name)
            ThrowSyntax(m_jetSql, QStringLiteral("table expected"));
        Leaf leaf;
        leaf.table = Unquote(m_t[i]);
        leaf.alias = leaf.table;
        return ReadAlias(i + 1, leaf);
    }

    size_t ReadAlias(size_t i, Leaf leaf)
    {
        if (i < m_end && IsKeyword(m_t[i], "AS"))
            ++i;
        if (i < m_end && m_t[i].kind == Kind::Name)
            leaf.alias = Unquote(m_t[i++]);
        m_leaves.push_back(leaf);
        return i;
    }


    const std::vector<Token>& m_t;
    size_t m_end;
    const QString& m_jetSql;
};

std::vector<Token> Slice(const std::vector<Token>& t, size_t begin, size_t end)
{
    return std::vector<Token>(t.begin() + static_cast<std::ptrdiff_t>(begin), t.begin() + static_cast<std::ptrdiff_t>(end));
}

std::vector<Token> RewriteRightJoins(const std::vector<Token>& t);

// A FROM clause (or an UPDATE's tables) as a tree, written out again with every "A RIGHT JOIN B
// ON c" turned into "B LEFT JOIN A ON c". The result is the same; SQLite, though, runs a right
// join whose left side is a parenthesised join by scanning that join once per row of the other
// side, which the list queries of a large catalogue cannot afford.
class CRightJoinRewriter
{
public:
    CRightJoinRewriter(const std::vector<Token>& tokens, size_t begin, size_t end) : m_t(tokens), m_end(end), m_i(begin) {}

    // Empty when the clause is not one this reads (it is then left as written).
    std::optional<std::vector<Token>> Rewrite()
    {
        std::vector<Token> out;
        if (!ParseList(out) || m_i != m_end)
            return std::nullopt;
        return out;
    }

private:
    struct Node
    {
        std::vector<Token> tokens; // written out, without enclosing parentheses
        bool isJoin = false;
    };

    static std::vector<Token> Operand(const Node& node)
    {
        if (!node.isJoin)
            return node.tokens;
        std::vector<Token> wrapped{{Kind::Open, QStringLiteral("(")}};
        wrapped.insert(wrapped.end(), node.tokens.begin(), node.tokens.end());
        wrapped.push_back({Kind::Close, QStringLiteral(")")});
        return wrapped;
    }

    bool ParseList(std::vector<Token>& out)
    {
        Node chain;
        if (!ParseChain(chain))
            return false;
        out = Operand(chain);
        while (m_i < m_end && m_t[m_i].kind == Kind::Comma)
        {
            ++m_i;
            if (!ParseChain(chain))
                return false;
            out.push_back({Kind::Comma, QStringLiteral(",")});
            const std::vector<Token> operand = Operand(chain);
            out.insert(out.end(), operand.begin(), operand.end());
        }
        return true;
    }

    bool ParseChain(Node& node)
    {
        if (!ParseItem(node))
            return false;
        while (m_i < m_end)
        {
            const bool right = IsKeyword(m_t[m_i], "RIGHT");
            std::vector<Token> type;
            if (IsKeyword(m_t[m_i], "LEFT") || right || IsKeyword(m_t[m_i], "INNER"))
                type.push_back(m_t[m_i++]);
            else if (!IsKeyword(m_t[m_i], "JOIN"))
                break;
            if (m_i < m_end && IsKeyword(m_t[m_i], "OUTER"))
                type.push_back(m_t[m_i++]);
            if (m_i >= m_end || !IsKeyword(m_t[m_i], "JOIN"))
                return false;
            type.push_back(m_t[m_i++]);
            Node other;
            if (!ParseItem(other) || m_i >= m_end || !IsKeyword(m_t[m_i], "ON"))
                return false;
            const size_t onBegin = m_i;
            m_i = SkipToJoinBoundary(m_t, m_i + 1, m_end);
            if (right)
            {
                type = {{Kind::Keyword, QStringLiteral("LEFT")}, {Kind::Keyword, QStringLiteral("JOIN")}};
                std::swap(node, other);
            }
            Node joined;
            joined.isJoin = true;
            joined.tokens = node.tokens; // the left operand of a chain needs no parentheses
            joined.tokens.insert(joined.tokens.end(), type.begin(), type.end());
            const std::vector<Token> operand = Operand(other);
            joined.tokens.insert(joined.tokens.end(), operand.begin(), operand.end());
            joined.tokens.insert(joined.tokens.end(), m_t.begin() + static_cast<std::ptrdiff_t>(onBegin),
                                 m_t.begin() + static_cast<std::ptrdiff_t>(m_i));
            node = std::move(joined);
        }
        return true;
    }

    bool ParseItem(Node& node)
    {
        node = Node{};
        if (m_i >= m_end)
            return false;
        if (m_t[m_i].kind == Kind::Open)
        {
            if (m_i + 1 < m_end && IsKeyword(m_t[m_i + 1], "SELECT"))
            {
                const size_t j = MatchingClose(m_t, m_i, m_end);
                if (j >= m_end)
                    return false;
                node.tokens.push_back(m_t[m_i]);
                const std::vector<Token> inner = RewriteRightJoins(Slice(m_t, m_i + 1, j));
                node.tokens.insert(node.tokens.end(), inner.begin(), inner.end());
                node.tokens.push_back(m_t[j]);
                m_i = j + 1;
                ReadAlias(node);
                return true;
            }
            ++m_i;
            std::vector<Token> inner;
            if (!ParseList(inner) || m_i >= m_end || m_t[m_i].kind != Kind::Close)
                return false;
            ++m_i;
            node.tokens = inner;
            // A parenthesised join stays one operand; a lone table in parentheses is a table.
            node.isJoin = inner.size() > 3;
            return true;
        }
        if (m_t[m_i].kind != Kind::Name)
            return false;
        node.tokens.push_back(m_t[m_i++]);
        ReadAlias(node);
        return true;
    }

    void ReadAlias(Node& node)
    {
        if (m_i < m_end && IsKeyword(m_t[m_i], "AS"))
            node.tokens.push_back(m_t[m_i++]);
        if (m_i < m_end && m_t[m_i].kind == Kind::Name)
            node.tokens.push_back(m_t[m_i++]);
    }


    const std::vector<Token>& m_t;
    size_t m_end;
    size_t m_i;
};

// Whether the select list that a FROM at index from belongs to has a bare "*", whose column order
// would follow the order of the tables.
bool SelectsBareStar(const std::vector<Token>& t, size_t from)
{
    int depth = 0;
    for (size_t i = from; i-- > 0;)
    {
        if (t[i].kind == Kind::Close)
            ++depth;
        else if (t[i].kind == Kind::Open)
        {
            if (depth == 0)
                return false;
            --depth;
        }
        else if (depth == 0 && IsKeyword(t[i], "SELECT"))
            return false;
        else if (depth == 0 && t[i].kind == Kind::Op && t[i].text == QLatin1String("*") && !(i > 0 && t[i - 1].kind == Kind::Dot))
            return true;
    }
    return false;
}

std::vector<Token> RewriteRightJoins(const std::vector<Token>& t)
{
    std::vector<Token> out;
    out.reserve(t.size());
    for (size_t i = 0; i < t.size();)
    {
        if (!IsKeyword(t[i], "FROM") && !IsKeyword(t[i], "UPDATE"))
        {
            out.push_back(t[i++]);
            continue;
        }
        const size_t end = FindPartEnd(t, i + 1, t.size(), [](const Token& x) {
            return IsKeyword(x, "WHERE") || IsKeyword(x, "GROUP") || IsKeyword(x, "ORDER") || IsKeyword(x, "HAVING") ||
                   IsKeyword(x, "SET") || IsKeyword(x, "UNION");
        });
        out.push_back(t[i]);
        std::optional<std::vector<Token>> rewritten;
        if (!(IsKeyword(t[i], "FROM") && SelectsBareStar(t, i)))
            rewritten = CRightJoinRewriter(t, i + 1, end).Rewrite();
        if (rewritten)
            out.insert(out.end(), rewritten->begin(), rewritten->end());
        else
            out.insert(out.end(), t.begin() + static_cast<std::ptrdiff_t>(i) + 1, t.begin() + static_cast<std::ptrdiff_t>(end));
        i = end;
    }
    return out;
}

// Drops parentheses that enclose the whole of an expression.
std::vector<Token> StripOuterParens(std::vector<Token> e)
{
    while (e.size() >= 2 && e.front().kind == Kind::Open && MatchingClose(e, 0, e.size()) == e.size() - 1)
        e = Slice(e, 1, e.size() - 1);
    return e;
}

// The expressions joined by AND at the top level of e.
std::vector<std::vector<Token>> Conjuncts(const std::vector<Token>& e)
{
    std::vector<std::vector<Token>> parts;
    const std::vector<Token> whole = StripOuterParens(e);
    size_t begin = 0;
    for (;;)
    {
        const size_t at = FindTopLevel(whole, begin, whole.size(), [](const Token& t) { return IsKeyword(t, "AND"); });
        parts.push_back(StripOuterParens(Slice(whole, begin, at)));
        if (at == whole.size())
            return parts;
        begin = at + 1;
    }
}

bool IsColumnOf(const std::vector<Token>& e, const QString& alias, QString* column)
{
    if (e.size() != 3 || e[0].kind != Kind::Name || e[1].kind != Kind::Dot || e[2].kind != Kind::Name ||
        Unquote(e[0]).compare(alias, Qt::CaseInsensitive) != 0)
        return false;
    *column = Unquote(e[2]);
    return true;
}

void Append(std::vector<Token>& to, const std::vector<Token>& what)
{
    to.insert(to.end(), what.begin(), what.end());
}

std::vector<Token> Words(std::initializer_list<Token> tokens)
{
    return std::vector<Token>(tokens);
}

// UPDATE <join tree> SET ... [WHERE ...] as SQLite statements; empty when the UPDATE names one
// table only and needs no rewriting.
std::vector<std::vector<Token>> RewriteJoinUpdate(const std::vector<Token>& t, const QString& jetSql, const CJetSchema& schema,
                                                  std::vector<bool>& counts)
{
    if (t.empty() || !IsKeyword(t[0], "UPDATE"))
        return {};
    const size_t set = FindTopLevel(t, 1, t.size(), [](const Token& x) { return IsKeyword(x, "SET"); });
    if (set == t.size())
        ThrowSyntax(jetSql, QStringLiteral("SET expected"));
    if (set == 2 && t[1].kind == Kind::Name)
        return {};
    const size_t where = FindTopLevel(t, set + 1, t.size(), [](const Token& x) { return IsKeyword(x, "WHERE"); });

    CJoinTree tree(t, set, jetSql);
    tree.Parse(1);

    // The assignments: all must name columns of one table of the tree.
    struct Assignment
    {
        QString column;
        std::vector<Token> value;
    };
    std::vector<Assignment> assignments;
    QString alias;
    for (size_t begin = set + 1; begin < where;)
    {
        const size_t end = FindTopLevel(t, begin, where, [](const Token& x) { return x.kind == Kind::Comma; });
        const size_t eq = FindTopLevel(t, begin, end, [](const Token& x) { return x.kind == Kind::Op && x.text == QLatin1String("="); });
        const std::vector<Token> target = Slice(t, begin, eq);
        if (eq == end || target.size() != 3 || target[1].kind != Kind::Dot)
            throw CDbException(3073, QStringLiteral("Operation must use an updateable query (each SET names a column as table.column)."));
        const QString targetAlias = Unquote(target[0]);
        if (!alias.isEmpty() && alias.compare(targetAlias, Qt::CaseInsensitive) != 0)
            throw CDbException(3073, QStringLiteral("Operation must use an updateable query (SET names more than one table)."));
        alias = targetAlias;
        assignments.push_back({Unquote(target[2]), Slice(t, eq + 1, end)});
        begin = end < where ? end + 1 : end;
    }
    const CJoinTree::Leaf* leaf = nullptr;
    for (const CJoinTree::Leaf& l : tree.m_leaves)
        if (l.alias.compare(alias, Qt::CaseInsensitive) == 0)
            leaf = &l;
    if (!leaf || leaf->table.isEmpty())
        throw CDbException(3073, QStringLiteral("Operation must use an updateable query ('%1' is not a table of it).").arg(alias));

    // The join's key columns that SET leaves out, filled from the other side for inserted rows.
    std::vector<Assignment> keys;
    if (leaf->nullable && leaf->hasOn)
    {
        for (const std::vector<Token>& c : Conjuncts(Slice(t, leaf->onBegin, leaf->onEnd)))
        {
            const size_t eq = FindTopLevel(c, 0, c.size(), [](const Token& x) { return x.kind == Kind::Op && x.text == QLatin1String("="); });
            if (eq == c.size())
                continue;
            const std::vector<Token> lhs = Slice(c, 0, eq);
            const std::vector<Token> rhs = Slice(c, eq + 1, c.size());
            QString column;
            std::vector<Token> value;
            if (IsColumnOf(lhs, alias, &column))
                value = rhs;
            else if (IsColumnOf(rhs, alias, &column))
                value = lhs;
            else
                continue;
            QString other;
            if (IsColumnOf(value, alias, &other))
                continue;
            const bool set = std::any_of(assignments.begin(), assignments.end(), [&](const Assignment& a) {
                return a.column.compare(column, Qt::CaseInsensitive) == 0;
            });
            const bool known = std::any_of(keys.begin(), keys.end(), [&](const Assignment& a) {
                return a.column.compare(column, Qt::CaseInsensitive) == 0;
            });
            if (!set && !known)
                keys.push_back({column, value});
        }
    }

    const Token table{Kind::Name, QuoteIdentifier(leaf->table)};
    const Token src{Kind::Name, QStringLiteral("\"jet_src\"")};
    // Rows are told by their primary key: a table inside a parenthesised join has no rowid to name.
    QStringList key = schema.PrimaryKey(leaf->table);
    if (key.isEmpty())
        key << QStringLiteral("rowid");
    const auto keyName = [&](qsizetype k) {
        return k == 0 && key.front() == QLatin1String("rowid") ? Token{Kind::Name, QStringLiteral("rowid")}
                                                              : Token{Kind::Name, QuoteIdentifier(key[k])};
    };
    const auto keyAlias = [](qsizetype k) { return Token{Kind::Name, QStringLiteral("\"jet_k%1\"").arg(k)}; };
    const Token dot{Kind::Dot, QStringLiteral(".")};
    const Token comma{Kind::Comma, QStringLiteral(",")};
    const Token as{Kind::Keyword, QStringLiteral("AS")};
    const Token open{Kind::Open, QStringLiteral("(")};
    const Token close{Kind::Close, QStringLiteral(")")};
    const auto value = [](size_t k) { return Token{Kind::Name, QStringLiteral("\"jet_v%1\"").arg(k)}; };

    // SELECT alias.key AS jet_k0, ..., (v1) AS jet_v1, ... FROM <tree> [WHERE ...]
    std::vector<Token> select{{Kind::Keyword, QStringLiteral("SELECT")}};
    for (qsizetype k = 0; k < key.size(); ++k)
    {
        if (k > 0)
            select.push_back(comma);
        Append(select, Words({{Kind::Name, QuoteIdentifier(alias)}, dot, keyName(k), as, keyAlias(k)}));
    }
    const bool outer = leaf->nullable;
    const size_t valueCount = assignments.size() + (outer ? keys.size() : 0);
    for (size_t k = 0; k < valueCount; ++k)
    {
        select.push_back(comma);
        select.push_back(open);
        Append(select, k < assignments.size() ? assignments[k].value : keys[k - assignments.size()].value);
        select.push_back(close);
        select.push_back(as);
        select.push_back(value(k));
    }
    select.push_back({Kind::Keyword, QStringLiteral("FROM")});
    Append(select, Slice(t, 1, set));
    Append(select, Slice(t, where, t.size()));

    // UPDATE table SET c = jet_src.v, ... FROM <source> AS jet_src WHERE table.key = jet_src.jet_k0 AND ...
    const auto update = [&](const std::vector<Token>& source) {
        std::vector<Token> u = Words({{Kind::Keyword, QStringLiteral("UPDATE")}, table, {Kind::Keyword, QStringLiteral("SET")}});
        for (size_t k = 0; k < assignments.size(); ++k)
        {
            if (k > 0)
                u.push_back(comma);
            Append(u, Words({{Kind::Name, QuoteIdentifier(assignments[k].column)}, {Kind::Op, QStringLiteral("=")}, src, dot, value(k)}));
        }
        u.push_back({Kind::Keyword, QStringLiteral("FROM")});
        Append(u, source);
        Append(u, Words({as, src, {Kind::Keyword, QStringLiteral("WHERE")}}));
        for (qsizetype k = 0; k < key.size(); ++k)
        {
            if (k > 0)
                u.push_back({Kind::Keyword, QStringLiteral("AND")});
            Append(u, Words({table, dot, keyName(k), {Kind::Op, QStringLiteral("=")}, src, dot, keyAlias(k)}));
        }
        return u;
    };

    std::vector<std::vector<Token>> statements;
    if (!outer)
    {
        std::vector<Token> source{open};
        Append(source, select);
        source.push_back(close);
        statements.push_back(update(source));
        counts = {true};
        return statements;
    }

    const Token temp{Kind::Name, QStringLiteral("temp.\"jet_update\"")};
    statements.push_back(Words({{Kind::Keyword, QStringLiteral("DROP TABLE IF EXISTS")}, temp}));
    std::vector<Token> create = Words({{Kind::Keyword, QStringLiteral("CREATE TEMP TABLE")}, {Kind::Name, QStringLiteral("\"jet_update\"")}, as});
    Append(create, select);
    statements.push_back(create);
    statements.push_back(update({temp}));
    std::vector<Token> insert = Words({{Kind::Keyword, QStringLiteral("INSERT INTO")}, table, open});
    for (size_t k = 0; k < valueCount; ++k)
    {
        if (k > 0)
            insert.push_back(comma);
        insert.push_back({Kind::Name, QuoteIdentifier(k < assignments.size() ? assignments[k].column : keys[k - assignments.size()].column)});
    }
    Append(insert, Words({close, {Kind::Keyword, QStringLiteral("SELECT DISTINCT")}}));
    for (size_t k = 0; k < valueCount; ++k)
    {
        if (k > 0)
            insert.push_back(comma);
        insert.push_back(value(k));
    }
    Append(insert, Words({{Kind::Keyword, QStringLiteral("FROM")}, temp, {Kind::Keyword, QStringLiteral("WHERE")}, keyAlias(0),
                          {Kind::Keyword, QStringLiteral("IS NULL")}}));
    statements.push_back(insert);
    statements.push_back(Words({{Kind::Keyword, QStringLiteral("DROP TABLE")}, temp}));
    counts = {false, false, true, true, false};
    return statements;
}
} // namespace

CJetTranslation CJetSql::TranslateStatement(const QString& jetSql, const CJetSchema& schema)
{
    CLevelTranslator level(schema);
    std::vector<Token> tokens = RewriteRightJoins(level.Translate(jetSql));
    RewriteConcat(tokens, jetSql);

    // Plain "?" get numbers in the order they are written, so that a rewritten statement that
    // moves expressions around still binds them by position.
    int positional = 0;
    int highest = 0;
    for (Token& t : tokens)
    {
        if (t.kind != Kind::Literal || !t.text.startsWith(QLatin1Char('?')))
            continue;
        if (t.text.size() == 1)
            t.text = QStringLiteral("?%1").arg(++positional);
        highest = std::max(highest, t.text.mid(1).toInt());
    }

    CJetTranslation result;
    result.isSelect = !tokens.empty() && IsKeyword(tokens[0], "SELECT");
    std::vector<std::vector<Token>> statements = RewriteJoinUpdate(tokens, jetSql, schema, result.countsChanges);
    if (statements.empty())
    {
        StripSetQualifiers(tokens);
        statements.push_back(tokens);
        result.countsChanges = {true};
    }
    result.parameters = level.m_parameters;
    result.parameterTypes = level.m_types;
    result.firstParameter = highest + 1;
    for (std::vector<Token>& statement : statements)
    {
        for (Token& t : statement)
        {
            if (t.kind != Kind::Param)
                continue;
            const qsizetype index = result.parameters.indexOf(t.text);
            t = {Kind::Literal, QStringLiteral("?%1").arg(result.firstParameter + index)};
        }
        result.statements.append(Join(statement));
    }
    return result;
}
