#include "browser/RecordSetRowEditor.h"

#include "browser/RecordSetList.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"
#include "database/DbErrorCodes.h"
#include "database/DbRetryPolicy.h"

namespace
{
const QString kUpdateContext = QStringLiteral("CRecordSetList::DataCtrl_Update() - m_pRecSet->Update");
}

CRecordSetRowEditor::CRecordSetRowEditor(CRecordSetList& list, qint32 key) : m_pList(&list), m_nKey(key) {}

void CRecordSetRowEditor::SetFieldValue(const QString& fieldName, const CDbValue& value)
{
    for (auto& [name, pending] : m_values)
        if (name.compare(fieldName, Qt::CaseInsensitive) == 0)
        {
            pending = value;
            return;
        }
    m_values.emplace_back(fieldName, value);
}

std::optional<CDbValue> CRecordSetRowEditor::PendingValue(const QString& fieldName) const
{
    for (const auto& [name, pending] : m_values)
        if (name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return pending;
    return std::nullopt;
}

bool CRecordSetRowEditor::Update()
{
    const std::vector<std::pair<QString, CDbValue>> values = std::move(m_values);
    m_values.clear();
    CDbDatabase* db = m_pList ? m_pList->Database() : nullptr;
    if (!db)
        return false;
    if (values.empty())
        return true;
    const auto [keyTable, keyColumn] = CRecordSetSql::SplitField(m_pList->Sql().KeyField());
    QStringList assignments;
    for (const auto& [field, value] : values)
    {
        const auto [table, column] = CRecordSetSql::SplitField(field);
        // Only the row's own table can be edited through the list: its key names the row.
        if (table.compare(keyTable, Qt::CaseInsensitive) != 0 ||
            column.compare(keyColumn, Qt::CaseInsensitive) == 0)
        {
            LOG_EXCEPTION(CDbException(DbErrors::kReadOnly,
                                       QStringLiteral("Cannot update. Database or object is read-only.")),
                          field, kUpdateContext);
            return false;
        }
        assignments.append(QStringLiteral("[%1]=?").arg(column));
    }
    const QString sql = QStringLiteral("UPDATE [%1] SET %2 WHERE [%3]=?")
                            .arg(keyTable, assignments.join(QStringLiteral(", ")), keyColumn);
    int changed = 0;
    const auto step = [&]
    {
        CDbStatement update = db->Prepare(sql);
        int position = 1;
        for (const auto& [field, value] : values)
            update.Bind(position++, value);
        update.Bind(position, CDbValue(m_nKey));
        changed = update.Execute();
    };
    if (CDbRetryPolicy* policy = m_pList->RetryPolicy())
    {
        if (!policy->Run(kUpdateContext, step))
            return false;
    }
    else
    {
        try
        {
            step();
        }
        catch (const CDbException& e)
        {
            LOG_EXCEPTION(e, QString(), kUpdateContext);
            return false;
        }
    }
    // Nothing changed: another program deleted the row meanwhile.
    if (changed == 0)
        return false;
    std::vector<std::pair<int, CDbValue>> written;
    for (const auto& [field, value] : values)
        written.emplace_back(m_pList->Sql().FieldIndex(field), value);
    m_pList->RowWritten(m_nKey, written);
    return true;
}
