#pragma once

#include "browser/fileops/CheckToSize.h"
#include "browser/fileops/FileOpResult.h"
#include "browser/fileops/MoveFiles.h"

#include <QObject>
#include <QPointer>

class CFileProblemsPrompt;
class CMirrowelDoc;
class CRecordSetList;
class QItemSelectionModel;

// The file operations of the browser's commands, over the open document: moving and copying
// files to a catalogue or folder, deleting and ghosting the selected files of a list, and
// checking a list's files to a size. Moving and deleting run as the document's jobs (their
// passes off the window's thread, Esc between files); the list they came from is read again
// when they end, with the focus where the person expects it.
class CFileOperations final : public QObject
{
    Q_OBJECT

public:
    CFileOperations(CMirrowelDoc& doc, CFileProblemsPrompt& prompt, QObject* parent = nullptr);

    // Moves or copies the request's files. list and selection (either may be null) are the file
    // list that showed them: it is read again afterwards. False when nothing started (no
    // database, nothing to move, a job runs already).
    bool MoveFilesTo(const CMoveFilesRequest& request, CRecordSetList* list = nullptr,
                     QItemSelectionModel* selection = nullptr);

    // Deletes or ghosts the selected files of list, after the confirmation. False when nothing
    // started.
    bool DeleteOrGhostSelected(CRecordSetList& list, QItemSelectionModel* selection, bool ghost);

    // Checks files of the list to fill capacity (on the window's thread: one walk of the list).
    bool CheckFilesToSize(CRecordSetList& list, ECheckToSizeOrder order, qint64 capacity,
                          CCheckToSizeResult* pResult = nullptr);

    // The selected rows' keys in list order, and the focused row's key (0 for none).
    static std::vector<qint32> SelectedFileIds(const CRecordSetList& list,
                                               const QItemSelectionModel* selection);

signals:
    // A move, copy, delete or ghost has ended and its list was read again.
    void finished(const CFileOpResult& result);

private:
    // Reads the list again, deselects the files handled and, with select, focuses and selects the
    // file's row (the first row when the file is gone).
    void Refresh(CRecordSetList* list, QItemSelectionModel* selection, qint32 focusFileId, bool select,
                 const std::vector<qint32>& doneFileIds);

    CMirrowelDoc& m_doc;
    CFileProblemsPrompt& m_prompt;
};
