#include "database/DbTransaction.h"

#include "common/DbException.h"
#include "database/DbDatabase.h"

CDbTransaction::CDbTransaction(CDbDatabase& db, bool immediate) : m_db(db)
{
    m_db.BeginTrans(immediate);
}

CDbTransaction::~CDbTransaction()
{
    if (!m_bOpen)
        return;
    try
    {
        m_db.Rollback();
    }
    catch (const CDbException&)
    {
        // The connection rolls back by itself when the transaction cannot be ended here.
    }
}

void CDbTransaction::Commit()
{
    m_db.CommitTrans();
    m_bOpen = false;
}
