#include "browser/QueryViews.h"

#include "browser/RecordSetList.h"

CQueryViews::CQueryViews(CDbDatabase& db, QString userName, std::function<void(CRecordSetList&)> configure,
                         CDbRetryPolicy* policy)
    : m_db(db), m_strUserName(std::move(userName)), m_configure(std::move(configure)), m_pPolicy(policy)
{
}

CQueryViews::~CQueryViews() = default;

CQueryViews::View* CQueryViews::Find(const QString& queryName)
{
    const auto it = m_views.find(queryName.toCaseFolded());
    return it == m_views.end() ? nullptr : &it->second;
}

void CQueryViews::Show(qint32 queryId, const QString& queryName, const QString& sql,
                       const QString& groupingOrderBy, int groupingDepth)
{
    View* view = Find(queryName);
    if (!view)
    {
        View created;
        created.strName = queryName;
        created.pList = std::make_unique<CRecordSetList>();
        created.pList->SetUserName(m_strUserName);
        created.pList->SetRetryPolicy(m_pPolicy);
        if (m_configure)
            m_configure(*created.pList);
        view = &m_views.emplace(queryName.toCaseFolded(), std::move(created)).first->second;
    }
    view->lQueryId = queryId;
    CRecordSetList& list = *view->pList;
    list.DataCtrl_SetSQL(sql);
    list.DataCtrl_SetGrouping(groupingOrderBy, groupingDepth);
    if (m_bOpenInBackground)
        list.DataCtrl_OpenAsync(&m_db);
    else
        list.DataCtrl_Open(&m_db);
    m_pCurrent = view;
}
