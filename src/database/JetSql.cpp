#include "database/JetSql.h"

#include "database/JetSqlLexer.h"
#include "database/JetSqlNames.h"
#include "database/JetSqlRewrites.h"
#include "database/JetSqlRightJoins.h"
#include "database/JetSqlUpdateJoins.h"

#include <QHash>
#include <QMutex>

// A statement goes through the pieces in this order: JetSqlLexer reads the text into tokens,
// JetSqlNames resolves the parameters and stored queries a database gives the names of,
// JetSqlRewrites gives the words their roles and rewrites Jet's expressions, JetSqlRightJoins turns
// right joins round, JetSqlUpdateJoins rewrites an UPDATE through joins; JetSqlLexer writes the
// tokens out again.
using namespace JetSqlDetail;

QString CJetSql::TranslateUncached(const QString& jetSql)
{
    std::vector<Token> tokens = Classify(Tokenize(jetSql));
    DropTrailingSemicolons(tokens);
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

CJetTranslation CJetSql::TranslateStatement(const QString& jetSql, const CJetSchema& schema)
{
    CLevelTranslator level(schema);
    std::vector<Token> tokens = RewriteRightJoins(level.Translate(jetSql));
    RewriteConcat(tokens, jetSql);

    // Plain "?" get numbers in the order they are written, so that a rewritten statement that
    // moves expressions around still binds them by position.
    const int highest = NumberPositionalParameters(tokens);

    CJetTranslation result;
    result.isSelect = !tokens.empty() && IsKeyword(tokens[0], "SELECT");
    std::vector<std::vector<Token>> statements =
        RewriteJoinUpdate(tokens, jetSql, schema, result.countsChanges);
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
