#pragma once

#include "database/DbValue.h"

#include <QPointer>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

class CRecordSetList;

// An edit of one row of a file list, held by the row's key: the values set wait here until
// Update writes them or CancelUpdate drops them, however the list is painted, scrolled or
// re-sorted meanwhile. Only fields of the key's own table can be written, one statement per
// table, through the list's database connection (under its retry policy when it has one).
class CRecordSetRowEditor final
{
public:
    CRecordSetRowEditor(CRecordSetList& list, qint32 key);
    CRecordSetRowEditor(const CRecordSetRowEditor&) = delete;
    CRecordSetRowEditor& operator=(const CRecordSetRowEditor&) = delete;

    qint32 Key() const { return m_nKey; }

    // A value for a field ("File.File"); a later value for the same field replaces it.
    void SetFieldValue(const QString& fieldName, const CDbValue& value);
    void SetFieldNull(const QString& fieldName) { SetFieldValue(fieldName, CDbValue::Null()); }
    bool HasPendingValues() const { return !m_values.empty(); }
    std::optional<CDbValue> PendingValue(const QString& fieldName) const;

    // Writes the pending values; false when the list is closed, a field is not the row's own
    // table's, the row is gone or the write failed (logged). The pending values go either way.
    bool Update();
    void CancelUpdate() { m_values.clear(); }

private:
    QPointer<CRecordSetList> m_pList;
    qint32 m_nKey;
    std::vector<std::pair<QString, CDbValue>> m_values;
};
