#pragma once

#include "gui/browser/filelist/MirrowelView.h"

// The rows of a stored query's output, one view per query name. Its refresh runs the query again;
// a view without a query refreshes its own statement.
class CMirrowelQueryView final : public CMirrowelView
{
    Q_OBJECT

public:
    CMirrowelQueryView(CMirrowelDoc& doc, const QString& name, QWidget* parent = nullptr);

    const QString& QueryName() const { return m_strName; }
    qint32 QueryId() const { return m_lQueryId; }

    // Shows sql's rows, grouped by the first depth items of groupingOrderBy when depth is not 0.
    void ShowQuery(qint32 queryId, const QString& sql, const QString& groupingOrderBy, int depth);
    // Shows a search's rows: sql with condition ANDed into its WHERE, ungrouped.
    void ShowSearch(const QString& sql, const QString& condition);
    void Requery() override;

private:
    QString m_strName;
    qint32 m_lQueryId = 0;
};
