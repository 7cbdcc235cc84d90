#include "gui/browser/filelist/MirrowelView.h"

#include "browser/MirrowelDoc.h"
#include "browser/RecordSetList.h"
#include "browser/RecordSetSelection.h"
#include "browser/filelist/FileDragPayload.h"
#include "browser/filelist/FileListMarks.h"
#include "browser/filelist/FileListSql.h"
#include "common/UserInteraction.h"
#include "database/DbRetryPolicy.h"
#include "gui/browser/filelist/FileListDelegate.h"
#include "gui/browser/filelist/FileListHeader.h"

#include <QApplication>
#include <QDrag>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>

namespace
{
// One step of the totals walk: short enough that typing and scrolling never wait for it.
constexpr std::chrono::milliseconds kWalkBudget{4};
// How often the rows the walk read in the background are handed to the window at most.
constexpr std::chrono::milliseconds kWalkHandOver{100};
} // namespace

CMirrowelView::CMirrowelView(CMirrowelDoc& doc, Kind kind, QWidget* parent)
    : QTableView(parent), m_doc(doc), m_kind(kind), m_pList(std::make_unique<CRecordSetList>())
{
    m_pList->SetUserName(doc.UserName());
    m_pList->SetRetryPolicy(&doc.RetryPolicy());
    // The cache of cells holds what is painted: the columns, and what a row's look comes from
    // (its state, its icon, whether its file information is still there).
    m_pList->CacheShownFields({QStringLiteral("File.Deleted"), QStringLiteral("File.Ghost"),
                               QStringLiteral("File.DontMark"), QStringLiteral("File.Extension"),
                               QStringLiteral("File.FileInfoId"), QStringLiteral("FileInfo.FileInfoId")});
    setHorizontalHeader(new CFileListHeader(this));
    setModel(m_pList.get());
    m_pSelection = new CRecordSetSelection(*m_pList, *selectionModel(), this);
    m_pDelegate = new CFileListDelegate(*this);
    setItemDelegate(m_pDelegate);

    setAccessibleName(kind == Kind::Folder ? QStringLiteral("Folder File List")
                                           : QStringLiteral("Query File List"));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Names change through rename alone, which renames the file too.
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setShowGrid(false);
    setWordWrap(false);
    setSortingEnabled(false);
    verticalHeader()->hide();
    // Every row as tall as the others: the view never measures a million rows.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(qMax(fontMetrics().height() + 4, 18));
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { m_pList->DataCtrl_OnHeaderClick(column); });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, &CMirrowelView::OnSectionResized);

    m_walkTimer.setInterval(0);
    connect(&m_walkTimer, &QTimer::timeout, this, &CMirrowelView::WalkStep);
    m_widthTimer.setSingleShot(true);
    m_widthTimer.setInterval(400);
    connect(&m_widthTimer, &QTimer::timeout, this, &CMirrowelView::SaveColumnWidths);
    // After the selection has come back by key.
    connect(m_pList.get(), &QAbstractItemModel::modelReset, this, &CMirrowelView::OnRowsReset);
    // The rest of a list shown by its leading rows first: counted and its checks read once its
    // last slice is in.
    connect(m_pList.get(), &QAbstractItemModel::rowsInserted, this,
            [this]
            {
                m_checks.resize(static_cast<size_t>(m_pList->rowCount()), false);
                if (m_pList->IsLoading())
                    return;
                m_checks.shrink_to_fit();
                ResetTotals(true);
            });
}

CMirrowelView::~CMirrowelView()
{
    // The view lets go of the model before the model goes.
    m_walkTimer.stop();
    *m_pWalkStopped = true;
    // A name still being edited is dropped, before the list it would be written to goes.
    if (m_pRowRename)
    {
        disconnect(m_pRowRename, nullptr, this, nullptr);
        delete m_pRowRename;
    }
    setModel(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Field views

void CMirrowelView::ApplyCurrentFieldView()
{
    if (CDbDatabase* db = m_doc.Database())
        SetFileListFieldView(CFieldViewColumns::CurrentViewName(*db, m_doc.UserName(), m_kind));
}

void CMirrowelView::SetFileListFieldView(const QString& viewName)
{
    CDbDatabase* db = m_doc.Database();
    if (!db)
        return;
    m_strFieldView = viewName;
    m_pList->SetUserName(m_doc.UserName());
    // A view that is gone leaves the list without columns.
    m_fieldView.Load(*db, m_doc.UserName(), viewName);
    // An open still reading its keys was built for the old fields: it is started again too.
    const bool wasOpen = m_pList->IsOpen() || m_pList->IsLoading();
    m_bApplyingColumns = true;
    m_pList->ClearFieldsAndColumns();
    m_fieldView.ApplyTo(*m_pList);
    // Tells an empty file information from one whose row is gone.
    CDataCtrlDescriptor infoRow;
    infoRow.m_strFieldName = QStringLiteral("FileInfo.FileInfoId");
    m_pList->DataCtrl_AddField(infoRow);
    m_nDeletedField = FieldIndex(QStringLiteral("File.Deleted"));
    m_nGhostField = FieldIndex(QStringLiteral("File.Ghost"));
    m_nDontMarkField = FieldIndex(QStringLiteral("File.DontMark"));
    m_nExtensionField = FieldIndex(QStringLiteral("File.Extension"));
    m_nFileInfoIdField = FieldIndex(QStringLiteral("File.FileInfoId"));
    m_nFileInfoRowField = FieldIndex(QStringLiteral("FileInfo.FileInfoId"));
    ApplyColumnWidths();
    m_bApplyingColumns = false;
    if (wasOpen)
        m_pList->DataCtrl_OpenAsync(db);
}

int CMirrowelView::FieldIndex(const QString& name) const
{
    const auto& fields = m_pList->Fields();
    for (size_t i = 0; i < fields.size(); ++i)
        if (fields[i].m_strFieldName.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

int CMirrowelView::ColumnOfField(const QString& fieldName) const
{
    const auto& columns = m_pList->Sql().Columns();
    for (size_t i = 0; i < columns.size(); ++i)
        if (const CDataCtrlDescriptor* field = m_pList->Sql().ColumnField(static_cast<int>(i)))
            if (field->m_strFieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
                return static_cast<int>(i);
    return -1;
}

void CMirrowelView::ApplyColumnWidths()
{
    const auto& columns = m_pList->Sql().Columns();
    for (size_t i = 0; i < columns.size(); ++i)
    {
        const CDataCtrlDescriptor& column = columns[i];
        int width = column.m_nWidth > 0 ? column.m_nWidth : static_cast<int>(column.m_strCaption.size()) * 16;
        // The first column also carries the check box and the icon.
        if (i == 0)
            width = qMax(width, CFileListDelegate::kCheckWidth + CFileListDelegate::kIconWidth + 24);
        horizontalHeader()->resizeSection(static_cast<int>(i), width);
    }
}

void CMirrowelView::OnSectionResized(int logical, int, int newSize)
{
    if (m_bApplyingColumns || logical < 0 || logical >= static_cast<int>(m_fieldView.Columns().size()))
        return;
    // Written once the divider has come to rest.
    m_pendingWidths[logical] = newSize;
    m_widthTimer.start();
}

void CMirrowelView::SaveColumnWidths()
{
    CDbDatabase* db = m_doc.Database();
    if (!db || m_fieldView.ViewId() == 0)
    {
        m_pendingWidths.clear();
        return;
    }
    if (!m_doc.CanWrite())
    {
        // A job writing meanwhile: the widths are written once it has ended.
        if (m_doc.IsOpen() && !m_doc.IsReadOnly())
            m_widthTimer.start();
        return;
    }
    for (const auto& [column, width] : m_pendingWidths)
        if (column < static_cast<int>(m_fieldView.Columns().size()))
            CFieldViewColumns::SaveColumnWidth(
                *db, m_doc.RetryPolicy(), m_doc.UserName(), m_fieldView.ViewId(),
                m_fieldView.Columns()[static_cast<size_t>(column)].lFieldId, width);
    m_pendingWidths.clear();
}

// ---------------------------------------------------------------------------------------------
// Row state

void CMirrowelView::SetIconProvider(std::function<QIcon(const QString& extension)> provider)
{
    m_pDelegate->SetIconProvider(std::move(provider));
    viewport()->update();
}

bool CMirrowelView::IsChecked(int row) const
{
    return row >= 0 && row < static_cast<int>(m_checks.size()) && m_checks[static_cast<size_t>(row)];
}

bool CMirrowelView::RowFlag(int row, int field) const
{
    return field >= 0 && m_pList->CachedFieldValue(row, field).ToBool();
}

bool CMirrowelView::IsDeleted(int row) const
{
    return RowFlag(row, m_nDeletedField);
}

bool CMirrowelView::IsGhost(int row) const
{
    return RowFlag(row, m_nGhostField);
}

bool CMirrowelView::IsDontMark(int row) const
{
    return RowFlag(row, m_nDontMarkField);
}

QString CMirrowelView::Extension(int row) const
{
    return m_nExtensionField < 0 ? QString() : m_pList->CachedFieldValue(row, m_nExtensionField).ToString();
}

QString CMirrowelView::CellText(const QModelIndex& index) const
{
    QString text = index.data(Qt::DisplayRole).toString();
    const CDataCtrlDescriptor* field = m_pList->Sql().ColumnField(index.column());
    // Folders are stored with the separator catalogues have always used; people here read "/".
    if (field &&
        field->m_strFieldName.compare(QLatin1String("RelativePath.RelativePath"), Qt::CaseInsensitive) == 0)
        return text.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!field || !field->IsFileInfoField() || m_nFileInfoIdField < 0 || m_nFileInfoRowField < 0 ||
        index.data(CRecordSetList::LoadingRole).toBool())
        return text;
    const CDbValue infoId = m_pList->CachedFieldValue(index.row(), m_nFileInfoIdField);
    if (infoId.IsNull() || infoId.ToLong() == 0)
        return QString();
    return m_pList->CachedFieldValue(index.row(), m_nFileInfoRowField).IsNull() ? QStringLiteral("<Deleted>")
                                                                                : text;
}

int CMirrowelView::FocusedRow() const
{
    return m_pSelection->FocusedRow();
}

qint32 CMirrowelView::FocusedFileId() const
{
    return m_pList->Key(FocusedRow());
}

// ---------------------------------------------------------------------------------------------
// Commands

bool CMirrowelView::MarkRow(int clickedRow)
{
    CDbDatabase* db = m_doc.Database();
    if (!db || clickedRow < 0 || clickedRow >= m_pList->rowCount() || !m_doc.CanWrite())
        return false;
    // The clicked row joins the selection; the state is the opposite of its own, for all.
    if (!m_pSelection->IsSelected(clickedRow))
        selectionModel()->select(m_pList->index(clickedRow, 0),
                                 QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const bool mark = !IsChecked(clickedRow);
    emit statusText(mark ? QStringLiteral("Checking Files...") : QStringLiteral("Unchecking Files..."));
    const std::vector<int> rows = m_pSelection->SelectedRows();
    std::vector<qint32> keys;
    keys.reserve(rows.size());
    for (const int row : rows)
        keys.push_back(m_pList->Key(row));
    const bool written = CFileListMarks::WriteMarks(*db, m_doc.RetryPolicy(), m_doc.UserName(), keys, mark);
    if (written)
    {
        m_checks.resize(static_cast<size_t>(m_pList->rowCount()), false);
        for (const int row : rows)
            m_checks[static_cast<size_t>(row)] = mark;
        viewport()->update();
        ResetTotals(false);
    }
    emit statusText(QString());
    return written;
}

bool CMirrowelView::NeverAutoCheck()
{
    const int focused = FocusedRow();
    if (focused < 0 || !m_doc.CanWrite())
        return false;
    const bool value = !IsDontMark(focused);
    std::vector<int> rows = m_pSelection->SelectedRows();
    if (rows.empty())
        rows.push_back(focused);
    const std::vector<int> failed = CFileListMarks::SetNeverAutoCheck(*m_pList, rows, value);
    if (!failed.empty())
        m_doc.Interaction().MessageBox(QStringLiteral("Unable to set the Never Autocheck attribute"),
                                       QStringLiteral("Quarrane"), MsgIcon::Warning, MsgButtons::Ok);
    viewport()->update();
    return failed.empty();
}

void CMirrowelView::SelectChecked()
{
    emit statusText(QStringLiteral("Selecting checked..."));
    m_pSelection->SelectRows([this](int row) { return IsChecked(row); });
    emit statusText(QString());
}

void CMirrowelView::SelectAllRows()
{
    emit statusText(QStringLiteral("Selecting..."));
    m_pSelection->SelectAll();
    emit statusText(QString());
}

bool CMirrowelView::StartRename()
{
    const int row = FocusedRow();
    if (row < 0 || !m_doc.CanWrite() || IsEditing())
        return false;
    const int column = ColumnOfField(QStringLiteral("File.File"));
    if (column < 0 || horizontalHeader()->isSectionHidden(column))
        return StartRowRename(row);
    const QModelIndex index = m_pList->index(row, column);
    scrollTo(index);
    return edit(index, QAbstractItemView::AllEditTriggers, nullptr);
}

bool CMirrowelView::StartRowRename(int row)
{
    const QHeaderView* header = horizontalHeader();
    int first = -1;
    for (int visual = 0; visual < header->count() && first < 0; ++visual)
        if (!header->isSectionHidden(header->logicalIndex(visual)))
            first = header->logicalIndex(visual);
    if (first < 0 || !m_pList->DataCtrl_IsRowValid(row))
        return false;
    const QModelIndex index = m_pList->index(row, first);
    scrollTo(index);
    // The delegate's own editor, filled and placed as it fills and places it over a name cell.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    auto* editor = static_cast<QLineEdit*>(m_pDelegate->createEditor(viewport(), option, index));
    m_pDelegate->setEditorData(editor, index);
    m_pDelegate->updateEditorGeometry(editor, option, index);
    m_pRowRename = editor;
    m_nRowRenameKey = m_pList->Key(row);
    // Return or leaving the editor renames, as with a name cell; Escape leaves the name.
    editor->installEventFilter(this);
    connect(editor, &QLineEdit::editingFinished, this, [this] { EndRowRename(true); });
    editor->show();
    editor->setFocus();
    return true;
}

void CMirrowelView::EndRowRename(bool rename)
{
    const QPointer<QLineEdit> editor = std::exchange(m_pRowRename, nullptr);
    if (!editor)
        return;
    disconnect(editor, nullptr, this, nullptr);
    editor->removeEventFilter(this);
    const QString name = editor->text();
    editor->hide();
    editor->deleteLater();
    setFocus();
    // The row is found again by its file: the rows may have moved meanwhile.
    const int row = m_pList->RowOfKey(m_nRowRenameKey);
    if (rename && row >= 0)
        FinishRename(row, name);
}

bool CMirrowelView::eventFilter(QObject* watched, QEvent* event)
{
    // The keys that end the edit stay with it: a Return passed on to the list would open the file.
    if (watched == m_pRowRename && event->type() == QEvent::KeyPress)
    {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter)
        {
            EndRowRename(key != Qt::Key_Escape);
            return true;
        }
    }
    return QTableView::eventFilter(watched, event);
}

CFileRename::EResult CMirrowelView::FinishRename(int row, const QString& newName)
{
    CDbDatabase* db = m_doc.Database();
    if (!db || !m_doc.CanWrite())
        return CFileRename::EResult::Unchanged;
    CFileRename rename(*db, m_doc.Interaction());
    const CFileRename::EResult result = rename.Rename(*m_pList, row, newName);
    switch (result)
    {
    case CFileRename::EResult::Renamed:
    case CFileRename::EResult::Unchanged:
    case CFileRename::EResult::MediumMissing:
        break;
    case CFileRename::EResult::RecordFailed:
        m_doc.Interaction().MessageBox(
            QStringLiteral("The file could not be renamed in the catalogue; it keeps its "
                           "old name."),
            QStringLiteral("Rename"), MsgIcon::Warning, MsgButtons::Ok);
        break;
    default:
        m_doc.Interaction().MessageBox(rename.Problem() + (rename.Solution().isEmpty()
                                                               ? QString()
                                                               : QStringLiteral("\n\n") + rename.Solution()),
                                       QStringLiteral("Rename"), MsgIcon::Warning, MsgButtons::Ok);
        break;
    }
    return result;
}

void CMirrowelView::ShowFound(int row)
{
    setFocus();
    m_pSelection->Click(row);
    scrollTo(m_pList->index(row, 0));
}

bool CMirrowelView::JumpToLetter(QChar typed)
{
    if (m_pList->rowCount() == 0)
        return false;
    const int row = m_pList->DataCtrl_FindFirst(ListCriterion(LetterJumpCriterion(typed), m_pList->Fields()));
    if (row < 0)
        return false;
    ShowFound(row);
    return true;
}

bool CMirrowelView::FindFirst(const QString& criterion)
{
    m_strFindCriterion = criterion;
    const int row = m_pList->DataCtrl_FindFirst(ListCriterion(criterion, m_pList->Fields()));
    if (row < 0)
    {
        emit statusText(QStringLiteral("Item not found"));
        return false;
    }
    ShowFound(row);
    return true;
}

bool CMirrowelView::FindNext(const QString& criterion)
{
    if (!criterion.isEmpty())
        m_strFindCriterion = criterion;
    if (m_strFindCriterion.isEmpty())
    {
        emit findRequested();
        return false;
    }
    const int row =
        m_pList->DataCtrl_FindNext(ListCriterion(m_strFindCriterion, m_pList->Fields()), FocusedRow());
    if (row < 0)
    {
        emit statusText(QStringLiteral("Item not found"));
        return false;
    }
    ShowFound(row);
    return true;
}

void CMirrowelView::Requery()
{
    emit statusText(QStringLiteral("Requerying..."));
    m_pList->DataCtrl_RequeryAsync();
    emit statusText(QString());
}

// ---------------------------------------------------------------------------------------------
// Totals

void CMirrowelView::OnRowsReset()
{
    // Rows may have moved as well as changed: the check bytes are read again with the totals.
    m_checks.assign(static_cast<size_t>(m_pList->rowCount()), false);
    ResetTotals(true);
    if (currentIndex().isValid())
        scrollTo(currentIndex());
}

void CMirrowelView::ResetTotals(bool loadChecks)
{
    ++m_nWalkGeneration;
    // A walk still reading stops at its next step.
    *m_pWalkStopped = true;
    m_pWalkStopped = std::make_shared<std::atomic<bool>>(false);
    m_walk.Reset(loadChecks || m_checks.size() != static_cast<size_t>(m_pList->rowCount()));
    m_checks.resize(static_cast<size_t>(m_pList->rowCount()), false);
    emit totalsChanged(m_walk.Totals());
    if (m_doc.Database())
        m_walkTimer.start();
}

void CMirrowelView::WalkStep()
{
    CDbDatabase* db = m_doc.Database();
    if (!db)
    {
        m_walkTimer.stop();
        return;
    }
    // Edits not committed yet are seen by the document's own connection alone.
    if (!db->InTransaction() && WalkInBackground())
    {
        m_walkTimer.stop();
        return;
    }
    if (m_walk.Step(*db, m_doc.UserName(), *m_pList, m_checks, kWalkBudget))
        WalkDone();
}

bool CMirrowelView::WalkInBackground()
{
    std::vector<qint32> keys = m_walk.NextKeys(*m_pList, CFileListWalk::kSliceRows);
    if (keys.empty())
        return false; // finished where it is
    const quint64 generation = m_nWalkGeneration;
    // The rows are read on the list's loader thread, between its other reads; the window only
    // counts them, a few batches a second.
    auto reader = std::make_shared<CFileListWalk::CSliceReader>(
        std::move(keys), m_doc.UserName(), kWalkHandOver,
        [this, generation](CFileListWalk::CBatch batch)
        {
            QMetaObject::invokeMethod(
                this, [this, generation, batch = std::move(batch)] { OnWalkBatch(generation, batch); },
                Qt::QueuedConnection);
        });
    const std::shared_ptr<const std::atomic<bool>> stopped = m_pWalkStopped;
    return m_pList->ReadWhenIdle([reader, stopped](CDbDatabase* db)
                                 { return !*stopped && reader->Step(db); });
}

void CMirrowelView::OnWalkBatch(quint64 generation, const CFileListWalk::CBatch& batch)
{
    if (generation != m_nWalkGeneration)
        return; // the walk started over meanwhile
    m_walk.Take(batch, m_checks);
    if (m_walk.IsDone())
        WalkDone();
    else if (batch.bSliceDone && !WalkInBackground())
        m_walkTimer.start();
}

void CMirrowelView::WalkDone()
{
    m_walkTimer.stop();
    if (m_walk.LoadsChecks())
        viewport()->update();
    emit totalsChanged(m_walk.Totals());
}

// ---------------------------------------------------------------------------------------------
// Mouse and keys

bool CMirrowelView::InCheckArea(const QPoint& pos) const
{
    const int first = horizontalHeader()->logicalIndex(0);
    const QModelIndex index = indexAt(pos);
    if (!index.isValid() || index.column() != first)
        return false;
    const QRect cell = visualRect(index);
    return pos.x() >= cell.left() && pos.x() < cell.left() + CFileListDelegate::kCheckWidth + 1;
}

void CMirrowelView::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !index.isValid())
    {
        QTableView::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_nPressRow = index.row();
    m_pressPos = event->position().toPoint();
    m_bPressInCheckArea = InCheckArea(m_pressPos);
    m_bClickOnRelease = false;
    // A press on the check box checks the selection; it does not change it.
    if (m_bPressInCheckArea)
    {
        event->accept();
        return;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier);
    if (modifiers == Qt::NoModifier && m_pSelection->IsSelected(index.row()))
    {
        m_bClickOnRelease = true;
        m_pSelection->SetFocusedRow(index.row());
    }
    else
        m_pSelection->Click(index.row(), event->modifiers());
    event->accept();
}

void CMirrowelView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton) || m_nPressRow < 0)
    {
        QTableView::mouseMoveEvent(event);
        return;
    }
    // The list keeps its own selection: dragging over rows never sweeps them into it.
    event->accept();
    if (m_bPressInCheckArea || !m_pSelection->IsSelected(m_nPressRow) ||
        (event->position().toPoint() - m_pressPos).manhattanLength() < QApplication::startDragDistance())
        return;
    m_bClickOnRelease = false;
    m_nPressRow = -1;
    StartFileDrag();
}

QMimeData* CMirrowelView::CreateDragData() const
{
    CDbDatabase* db = m_doc.Database();
    if (!db)
        return nullptr;
    const std::optional<CFileIdListPayload> payload =
        MakeFileIdListPayload(*db, m_doc.Path(), m_pSelection->SelectedKeys(), FocusedFileId());
    return payload ? CreateFileIdListMimeData(*payload) : nullptr;
}

void CMirrowelView::StartFileDrag()
{
    QMimeData* data = CreateDragData();
    if (!data)
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    // The drop target's menu says whether the files are moved or copied; the list is read again
    // by that operation, never by the drag's result.
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
}

void CMirrowelView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
    {
        QTableView::mouseReleaseEvent(event);
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    if (m_bPressInCheckArea && index.isValid() && index.row() == m_nPressRow &&
        InCheckArea(event->position().toPoint()))
        MarkRow(index.row());
    else if (m_bClickOnRelease && m_nPressRow >= 0)
        m_pSelection->Click(m_nPressRow);
    m_nPressRow = -1;
    m_bPressInCheckArea = false;
    m_bClickOnRelease = false;
    event->accept();
}

void CMirrowelView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && index.isValid() && !InCheckArea(event->position().toPoint()))
    {
        emit openRequested(m_pList->Key(index.row()));
        event->accept();
        return;
    }
    // A quick second click on a check box is a second click, not an open.
    mousePressEvent(event);
}

void CMirrowelView::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (state() == QAbstractItemView::EditingState)
    {
        QTableView::keyPressEvent(event);
        return;
    }
    switch (event->key())
    {
    case Qt::Key_Space:
        if (!(modifiers & Qt::ControlModifier))
        {
            MarkRow(FocusedRow());
            event->accept();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (FocusedRow() >= 0)
            emit openRequested(FocusedFileId());
        event->accept();
        return;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        event->ignore();
        return;
    default:
        break;
    }
    if (MoveByKey(event))
        return;
    const QString text = event->text();
    if (text.size() == 1 && !(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) &&
        text[0].unicode() >= 33 && text[0].unicode() <= 175)
    {
        JumpToLetter(text[0]);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

bool CMirrowelView::MoveByKey(QKeyEvent* event)
{
    const int key = event->key();
    if (key != Qt::Key_Up && key != Qt::Key_Down && key != Qt::Key_PageUp && key != Qt::Key_PageDown &&
        key != Qt::Key_Home && key != Qt::Key_End)
        return false;
    event->accept();
    const int rowCount = m_pList->rowCount();
    if (rowCount == 0)
        return true;
    const int focused = FocusedRow();
    int row = focused < 0 ? 0 : focused;
    switch (key)
    {
    case Qt::Key_Up:
        row = focused < 0 ? 0 : std::max(focused - 1, 0);
        break;
    case Qt::Key_Down:
        row = focused < 0 ? 0 : std::min(focused + 1, rowCount - 1);
        break;
    case Qt::Key_Home:
        row = 0;
        break;
    case Qt::Key_End:
        row = rowCount - 1;
        break;
    default:
        // A page as the view shows it now.
        if (focused >= 0)
        {
            const QModelIndex next =
                moveCursor(key == Qt::Key_PageUp ? MovePageUp : MovePageDown, Qt::NoModifier);
            if (next.isValid())
                row = next.row();
        }
        break;
    }
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (modifiers & Qt::ShiftModifier)
        m_pSelection->Click(row, Qt::ShiftModifier);
    else if (modifiers & Qt::ControlModifier)
        m_pSelection->MoveFocus(row);
    else
        m_pSelection->Click(row);
    scrollTo(m_pList->index(row, 0));
    return true;
}
