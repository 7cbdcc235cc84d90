#include "browser/RecordSetSelection.h"

#include "browser/RecordSetList.h"

#include <QItemSelectionModel>
#include <QScopedValueRollback>

#include <algorithm>

CRecordSetSelection::CRecordSetSelection(CRecordSetList& list, QItemSelectionModel& selection,
                                         QObject* parent)
    : QObject(parent), m_pList(&list), m_pSelection(&selection)
{
    // The selection model clears itself on a reset; these run after it, so the saved keys come
    // back over the cleared selection.
    connect(&list, &QAbstractItemModel::modelAboutToBeReset, this, &CRecordSetSelection::SaveByKey);
    connect(&list, &QAbstractItemModel::modelReset, this, &CRecordSetSelection::RestoreByKey);
    // The focus moved by someone else (an operation focusing the row it leaves) moves the anchor.
    connect(&selection, &QItemSelectionModel::currentChanged, this, &CRecordSetSelection::OnCurrentChanged);
    connect(&selection, &QItemSelectionModel::selectionChanged, this,
            [this]
            {
                m_nSelectedCount = -1;
                emit selectionChanged();
            });
}

CRecordSetSelection::~CRecordSetSelection() = default;

QItemSelection CRecordSetSelection::Range(int first, int last) const
{
    const int lastColumn = std::max(m_pList->columnCount() - 1, 0);
    return QItemSelection(m_pList->index(first, 0), m_pList->index(last, lastColumn));
}

QItemSelection CRecordSetSelection::RowsSelection(const std::vector<int>& sortedRows) const
{
    QItemSelection selection;
    for (size_t i = 0; i < sortedRows.size();)
    {
        size_t j = i;
        while (j + 1 < sortedRows.size() && sortedRows[j + 1] <= sortedRows[j] + 1)
            ++j;
        selection.merge(Range(sortedRows[i], sortedRows[j]), QItemSelectionModel::Select);
        i = j + 1;
    }
    return selection;
}

void CRecordSetSelection::OnCurrentChanged(const QModelIndex& current)
{
    if (m_bFocusing || !m_pList)
        return;
    m_nAnchor = current.isValid() ? current.row() : -1;
    m_nRangeFirst = m_nRangeLast = m_nAnchor;
}

void CRecordSetSelection::Focus(int row)
{
    if (!m_pSelection)
        return;
    const QScopedValueRollback focusing(m_bFocusing, true);
    if (row < 0 || row >= m_pList->rowCount())
        m_pSelection->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    else
        m_pSelection->setCurrentIndex(m_pList->index(row, 0), QItemSelectionModel::NoUpdate);
}

void CRecordSetSelection::Click(int row, Qt::KeyboardModifiers modifiers)
{
    if (!m_pList || !m_pSelection || row < 0 || row >= m_pList->rowCount())
        return;
    const auto rows = QItemSelectionModel::Rows;
    if (modifiers & Qt::ShiftModifier)
    {
        if (m_nAnchor < 0 || m_nAnchor >= m_pList->rowCount())
            m_nAnchor = FocusedRow() >= 0 ? FocusedRow() : row;
        const int first = std::min(m_nAnchor, row);
        const int last = std::max(m_nAnchor, row);
        // What the previous range selected outside the new one is cleared; rows picked with Ctrl
        // elsewhere stay.
        QItemSelection clear;
        if (m_nRangeFirst >= 0 && m_nRangeLast < m_pList->rowCount())
        {
            if (m_nRangeFirst < first)
                clear.merge(Range(m_nRangeFirst, std::min(m_nRangeLast, first - 1)),
                            QItemSelectionModel::Select);
            if (m_nRangeLast > last)
                clear.merge(Range(std::max(m_nRangeFirst, last + 1), m_nRangeLast),
                            QItemSelectionModel::Select);
        }
        if (!clear.isEmpty())
            m_pSelection->select(clear, QItemSelectionModel::Deselect | rows);
        m_pSelection->select(Range(first, last), QItemSelectionModel::Select | rows);
        m_nRangeFirst = first;
        m_nRangeLast = last;
        Focus(row);
        return;
    }
    if (modifiers & Qt::ControlModifier)
        m_pSelection->select(Range(row, row), QItemSelectionModel::Toggle | rows);
    else
        m_pSelection->select(Range(row, row), QItemSelectionModel::ClearAndSelect | rows);
    m_nAnchor = row;
    m_nRangeFirst = m_nRangeLast = row;
    Focus(row);
}

void CRecordSetSelection::SelectAll()
{
    if (!m_pList || !m_pSelection)
        return;
    if (m_pList->rowCount() == 0)
        m_pSelection->clearSelection();
    else
        m_pSelection->select(Range(0, m_pList->rowCount() - 1),
                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CRecordSetSelection::ClearSelection()
{
    if (m_pSelection)
        m_pSelection->clearSelection();
}

void CRecordSetSelection::SelectRows(const std::function<bool(int row)>& predicate)
{
    if (!m_pList || !m_pSelection)
        return;
    std::vector<int> rows;
    for (int row = 0; row < m_pList->rowCount(); ++row)
        if (predicate(row))
            rows.push_back(row);
    m_pSelection->select(RowsSelection(rows),
                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CRecordSetSelection::SelectKeys(const std::vector<qint32>& keys)
{
    if (!m_pList || !m_pSelection)
        return;
    m_pSelection->select(RowsSelection(m_pList->RowsOfKeys(keys)),
                         QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void CRecordSetSelection::MoveFocus(int row)
{
    Focus(row);
}

void CRecordSetSelection::SetFocusedRow(int row)
{
    Focus(row);
    m_nAnchor = FocusedRow();
    m_nRangeFirst = m_nRangeLast = m_nAnchor;
}

int CRecordSetSelection::FocusedRow() const
{
    return m_pSelection && m_pSelection->currentIndex().isValid() ? m_pSelection->currentIndex().row() : -1;
}

bool CRecordSetSelection::IsSelected(int row) const
{
    return m_pSelection && m_pList && m_pSelection->isRowSelected(row, QModelIndex());
}

std::vector<std::pair<int, int>> CRecordSetSelection::Runs() const
{
    std::vector<std::pair<int, int>> runs;
    if (!m_pSelection)
        return runs;
    for (const QItemSelectionRange& range : m_pSelection->selection())
        if (range.isValid())
            runs.emplace_back(range.top(), range.bottom());
    std::sort(runs.begin(), runs.end());
    std::vector<std::pair<int, int>> merged;
    for (const auto& run : runs)
    {
        if (!merged.empty() && run.first <= merged.back().second + 1)
            merged.back().second = std::max(merged.back().second, run.second);
        else
            merged.push_back(run);
    }
    return merged;
}

int CRecordSetSelection::SelectedCount() const
{
    if (m_nSelectedCount < 0)
    {
        int count = 0;
        for (const auto& [first, last] : Runs())
            count += last - first + 1;
        m_nSelectedCount = count;
    }
    return m_nSelectedCount;
}

std::vector<int> CRecordSetSelection::SelectedRows() const
{
    std::vector<int> rows;
    for (const auto& [first, last] : Runs())
        for (int row = first; row <= last; ++row)
            rows.push_back(row);
    return rows;
}

std::vector<qint32> CRecordSetSelection::SelectedKeys() const
{
    std::vector<qint32> keys;
    if (!m_pList)
        return keys;
    for (const auto& [first, last] : Runs())
        for (int row = first; row <= last; ++row)
            keys.push_back(m_pList->Key(row));
    return keys;
}

void CRecordSetSelection::SaveByKey()
{
    // The rows go: the anchor is set again by key once they are back.
    m_bFocusing = true;
    m_savedKeys = SelectedKeys();
    m_nSavedFocusRow = FocusedRow();
    m_nSavedFocusKey = m_pList ? m_pList->Key(m_nSavedFocusRow) : 0;
    m_nSavedAnchorKey = m_pList ? m_pList->Key(m_nAnchor) : 0;
}

void CRecordSetSelection::RestoreByKey()
{
    m_bFocusing = false;
    m_nSelectedCount = -1;
    if (!m_pList || !m_pSelection)
        return;
    const int rowCount = m_pList->rowCount();
    if (!m_savedKeys.empty() && rowCount > 0)
        SelectKeys(m_savedKeys);
    m_savedKeys.clear();
    m_savedKeys.shrink_to_fit();
    int focus = m_nSavedFocusKey != 0 ? m_pList->RowOfKey(m_nSavedFocusKey) : -1;
    if (focus < 0 && m_nSavedFocusRow >= 0)
        focus = std::min(m_nSavedFocusRow, rowCount - 1);
    Focus(focus);
    const int anchor = m_nSavedAnchorKey != 0 ? m_pList->RowOfKey(m_nSavedAnchorKey) : -1;
    m_nAnchor = anchor >= 0 ? anchor : FocusedRow();
    m_nRangeFirst = m_nRangeLast = m_nAnchor;
    emit selectionChanged();
}
