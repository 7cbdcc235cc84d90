#include "ModelFixture.h"

#include "browser/models/QueryTreeModel.h"
#include "database/JetText.h"

#include <QAbstractItemModelTester>

class QueryTreeModelTest : public ModelFixture
{
protected:
    void SetUp() override
    {
        ModelFixture::SetUp();
        // Tools > nested; "alpha" sorts before "Tools"; a query of group 0 shows even when it is
        // intermediate, one of another group does not.
        Sql("INSERT INTO QueryGroup (GroupId, \"Group\", ParentGroupId) VALUES (1, 'Tools', 0), (2, "
            "'nested', 1), "
            "(3, 'alpha', 0)");
        Sql("INSERT INTO Query (GroupId, QueryId, QueryName, OutputQuery, Intermediate) VALUES "
            "(1, 100, 'Zeta', 'DuplicatesByTTH', 0), (1, 101, 'beta', NULL, 1), (2, 102, 'alpha q', NULL, "
            "0), "
            "(0, 103, 'Mid', NULL, 1), (1, 104, 'apex', NULL, 0)");
        Sql("INSERT INTO QueryEntry (QueryId, QueryEntry, EntryType, Query) VALUES "
            "(100, 1, 2, 'ClearAllQueryMarks'), (100, 2, 4, 'check all catalogues'), (100, 3, 4, 'No Such "
            "Query'), "
            "(100, 4, 4, 'beta')");
        m_model.SetDatabase(&m_db);
    }

    CQueryTreeModel m_model{m_ui, m_policy};
};

TEST_F(QueryTreeModelTest, GroupsAndQueriesInOrderWithoutIntermediates)
{
    QAbstractItemModelTester tester(&m_model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_TRUE(m_ui.StatusTexts().contains("Updating Query Browser..."));
    EXPECT_EQ(m_ui.WaitCursorDepth(), 0);

    const QStringList top = Texts(m_model);
    ASSERT_GE(top.size(), 3);
    EXPECT_EQ(top.mid(0, 2), QStringList({"alpha", "Tools"}));
    const QStringList queries = top.mid(2);
    // The template's twenty visible queries (two of them in group 0) and Mid; none of the
    // intermediate ones of no group.
    EXPECT_EQ(queries.size(), 21);
    EXPECT_TRUE(queries.contains("Mid"));
    EXPECT_TRUE(queries.contains("Files Without TTH in All Catalogues"));
    for (const char* hidden : {"Find", "Delete Checked Files", "Slide Show 5secs", "beta", "Zeta"})
        EXPECT_FALSE(queries.contains(QString::fromUtf8(hidden))) << hidden;
    for (int i = 1; i < queries.size(); ++i)
        EXPECT_LE(JetText::CompareGeneral(queries[i - 1], queries[i]), 0) << queries[i - 1].toStdString();

    const QModelIndex tools = Child(m_model, "Tools");
    EXPECT_EQ(Texts(m_model, tools), QStringList({"nested", "apex", "Zeta"}));
    EXPECT_EQ(Texts(m_model, Child(m_model, "nested", tools)), QStringList({"alpha q"}));
    EXPECT_EQ(m_model.rowCount(Child(m_model, "alpha")), 0);

    // A query's "(Sub)Query" steps, in step order, each the query it names; a step naming no
    // query is left out, and an intermediate query shows where another runs it.
    const QModelIndex zeta = Child(m_model, "Zeta", tools);
    EXPECT_EQ(Texts(m_model, zeta), QStringList({"Check All Catalogues", "beta"}));
    EXPECT_EQ(zeta.data(CQueryTreeModel::OutputQueryRole).toString(), QStringLiteral("DuplicatesByTTH"));
    const QModelIndex sub = m_model.index(0, 0, zeta);
    EXPECT_TRUE(sub.data(CQueryTreeModel::SubQueryRole).toBool());
    EXPECT_EQ(m_model.QueryIdAt(sub),
              Long("SELECT QueryId FROM Query WHERE QueryName='Check All Catalogues'"));

    EXPECT_EQ(m_model.QueryIdAt(zeta), 100);
    EXPECT_EQ(m_model.QueryIdAt(tools), 0) << "running a group runs nothing";
    EXPECT_EQ(tools.data(CQueryTreeModel::KindRole).toInt(), CQueryTreeModel::KindGroup);
    EXPECT_EQ(tools.data(CQueryTreeModel::IdRole).toInt(), 1);
    EXPECT_EQ(m_model.FindQuery(100), zeta);
    EXPECT_FALSE(m_model.FindQuery(101).isValid()) << "beta has no item of its own, only a step of Zeta";
    EXPECT_EQ(m_model.FindGroup(2), Child(m_model, "nested", tools));
    EXPECT_FALSE(m_model.FindGroup(9).isValid());
}

TEST_F(QueryTreeModelTest, RebuildKeepsExpandedGroupsAndRefreshesSteps)
{
    QAbstractItemModelTester tester(&m_model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QModelIndex tools = Child(m_model, "Tools");
    m_model.SetGroupExpanded(Child(m_model, "nested", tools), true);
    m_model.SetGroupExpanded(tools, true);
    m_model.SetGroupExpanded(Child(m_model, "alpha"), true);
    m_model.SetGroupExpanded(Child(m_model, "alpha"), false);
    m_model.SetGroupExpanded(Child(m_model, "Mid"), true); // not a group: ignored
    EXPECT_EQ(m_model.ExpandedGroups(), QSet<qint32>({1, 2}));

    Sql("INSERT INTO QueryGroup (GroupId, \"Group\", ParentGroupId) VALUES (4, 'Another', 0)");
    Sql("UPDATE Query SET Intermediate=0 WHERE QueryId=101");
    ASSERT_TRUE(m_model.Rebuild());
    const QModelIndexList expanded = m_model.ExpandedGroupIndexes();
    ASSERT_EQ(expanded.size(), 2);
    EXPECT_EQ(expanded[0].data().toString(), QStringLiteral("Tools")) << "parents first";
    EXPECT_EQ(expanded[1].data().toString(), QStringLiteral("nested"));
    EXPECT_EQ(Texts(m_model).mid(0, 3), QStringList({"alpha", "Another", "Tools"}));
    EXPECT_EQ(Texts(m_model, Child(m_model, "Tools")), QStringList({"nested", "apex", "beta", "Zeta"}));

    // A group that is gone is forgotten.
    Sql("DELETE FROM Query WHERE QueryId=102");
    Sql("DELETE FROM QueryGroup WHERE GroupId=2");
    ASSERT_TRUE(m_model.Rebuild());
    EXPECT_EQ(m_model.ExpandedGroups(), QSet<qint32>({1}));

    // One query's steps again, wherever the query has its own item.
    Sql("INSERT INTO QueryEntry (QueryId, QueryEntry, EntryType, Query) VALUES (100, 0, 4, 'Mid')");
    Sql("DELETE FROM QueryEntry WHERE QueryId=100 AND QueryEntry=4");
    ASSERT_TRUE(m_model.RefreshQueryEntries(100));
    EXPECT_EQ(Texts(m_model, m_model.FindQuery(100)), QStringList({"Mid", "Check All Catalogues"}));
    Sql("DELETE FROM QueryEntry WHERE QueryId=100");
    ASSERT_TRUE(m_model.RefreshQueryEntries(100));
    EXPECT_EQ(m_model.rowCount(m_model.FindQuery(100)), 0);

    // A group that names itself or a loop of parents never nests without end.
    Sql("INSERT INTO QueryGroup (GroupId, \"Group\", ParentGroupId) VALUES (5, 'Loop', 6), (6, 'Pool', 5), "
        "(7, 'Self', 7)");
    ASSERT_TRUE(m_model.Rebuild());
    EXPECT_FALSE(m_model.FindGroup(5).isValid());
    EXPECT_FALSE(m_model.FindGroup(7).isValid());

    m_model.SetDatabase(nullptr);
    EXPECT_EQ(m_model.rowCount(), 0);
    EXPECT_EQ(m_ui.UnexpectedMessages(), 0);
}
