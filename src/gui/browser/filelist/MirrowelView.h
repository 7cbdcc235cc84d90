#pragma once

#include "browser/FileListTotals.h"
#include "browser/filelist/FileListWalk.h"
#include "browser/filelist/FileRename.h"
#include "browser/models/FieldViewColumns.h"

#include <QLineEdit>
#include <QPointer>
#include <QTableView>
#include <QTimer>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class CFileListDelegate;
class CMirrowelDoc;
class CRecordSetList;
class CRecordSetSelection;
class QMimeData;

// The file list: a table over a CRecordSetList with a check box and a file-type icon in front of
// each row, deleted and ghost rows in their own colours, the list's own selection rules, check
// and uncheck for the current user, Never AutoCheck, rename in place, find and letter jump, and
// the running totals, walked in idle time. Its columns come from a field view. The folder view
// and the query views are its two kinds.
class CMirrowelView : public QTableView
{
    Q_OBJECT

public:
    using Kind = CFieldViewColumns::ListKind;

    CMirrowelView(CMirrowelDoc& doc, Kind kind, QWidget* parent = nullptr);
    ~CMirrowelView() override;

    Kind ListKind() const { return m_kind; }
    CRecordSetList& List() { return *m_pList; }
    CRecordSetSelection& Selection() { return *m_pSelection; }

    // Field views: the one the user chose for lists of this kind, or one by name. The list
    // reopens with the new columns when it was open.
    void ApplyCurrentFieldView();
    void SetFileListFieldView(const QString& viewName);
    const QString& FieldViewName() const { return m_strFieldView; }
    const CFieldViewColumns& FieldView() const { return m_fieldView; }

    // The file-type icon of an extension ("" for none). Default: the desktop's icon theme by
    // MIME type.
    void SetIconProvider(std::function<QIcon(const QString& extension)> provider);

    // Row state, as far as it has been read.
    bool IsChecked(int row) const;
    bool IsDeleted(int row) const;
    bool IsGhost(int row) const;
    bool IsDontMark(int row) const;
    QString Extension(int row) const;
    // A file-information cell of a file whose information row is gone shows "<Deleted>".
    QString CellText(const QModelIndex& index) const;
    qint32 FocusedFileId() const;
    int FocusedRow() const;
    // A file name is being edited in place.
    bool IsEditing() const { return state() == QAbstractItemView::EditingState || m_pRowRename; }

    // Commands.
    // Checks or unchecks the selected rows and the clicked one: the opposite of the clicked
    // row's state, for all of them.
    bool MarkRow(int clickedRow);
    bool NeverAutoCheck();
    void SelectChecked();
    void SelectAllRows();
    // Starts the in-place edit of the focused file's name: in its name cell, or over the row's
    // first visible column when no column shows the name.
    bool StartRename();
    CFileRename::EResult FinishRename(int row, const QString& newName);
    bool JumpToLetter(QChar typed);
    // criterion: a condition over the list's fields, as the Find dialog builds it.
    bool FindFirst(const QString& criterion);
    // The next row after the focused one matching criterion, which the list remembers; without
    // one, the criterion it remembers (none: asks for one through findRequested).
    bool FindNext(const QString& criterion = QString());
    const QString& FindCriterion() const { return m_strFindCriterion; }
    // F5: the view's rows read again (a query view runs its query again).
    virtual void Requery();
    // What a drag of the selected files carries (the catalogue browser takes it to move or copy
    // them); null without a selection. The caller owns it.
    QMimeData* CreateDragData() const;

    // Totals: zeroed and walked again in idle time (check bytes read again with loadChecks).
    void ResetTotals(bool loadChecks);
    const CFileListTotals& Totals() const { return m_walk.Totals(); }
    // The column of a field ("File.File"); -1 when not shown.
    int ColumnOfField(const QString& fieldName) const;
    // The bytes the check bits take.
    size_t CheckStoreBytes() const { return (m_checks.capacity() + 7) / 8; }

signals:
    void totalsChanged(const CFileListTotals& totals);
    void openRequested(qint32 fileId);
    // Find Next without a criterion: the Find dialog is the way to one.
    void findRequested();
    void statusText(const QString& text);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    CMirrowelDoc& Doc() { return m_doc; }

private:
    // Within the check box of a row (the first 16 pixels of its first column).
    bool InCheckArea(const QPoint& pos) const;
    void ShowFound(int row);
    // The name edited over a row that shows no name cell; EndRowRename renames or leaves it.
    bool StartRowRename(int row);
    void EndRowRename(bool rename);
    void StartFileDrag();
    // Up, Down, Page Up, Page Down, Home, End: the focus moves and, as a click there would, the
    // selection follows from the list's own anchor (Shift) or stays (Ctrl).
    bool MoveByKey(QKeyEvent* event);
    void OnRowsReset();
    void WalkStep();
    // The next slice of the walk read on the list's loader thread; false when it cannot be.
    bool WalkInBackground();
    void OnWalkBatch(quint64 generation, const CFileListWalk::CBatch& batch);
    void WalkDone();
    void OnSectionResized(int logical, int oldSize, int newSize);
    void SaveColumnWidths();
    void ApplyColumnWidths();
    int FieldIndex(const QString& name) const;
    bool RowFlag(int row, int field) const;

    CMirrowelDoc& m_doc;
    Kind m_kind;
    std::unique_ptr<CRecordSetList> m_pList;
    CRecordSetSelection* m_pSelection = nullptr;
    CFileListDelegate* m_pDelegate = nullptr;
    QString m_strFieldView;
    CFieldViewColumns m_fieldView;
    // Where the row's state is among the list's fields.
    int m_nDeletedField = -1;
    int m_nGhostField = -1;
    int m_nDontMarkField = -1;
    int m_nExtensionField = -1;
    int m_nFileInfoIdField = -1;
    int m_nFileInfoRowField = -1;

    std::vector<bool> m_checks; // one bit a row
    CFileListWalk m_walk;
    quint64 m_nWalkGeneration = 0; // bumped by every new walk: answers of an older one are dropped
    std::shared_ptr<std::atomic<bool>> m_pWalkStopped = std::make_shared<std::atomic<bool>>(false);
    QTimer m_walkTimer;
    QPointer<QLineEdit> m_pRowRename;
    qint32 m_nRowRenameKey = 0;
    QString m_strFindCriterion;
    int m_nPressRow = -1;
    QPoint m_pressPos;
    bool m_bPressInCheckArea = false;
    // A plain press on a row already selected may begin a drag of the whole selection: only a
    // release without a drag makes it the one selected row.
    bool m_bClickOnRelease = false;
    bool m_bApplyingColumns = false;
    std::map<int, int> m_pendingWidths; // column -> width
    QTimer m_widthTimer;
};
