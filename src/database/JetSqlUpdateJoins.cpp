#include "database/JetSqlUpdateJoins.h"

#include "common/DbException.h"
#include "database/DbErrorCodes.h"
#include "database/JetSql.h"

#include <algorithm>

namespace JetSqlDetail
{
namespace
{
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
            const auto mark = [&](size_t from, size_t to)
            {
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
        const size_t at =
            FindTopLevel(whole, begin, whole.size(), [](const Token& t) { return IsKeyword(t, "AND"); });
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
} // namespace

// UPDATE <join tree> SET ... [WHERE ...] as SQLite statements; empty when the UPDATE names one
// table only and needs no rewriting.
std::vector<std::vector<Token>> RewriteJoinUpdate(const std::vector<Token>& t, const QString& jetSql,
                                                  const CJetSchema& schema, std::vector<bool>& counts)
{
    if (t.empty() || !IsKeyword(t[0], "UPDATE"))
        return {};
    const size_t set = FindTopLevel(t, 1, t.size(), [](const Token& x) { return IsKeyword(x, "SET"); });
    if (set == t.size())
        ThrowSyntax(jetSql, QStringLiteral("SET expected"));
    if (set == 2 && t[1].kind == Kind::Name)
        return {};
    const size_t where =
        FindTopLevel(t, set + 1, t.size(), [](const Token& x) { return IsKeyword(x, "WHERE"); });

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
        const size_t end =
            FindTopLevel(t, begin, where, [](const Token& x) { return x.kind == Kind::Comma; });
        const size_t eq = FindTopLevel(
            t, begin, end, [](const Token& x) { return x.kind == Kind::Op && x.text == QLatin1String("="); });
        const std::vector<Token> target = Slice(t, begin, eq);
        if (eq == end || target.size() != 3 || target[1].kind != Kind::Dot)
            throw CDbException(
                DbErrors::kNotUpdatable,
                QStringLiteral(
                    "Operation must use an updateable query (each SET names a column as table.column)."));
        const QString targetAlias = Unquote(target[0]);
        if (!alias.isEmpty() && alias.compare(targetAlias, Qt::CaseInsensitive) != 0)
            throw CDbException(
                DbErrors::kNotUpdatable,
                QStringLiteral("Operation must use an updateable query (SET names more than one table)."));
        alias = targetAlias;
        assignments.push_back({Unquote(target[2]), Slice(t, eq + 1, end)});
        begin = end < where ? end + 1 : end;
    }
    const CJoinTree::Leaf* leaf = nullptr;
    for (const CJoinTree::Leaf& l : tree.m_leaves)
        if (l.alias.compare(alias, Qt::CaseInsensitive) == 0)
            leaf = &l;
    if (!leaf || leaf->table.isEmpty())
        throw CDbException(
            DbErrors::kNotUpdatable,
            QStringLiteral("Operation must use an updateable query ('%1' is not a table of it).").arg(alias));

    // The join's key columns that SET leaves out, filled from the other side for inserted rows.
    std::vector<Assignment> keys;
    if (leaf->nullable && leaf->hasOn)
    {
        for (const std::vector<Token>& c : Conjuncts(Slice(t, leaf->onBegin, leaf->onEnd)))
        {
            const size_t eq = FindTopLevel(c, 0, c.size(),
                                           [](const Token& x)
                                           { return x.kind == Kind::Op && x.text == QLatin1String("="); });
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
            const bool set = std::any_of(assignments.begin(), assignments.end(),
                                         [&](const Assignment& a)
                                         { return a.column.compare(column, Qt::CaseInsensitive) == 0; });
            const bool known = std::any_of(keys.begin(), keys.end(),
                                           [&](const Assignment& a)
                                           { return a.column.compare(column, Qt::CaseInsensitive) == 0; });
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
    const auto keyName = [&](qsizetype k)
    {
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
    const auto update = [&](const std::vector<Token>& source)
    {
        std::vector<Token> u =
            Words({{Kind::Keyword, QStringLiteral("UPDATE")}, table, {Kind::Keyword, QStringLiteral("SET")}});
        for (size_t k = 0; k < assignments.size(); ++k)
        {
            if (k > 0)
                u.push_back(comma);
            Append(u, Words({{Kind::Name, QuoteIdentifier(assignments[k].column)},
                             {Kind::Op, QStringLiteral("=")},
                             src,
                             dot,
                             value(k)}));
        }
        u.push_back({Kind::Keyword, QStringLiteral("FROM")});
        Append(u, source);
        Append(u, Words({as, src, {Kind::Keyword, QStringLiteral("WHERE")}}));
        for (qsizetype k = 0; k < key.size(); ++k)
        {
            if (k > 0)
                u.push_back({Kind::Keyword, QStringLiteral("AND")});
            Append(u,
                   Words({table, dot, keyName(k), {Kind::Op, QStringLiteral("=")}, src, dot, keyAlias(k)}));
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
    std::vector<Token> create = Words({{Kind::Keyword, QStringLiteral("CREATE TEMP TABLE")},
                                       {Kind::Name, QStringLiteral("\"jet_update\"")},
                                       as});
    Append(create, select);
    statements.push_back(create);
    statements.push_back(update({temp}));
    std::vector<Token> insert = Words({{Kind::Keyword, QStringLiteral("INSERT INTO")}, table, open});
    for (size_t k = 0; k < valueCount; ++k)
    {
        if (k > 0)
            insert.push_back(comma);
        insert.push_back(
            {Kind::Name, QuoteIdentifier(k < assignments.size() ? assignments[k].column
                                                                : keys[k - assignments.size()].column)});
    }
    Append(insert, Words({close, {Kind::Keyword, QStringLiteral("SELECT DISTINCT")}}));
    for (size_t k = 0; k < valueCount; ++k)
    {
        if (k > 0)
            insert.push_back(comma);
        insert.push_back(value(k));
    }
    Append(insert, Words({{Kind::Keyword, QStringLiteral("FROM")},
                          temp,
                          {Kind::Keyword, QStringLiteral("WHERE")},
                          keyAlias(0),
                          {Kind::Keyword, QStringLiteral("IS NULL")}}));
    statements.push_back(insert);
    statements.push_back(Words({{Kind::Keyword, QStringLiteral("DROP TABLE")}, temp}));
    counts = {false, false, true, true, false};
    return statements;
}
} // namespace JetSqlDetail
