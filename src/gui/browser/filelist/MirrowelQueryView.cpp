#include "gui/browser/filelist/MirrowelQueryView.h"

#include "browser/MirrowelDoc.h"
#include "browser/QueryRunner.h"
#include "browser/RecordSetList.h"

CMirrowelQueryView::CMirrowelQueryView(CMirrowelDoc& doc, const QString& name, QWidget* parent)
    : CMirrowelView(doc, Kind::Query, parent), m_strName(name)
{
    setAccessibleName(QStringLiteral("Query File List %1").arg(name));
}

void CMirrowelQueryView::ShowQuery(qint32 queryId, const QString& sql, const QString& groupingOrderBy,
                                   int depth)
{
    m_lQueryId = queryId;
    if (List().Fields().empty())
        ApplyCurrentFieldView();
    List().DataCtrl_SetSQL(sql);
    List().DataCtrl_SetGrouping(groupingOrderBy, depth);
    List().SetGroupedOrder(true);
    if (CDbDatabase* db = Doc().Database())
        List().DataCtrl_OpenAsync(db);
}

void CMirrowelQueryView::ShowSearch(const QString& sql, const QString& condition)
{
    m_lQueryId = 0;
    if (List().Fields().empty())
        ApplyCurrentFieldView();
    List().DataCtrl_SetSQL(sql);
    List().DataCtrl_AddWhere(condition);
    List().DataCtrl_SetGrouping(QString(), 0);
    List().SetGroupedOrder(false);
    if (CDbDatabase* db = Doc().Database())
        List().DataCtrl_OpenAsync(db);
}

void CMirrowelQueryView::Requery()
{
    if (m_lQueryId != 0 && Doc().Queries().StartQuery(m_lQueryId))
        return;
    CMirrowelView::Requery();
}
