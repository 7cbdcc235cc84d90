#include "database/JetSqlRewrites.h"

#include <QSet>

#include <algorithm>

namespace JetSqlDetail
{
namespace
{
const QSet<QString>& Keywords()
{
    static const QSet<QString> keywords = {
        QStringLiteral("SELECT"),  QStringLiteral("DISTINCT"), QStringLiteral("AS"),
        QStringLiteral("FROM"),    QStringLiteral("WHERE"),    QStringLiteral("AND"),
        QStringLiteral("OR"),      QStringLiteral("NOT"),      QStringLiteral("LIKE"),
        QStringLiteral("IS"),      QStringLiteral("NULL"),     QStringLiteral("IN"),
        QStringLiteral("BETWEEN"), QStringLiteral("INNER"),    QStringLiteral("LEFT"),
        QStringLiteral("RIGHT"),   QStringLiteral("OUTER"),    QStringLiteral("JOIN"),
        QStringLiteral("ON"),      QStringLiteral("HAVING"),   QStringLiteral("ASC"),
        QStringLiteral("DESC"),    QStringLiteral("INSERT"),   QStringLiteral("INTO"),
        QStringLiteral("VALUES"),  QStringLiteral("UPDATE"),   QStringLiteral("SET"),
        QStringLiteral("DELETE"),  QStringLiteral("UNION"),    QStringLiteral("ALL"),
        QStringLiteral("EXISTS"),  QStringLiteral("BY"),
    };
    return keywords;
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
               t.text == QLatin1String("<=") || t.text == QLatin1String(">=") ||
               t.text == QLatin1String("<>") || t.text == QLatin1String("&");
    default:
        return false;
    }
}
} // namespace

std::vector<Token> Classify(const std::vector<Token>& in)
{
    std::vector<Token> out;
    const auto nextIs = [&](size_t i, Kind kind, const char* text = nullptr)
    {
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
                out.push_back({Kind::Literal,
                               upper == QLatin1String("TRUE") ? QStringLiteral("1") : QStringLiteral("0")});
                continue;
            }
            if (upper == QLatin1String("DISTINCTROW"))
                continue;
            if (upper == QLatin1String("MOD"))
            {
                out.push_back({Kind::Op, QStringLiteral("%")});
                continue;
            }
            if ((upper == QLatin1String("ORDER") || upper == QLatin1String("GROUP")) &&
                nextIs(i, Kind::Name, "BY"))
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
            const bool afterInto =
                !out.empty() && out.back().kind == Kind::Keyword && out.back().text == QLatin1String("INTO");
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

void DropTrailingSemicolons(std::vector<Token>& tokens)
{
    while (!tokens.empty() && tokens.back().kind == Kind::Semicolon)
        tokens.pop_back();
}

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
            tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i),
                         tokens.begin() + static_cast<std::ptrdiff_t>(i) + 2);
        atTarget = false;
    }
}

void RewriteConcat(std::vector<Token>& tokens, const QString& jetSql)
{
    for (;;)
    {
        size_t amp = 0;
        while (amp < tokens.size() &&
               !(tokens[amp].kind == Kind::Op && tokens[amp].text == QLatin1String("&")))
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

        std::vector<std::vector<Token>> operands(
            1, std::vector<Token>(tokens.begin() + begin, tokens.begin() + amp));
        size_t end = amp;
        while (end < tokens.size() && tokens[end].kind == Kind::Op && tokens[end].text == QLatin1String("&"))
        {
            const size_t j = FindPartEnd(tokens, end + 1, tokens.size(), EndsConcatOperand);
            if (j == end + 1)
                ThrowSyntax(jetSql, QStringLiteral("missing operand of &"));
            operands.emplace_back(tokens.begin() + end + 1, tokens.begin() + j);
            end = j;
        }

        std::vector<Token> call{{Kind::Function, QStringLiteral("jet_concat")},
                                {Kind::Open, QStringLiteral("(")}};
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

int NumberPositionalParameters(std::vector<Token>& tokens)
{
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
    return highest;
}
} // namespace JetSqlDetail
