#include "database/JetSqlNames.h"

#include "common/DbException.h"
#include "database/DbErrors.h"
#include "database/JetSql.h"
#include "database/JetSqlRewrites.h"

#include <QSet>

namespace JetSqlDetail
{
namespace
{
struct Declared
{
    QString name;
    QString type;
};

// Takes a leading "PARAMETERS name type, ...;" off the raw tokens and returns its declarations.
std::vector<Declared> TakeParameters(std::vector<Token>& raw, const QString& jetSql)
{
    if (raw.empty() || raw[0].kind != Kind::Name ||
        raw[0].text.compare(QLatin1String("PARAMETERS"), Qt::CaseInsensitive) != 0)
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
        while (i < raw.size() &&
               !(depth == 0 && (raw[i].kind == Kind::Comma || raw[i].kind == Kind::Semicolon)))
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
} // namespace

std::vector<Token> CLevelTranslator::Translate(const QString& jetSql)
{
    std::vector<Token> raw = Tokenize(jetSql);
    for (const Declared& d : TakeParameters(raw, jetSql))
        AddParameter(d.name, d.type, true);
    std::vector<Token> tokens = Classify(raw);
    DropTrailingSemicolons(tokens);

    // Names the statement defines itself: aliases after AS, or right after a name or ")".
    QSet<QString> aliases;
    for (size_t i = 1; i < tokens.size(); ++i)
        if (tokens[i].kind == Kind::Name && IsAliasDefinition(tokens, i))
            aliases.insert(Unquote(tokens[i]).toLower());

    std::vector<Token> out;
    out.reserve(tokens.size());
    bool inTableList = false;      // after FROM or UPDATE, until the clause ends
    const Token* before = nullptr; // the token before this one, leaving out "("
    for (size_t i = 0; i < tokens.size(); ++i)
    {
        const Token& t = tokens[i];
        const Token* previous = before;
        if (t.kind != Kind::Open)
            before = &t;
        if (t.kind == Kind::Keyword)
        {
            if (t.text == QLatin1String("FROM") || t.text == QLatin1String("UPDATE") ||
                t.text == QLatin1String("JOIN"))
                inTableList = true;
            else if (t.text == QLatin1String("WHERE") || t.text == QLatin1String("GROUP") ||
                     t.text == QLatin1String("ORDER") || t.text == QLatin1String("HAVING") ||
                     t.text == QLatin1String("SET") || t.text == QLatin1String("ON") ||
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
            previous &&
            ((previous->kind == Kind::Keyword &&
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
            const bool aliased =
                i + 1 < tokens.size() && (IsKeyword(tokens[i + 1], "AS") || tokens[i + 1].kind == Kind::Name);
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

bool CLevelTranslator::IsAliasDefinition(const std::vector<Token>& tokens, size_t i)
{
    if (i == 0 || tokens[i].kind != Kind::Name)
        return false;
    const Token& prev = tokens[i - 1];
    return IsKeyword(prev, "AS") || prev.kind == Kind::Close || prev.kind == Kind::Name;
}

QString CLevelTranslator::AddParameter(const QString& name, const QString& type, bool declared)
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
} // namespace JetSqlDetail
