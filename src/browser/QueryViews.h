#pragma once

#include "browser/QueryOutput.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>

class CDbDatabase;
class CDbRetryPolicy;
class CRecordSetList;

// The query views of the file list, one per query name: running a query again shows its rows in
// the view it had (the name found without regard to case), a new name gets a new view. Each view's
// data is a record set list opened on the output query with the query's grouping.
class CQueryViews final : public CQueryOutput
{
public:
    struct View
    {
        QString strName;
        qint32 lQueryId = 0;
        std::unique_ptr<CRecordSetList> pList;
    };

    // configure sets up a new view's list (its fields and columns) before its first open; the
    // lists' edits are written under policy when one is given.
    CQueryViews(CDbDatabase& db, QString userName, std::function<void(CRecordSetList&)> configure,
                CDbRetryPolicy* policy = nullptr);
    ~CQueryViews() override;

    void Show(qint32 queryId, const QString& queryName, const QString& sql, const QString& groupingOrderBy,
              int groupingDepth) override;

    // The window's views read their rows on their loaders and show them once they are in, so a
    // query's million rows never hold the window; scripts read them in place (the default).
    void SetOpenInBackground(bool background) { m_bOpenInBackground = background; }

    View* Find(const QString& queryName);
    View* Current() { return m_pCurrent; }
    int Count() const { return static_cast<int>(m_views.size()); }

private:
    CDbDatabase& m_db;
    QString m_strUserName;
    std::function<void(CRecordSetList&)> m_configure;
    CDbRetryPolicy* m_pPolicy;
    bool m_bOpenInBackground = false;
    std::map<QString, View> m_views; // by case-folded name
    View* m_pCurrent = nullptr;
};
