#include "database/JetSqlLexer.h"
#include "common/DbException.h"
#include "database/JetSql.h"
#include "database/JetSqlRewrites.h"

#include <gtest/gtest.h>

#include <QHash>

using namespace JetSqlDetail;

namespace
{
// Names and literals carry their kind, the rest is its text.
QString Render(const std::vector<Token>& tokens)
{
    QStringList parts;
    for (const Token& t : tokens)
    {
        if (t.kind == Kind::Name)
            parts << QStringLiteral("N:") + t.text;
        else if (t.kind == Kind::Literal)
            parts << QStringLiteral("L:") + t.text;
        else if (t.kind == Kind::Op)
            parts << QStringLiteral("O:") + t.text;
        else
            parts << t.text;
    }
    return parts.join(QStringLiteral(" | "));
}

std::vector<Token> Words(const char* jetSql)
{
    return Classify(Tokenize(QString::fromUtf8(jetSql)));
}

class CSmallSchema final : public CJetSchema
{
public:
    bool IsTable(const QString& name) const override
    {
        return QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("t"), QStringLiteral("u")}
            .contains(name, Qt::CaseInsensitive);
    }
    bool IsColumn(const QString& name) const override { return name.size() == 1; }
    std::optional<QString> StoredQuerySql(const QString& name) const override
    {
        const QHash<QString, QString> queries = {
            {QStringLiteral("inner"), QStringLiteral("PARAMETERS p Long; SELECT a.x FROM a WHERE a.y = p")},
            {QStringLiteral("self"), QStringLiteral("SELECT * FROM Self")},
        };
        if (const auto it = queries.constFind(name.toLower()); it != queries.constEnd())
            return *it;
        return std::nullopt;
    }
    QStringList PrimaryKey(const QString& table) const override
    {
        return table.compare(QStringLiteral("b"), Qt::CaseInsensitive) == 0 ? QStringList{QStringLiteral("x")}
                                                                            : QStringList{};
    }
};
} // namespace

TEST(JetSqlLexer, QuotesBracketsAndDatesReadAsOneToken)
{
    const struct
    {
        const char* jet;
        const char* tokens;
    } cases[] = {
        // A quote inside brackets is part of the name; "]]" is one "]".
        {R"([it's "x"])", R"(N:"it's ""x""")"},
        {"[a]]b]", R"(N:"a]b")"},
        // Doubled quotes, either style; brackets and "#" inside text are text.
        {"'it''s [x] #1#'", "L:'it''s [x] #1#'"},
        {R"("say ""hi"" it's")", R"(L:'say "hi" it''s')"},
        {"''", "L:''"},
        // Dates in both forms, with a 12-hour clock and two-digit years.
        {"#1/2/2003 4:05:06 PM#", "L:'2003-01-02 16:05:06'"},
        {"#12/31/99 12:00 AM#", "L:'1999-12-31 00:00:00'"},
        {"#1/1/29#", "L:'2029-01-01 00:00:00'"},
        {"#2003-01-02T03:04#", "L:'2003-01-02 03:04:00'"},
        // "!" qualifies like "."; "\" divides; "<>" and "<=" are one operator.
        {"File!Name<>'#'", "N:File | . | N:Name | O:<> | L:'#'"},
        {"a\\2<=b", "N:a | O:/ | L:2 | O:<= | N:b"},
        {"1.5e3+2E-4-3e", "L:1.5e3 | O:+ | L:2E-4 | O:- | L:3 | N:e"},
        {"? ?12 :name @name $x", "L:? | L:?12 | L::name | L:@name | L:$x"},
        {"((a,[b]));", R"(( | ( | N:a | , | N:"b" | ) | ) | ;)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Render(Tokenize(QString::fromUtf8(c.jet))), QString::fromUtf8(c.tokens)) << c.jet;
}

TEST(JetSqlLexer, UnclosedOrUnreadableTextIsASyntaxError)
{
    for (const char* jet :
         {"'", "\"", "[", "#", "'open", "'it''", "\"it\"\"", "[a]]", "#1/2/2003", "#13/1/2003#",
          "#1/2/2003 24:00#", "#yesterday#", "a ~ b", "{a}", "a = :", "@ = 1"})
    {
        try
        {
            Tokenize(QString::fromUtf8(jet));
            ADD_FAILURE() << jet;
        }
        catch (const CDbException& e)
        {
            EXPECT_EQ(e.m_nErrorCode, 3075) << jet;
            EXPECT_TRUE(e.m_strDescription.contains(QString::fromUtf8(jet))) << jet;
        }
    }
}

TEST(JetSqlLexer, ScansStopAtTheirOwnDepth)
{
    enum Scan
    {
        Close,    // MatchingClose
        PartEnd,  // FindPartEnd, a comma ending the part
        TopLevel, // FindTopLevel, looking for a comma
        JoinEnd,  // SkipToJoinBoundary
    };
    const char* list = "(a, (b, c)), d"; // ( a , ( b , c ) ) , d
    const char* join = "a LEFT JOIN (b INNER JOIN c ON b.x = c.x) ON a.x = b.x, d";
    const struct
    {
        const char* jet;
        Scan scan;
        size_t from;
        size_t expected;
    } cases[] = {
        // clang-format off
        {list, Close, 0, 8},
        {list, Close, 3, 7},
        {"((a)", Close, 0, 4},    // unclosed: the end
        {list, PartEnd, 1, 2},
        {list, PartEnd, 3, 8},    // the inner list is skipped; the unmatched ")" ends the part
        {list, PartEnd, 10, 11},
        {list, TopLevel, 0, 9},
        {list, TopLevel, 4, 5},
        {join, Close, 3, 16},
        {join, JoinEnd, 0, 1},    // LEFT
        {join, JoinEnd, 4, 5},    // INNER, inside the parentheses
        {join, JoinEnd, 9, 16},   // the inner ON ends at the ")"
        {join, JoinEnd, 18, 25},  // the outer ON ends at the comma
        // clang-format on
    };
    const auto isComma = [](const Token& t) { return t.kind == Kind::Comma; };
    for (const auto& c : cases)
    {
        const std::vector<Token> t = Words(c.jet);
        size_t found = 0;
        switch (c.scan)
        {
        case Close:
            found = MatchingClose(t, c.from, t.size());
            break;
        case PartEnd:
            found = FindPartEnd(t, c.from, t.size(), isComma);
            break;
        case TopLevel:
            found = FindTopLevel(t, c.from, t.size(), isComma);
            break;
        case JoinEnd:
            found = SkipToJoinBoundary(t, c.from, t.size());
            break;
        }
        EXPECT_EQ(found, c.expected) << c.jet << " scan " << c.scan << " from " << c.from;
    }
}

// Text cut off anywhere (an unclosed literal, bracket, date or parenthesis, a join without its
// ON, a SET without a value) is translated or refused with the engine's own error; it never
// crashes, hangs or throws anything else.
TEST(JetSqlTranslator, TextCutOffAnywhereIsTranslatedOrRefused)
{
    const CSmallSchema schema;
    for (const char* jet : {
             "PARAMETERS [who] Text (255); UPDATE a LEFT JOIN (b INNER JOIN u ON (b.x = u.x AND u.n = "
             "[who])) ON a.x "
             "= b.x SET b.y = \"it's\" & a.y, b.z = #1/2/2003 4:05 PM# WHERE a.x IN (SELECT x FROM Inner) "
             "AND a.n "
             "Like '[[]*';",
             "SELECT DISTINCTROW t.*, Len([t]![n]) Mod 2 AS [odd]]one] FROM t RIGHT JOIN (a LEFT JOIN Self "
             "AS s ON "
             "a.x = s.x) ON t.x = a.x WHERE t.d > #12/31/99# ORDER BY t.n DESC;",
             "DELETE t.* FROM t WHERE t.n = 'a''b' OR t.m = \"c\"\"d\" OR t.k = ? OR t.j = :j & (t.n & ?3);",
         })
    {
        const QString whole = QString::fromUtf8(jet);
        for (qsizetype length = 0; length <= whole.size(); ++length)
        {
            const QString part = whole.left(length);
            for (const bool withSchema : {false, true})
            {
                try
                {
                    if (withSchema)
                        CJetSql::TranslateStatement(part, schema);
                    else
                        CJetSql::TranslateUncached(part);
                }
                catch (const CDbException& e)
                {
                    EXPECT_TRUE(e.m_nErrorCode == 3073 || e.m_nErrorCode == 3075 || e.m_nErrorCode == 3078)
                        << e.m_nErrorCode << " " << part.toStdString();
                }
            }
        }
    }
}
