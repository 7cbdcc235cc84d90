#include "database/JetSqlRightJoins.h"

#include <optional>

namespace JetSqlDetail
{
namespace
{
// A FROM clause (or an UPDATE's tables) as a tree, written out again with every "A RIGHT JOIN B
// ON c" turned into "B LEFT JOIN A ON c". The result is the same; SQLite, though, runs a right
// join whose left side is a parenthesised join by scanning that join once per row of the other
// side, which the list queries of a large catalogue cannot afford.
class CRightJoinRewriter
{
public:
    CRightJoinRewriter(const std::vector<Token>& tokens, size_t begin, size_t end)
        : m_t(tokens), m_end(end), m_i(begin)
    {
    }

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
        else if (depth == 0 && t[i].kind == Kind::Op && t[i].text == QLatin1String("*") &&
                 !(i > 0 && t[i - 1].kind == Kind::Dot))
            return true;
    }
    return false;
}
} // namespace

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
        const size_t end = FindPartEnd(t, i + 1, t.size(),
                                       [](const Token& x)
                                       {
                                           return IsKeyword(x, "WHERE") || IsKeyword(x, "GROUP") ||
                                                  IsKeyword(x, "ORDER") || IsKeyword(x, "HAVING") ||
                                                  IsKeyword(x, "SET") || IsKeyword(x, "UNION");
                                       });
        out.push_back(t[i]);
        std::optional<std::vector<Token>> rewritten;
        if (!(IsKeyword(t[i], "FROM") && SelectsBareStar(t, i)))
            rewritten = CRightJoinRewriter(t, i + 1, end).Rewrite();
        if (rewritten)
            out.insert(out.end(), rewritten->begin(), rewritten->end());
        else
            out.insert(out.end(), t.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                       t.begin() + static_cast<std::ptrdiff_t>(end));
        i = end;
    }
    return out;
}
} // namespace JetSqlDetail
