#include "browser/fileops/FileOperations.h"

#include "browser/JobRunner.h"
#include "browser/MirrowelDoc.h"
#include "browser/RecordSetList.h"
#include "browser/fileops/DeleteOrGhost.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/UserInteraction.h"

#include <QItemSelectionModel>

#include <algorithm>
#include <memory>

namespace
{
// The rows with a selected cell, in order: a list selects whole rows, but a row counts however
// much of it is selected.
std::vector<int> SelectedRows(const QItemSelectionModel* selection)
{
    std::vector<int> rows;
    if (!selection)
        return rows;
    for (const QItemSelectionRange& range : selection->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}
} // namespace

CFileOperations::CFileOperations(CMirrowelDoc& doc, CFileProblemsPrompt& prompt, QObject* parent)
    : QObject(parent), m_doc(doc), m_prompt(prompt)
{
}

std::vector<qint32> CFileOperations::SelectedFileIds(const CRecordSetList& list,
                                                     const QItemSelectionModel* selection)
{
    std::vector<qint32> ids;
    for (const int row : SelectedRows(selection))
        if (const qint32 key = list.Key(row))
            ids.push_back(key);
    return ids;
}

bool CFileOperations::MoveFilesTo(const CMoveFilesRequest& request, CRecordSetList* list,
                                  QItemSelectionModel* selection)
{
    if (!m_doc.IsOpen() || !m_doc.CanWrite() || request.fileIds.empty())
        return false;
    auto result = std::make_shared<CFileOpResult>();
    QPointer<CRecordSetList> pList(list);
    QPointer<QItemSelectionModel> pSelection(selection);
    const qint32 focused = request.lFocusedFileId;
    CFileProblemsPrompt& prompt = m_prompt;
    return m_doc.Jobs().Start(
        {QStringLiteral("CMirrowelDoc::MoveFilesTo()"), m_doc.Path(), m_doc.UserName(), true},
        [request, result, &prompt](CJobContext& job)
        { return RunMoveFilesTo(job, request, prompt, *result); },
        [this, result, pList, pSelection, focused](bool)
        {
            if (result->bDoingPassRan && pList && !m_doc.IsClosing())
                Refresh(pList, pSelection, result->lFailedFileId ? result->lFailedFileId : focused, true,
                        result->doneFileIds);
            emit finished(*result);
        });
}

bool CFileOperations::DeleteOrGhostSelected(CRecordSetList& list, QItemSelectionModel* selection, bool ghost)
{
    if (!m_doc.IsOpen() || !m_doc.CanWrite())
        return false;
    const std::vector<qint32> ids = SelectedFileIds(list, selection);
    const std::vector<int> rows = SelectedRows(selection);
    const int focusedRow = selection ? selection->currentIndex().row() : -1;
    const int focusRow = RowToFocusAfterDeleteOrGhost(rows, list.rowCount(), focusedRow, ghost);
    const qint32 focusFileId = focusRow >= 0 ? list.Key(focusRow) : 0;
    if (ids.empty())
        return false;

    auto result = std::make_shared<CFileOpResult>();
    const QString user = m_doc.UserName();
    CFileProblemsPrompt& prompt = m_prompt;
    QPointer<CRecordSetList> pList(&list);
    QPointer<QItemSelectionModel> pSelection(selection);
    return m_doc.Jobs().Start(
        {ghost ? QStringLiteral("CMirrowelView::DeleteOrGhostSelected(ghost)")
               : QStringLiteral("CMirrowelView::DeleteOrGhostSelected(delete)"),
         m_doc.Path(), user, true},
        [ids, ghost, user, result, &prompt](CJobContext& job)
        {
            const CEveryCopyCheck check = FindFilesLosingEveryCopy(job.Database(), ids);
            switch (ConfirmDeleteOrGhost(job.Interaction(), ghost, check))
            {
            case EDeleteConfirmation::Cancel:
                return false;
            case EDeleteConfirmation::KeepOneCopy:
                return RunDeleteOrGhost(job, WithoutKeptCopies(ids, check.keepFileIds), ghost, user, prompt,
                                        *result);
            case EDeleteConfirmation::All:
                break;
            }
            return RunDeleteOrGhost(job, ids, ghost, user, prompt, *result);
        },
        [this, result, pList, pSelection, focusFileId, ghost](bool)
        {
            if (result->bDoingPassRan && pList && !m_doc.IsClosing())
            {
                const bool select = !ghost || result->lFailedFileId != 0;
                Refresh(pList, pSelection, result->lFailedFileId ? result->lFailedFileId : focusFileId,
                        select, result->doneFileIds);
            }
            emit finished(*result);
        });
}

bool CFileOperations::CheckFilesToSize(CRecordSetList& list, ECheckToSizeOrder order, qint64 capacity,
                                       CCheckToSizeResult* pResult)
{
    if (!m_doc.IsOpen() || !m_doc.CanWrite() || !list.IsOpen())
        return false;
    CUserInteraction& ui = m_doc.Interaction();
    CCheckToSizeResult result;
    bool done = false;
    {
        CWaitCursorScope wait(ui);
        ui.SetStatusText(QStringLiteral("Checking files..."));
        try
        {
            done = ::CheckFilesToSize(*m_doc.Database(), list.Sql(), order, capacity, m_doc.UserName(),
                                      m_doc.RetryPolicy(), result);
        }
        catch (const CDbException& e)
        {
            LOG_EXCEPTION(e, QString(),
                          QStringLiteral("CMirrowelView::OnMwFilelistMarkToSize() - FileRecSet.Open"));
        }
        ui.SetStatusText(QString());
    }
    if (!result.checkedFileIds.empty())
        list.DataCtrl_RequeryAsync();
    if (pResult)
        *pResult = result;
    return done;
}

void CFileOperations::Refresh(CRecordSetList* list, QItemSelectionModel* selection, qint32 focusFileId,
                              bool select, const std::vector<qint32>& doneFileIds)
{
    m_doc.ShowStatus(QStringLiteral("Refreshing..."));
    list->DataCtrl_Requery();
    m_doc.ShowStatus(QString());
    if (!selection || list->rowCount() == 0)
        return;
    // The files handled leave the selection (a list that still shows them, a ghost or a copied
    // file, does not select them again); those left selected are the ones that failed.
    QItemSelection done;
    for (const int row : list->RowsOfKeys(doneFileIds))
        done.select(list->index(row, 0), list->index(row, 0));
    if (!done.isEmpty())
        selection->select(done, QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    if (!select)
        return;
    const int row = focusFileId ? list->RowOfKey(focusFileId) : -1;
    selection->setCurrentIndex(list->index(row < 0 ? 0 : row, 0),
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}
