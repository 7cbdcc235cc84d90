#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <vector>

class CRecordSetList;
class QItemSelection;
class QItemSelectionModel;

// The file list's selection rules over the view's QItemSelectionModel, which owns the selection:
// a click selects a row, Ctrl+click adds or removes one, Shift+click selects the range from the
// anchor and clears what the previous range selected outside it; Select All, and selection by a
// predicate or by keys (Select Checked). Rows are whole rows. Selection, focus and anchor are
// kept by key across every reset of the list (open, requery, sort): a focused row that is gone
// leaves the focus at the same position, or the last row. The selection model's current index is
// the focus; when something else moves it (an operation that focuses the row it leaves behind),
// the anchor moves with it, as a click there would.
class CRecordSetSelection final : public QObject
{
    Q_OBJECT

public:
    CRecordSetSelection(CRecordSetList& list, QItemSelectionModel& selection, QObject* parent = nullptr);
    ~CRecordSetSelection() override;

    void Click(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void SelectAll();
    void ClearSelection();
    // selection := rows for which the predicate holds.
    void SelectRows(const std::function<bool(int row)>& predicate);
    // selection := the rows of these keys (those still in the list).
    void SelectKeys(const std::vector<qint32>& keys);
    // Focus without changing the selection (the anchor moves with it).
    void SetFocusedRow(int row);
    // Focus without changing the selection or the anchor (Ctrl with a moving key).
    void MoveFocus(int row);

    int FocusedRow() const;
    int Anchor() const { return m_nAnchor; }
    bool IsSelected(int row) const;
    // Counted from the selection's ranges, kept until the selection or the rows change.
    int SelectedCount() const;
    std::vector<int> SelectedRows() const;
    std::vector<qint32> SelectedKeys() const;

signals:
    void selectionChanged();

private:
    // Selected rows as sorted, disjoint [first, last] runs.
    std::vector<std::pair<int, int>> Runs() const;
    QItemSelection RowsSelection(const std::vector<int>& sortedRows) const;
    QItemSelection Range(int first, int last) const;
    void Focus(int row);
    void SaveByKey();
    void RestoreByKey();
    void OnCurrentChanged(const QModelIndex& current);

    QPointer<CRecordSetList> m_pList;
    QPointer<QItemSelectionModel> m_pSelection;
    int m_nAnchor = -1;
    int m_nRangeFirst = -1; // the rows the last Shift+click selected
    int m_nRangeLast = -1;
    mutable int m_nSelectedCount = -1;
    // The focus is being moved here (or the rows are being replaced): the anchor is set here too.
    bool m_bFocusing = false;

    // Saved around a reset.
    std::vector<qint32> m_savedKeys;
    qint32 m_nSavedFocusKey = 0;
    int m_nSavedFocusRow = -1;
    qint32 m_nSavedAnchorKey = 0;
};
