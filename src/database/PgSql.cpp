#include "database/PgSql.h"

#include "database/DbAddress.h"

#include <QRegularExpression>

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
} // namespace

CPgText PgSql::FromEngineSql(const QString& sql, const QHash<QString, QString>& names)
{
    QList<PgToken> tokens = Tokens(sql);
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

    QString text;
    bool skipConflicts = false;
    for (qsizetype i = 0; i < tokens.size(); ++i)
    {
        const PgToken& token = tokens[i];
        if (IsWord(token, "jet_concat"))
        {
            text += QLatin1String("concat");
            continue;
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
        if (!IsWord(token, "LIKE"))
        {
            text += token.text;
            continue;
        }
        // a [NOT] LIKE b, with simple operands: the operands as they were, wrapped.
        qsizetype leftLast = PreviousSolid(tokens, i);
        bool negated = false;
        if (leftLast >= 0 && IsWord(tokens[leftLast], "NOT"))
        {
            negated = true;
            leftLast = PreviousSolid(tokens, leftLast);
        }
        const qsizetype rightFirst = NextSolid(tokens, i);
        if (leftLast < 0 || rightFirst < 0 || !IsOperand(tokens[leftLast]) || !IsOperand(tokens[rightFirst]))
        {
            text += token.text;
            continue;
        }
        const qsizetype leftFirst = OperandStart(tokens, leftLast);
        const qsizetype rightLast = OperandEnd(tokens, rightFirst);
        const QString left = Join(tokens, leftFirst, leftLast);
        // Take back what was already written for the left operand (and NOT).
        QString written = Join(tokens, leftFirst, i - 1);
        text.chop(written.size());
        text +=
            QStringLiteral("%1jet_like(%2, %3)")
                .arg(negated ? QStringLiteral("NOT ") : QString(), Join(tokens, rightFirst, rightLast), left);
        i = rightLast;
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
