#pragma once

#include <QTreeView>

class CQueryRunner;
class CQueryTreeModel;

// The query browser in the navigator: the tree of query groups, queries and their sub-queries
// over the query tree model. The groups the person opened stay open across the model's rebuilds.
// Run (the command, a double click, Enter) runs the pending query or else the selected one; a
// group selected runs nothing.
class CQueryBrowserTreeCtrl final : public QTreeView
{
    Q_OBJECT

public:
    explicit CQueryBrowserTreeCtrl(CQueryTreeModel& model, QWidget* parent = nullptr);

    // A query another part hands over to run next instead of the selected one.
    void SetPendingQuery(qint32 queryId) { m_lPendingQueryId = queryId; }
    // The query Run would start now, 0 for none; the pending query is used up.
    qint32 TakeQueryToRun();
    // Starts the query to run as a job. False when there is none or it could not start.
    bool Run(CQueryRunner& runner);

signals:
    // A query item was activated (double click, Enter).
    void runRequested();

private:
    void ExpandRemembered();

    CQueryTreeModel& m_model;
    qint32 m_lPendingQueryId = 0;
};
