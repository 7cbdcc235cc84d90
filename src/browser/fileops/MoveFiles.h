#pragma once

#include "browser/fileops/FileOpResult.h"

#include <QString>

#include <vector>

class CFileProblemsPrompt;
class CJobContext;

// Moving or copying catalogued files to another catalogue or folder: the files on their media
// and their rows. What the catalogue tree's drop menu and the file list's Move/Copy To hand over.
struct CMoveFilesRequest
{
    qint32 lCatalogueId = 0;     // the target catalogue
    qint32 lRelativePathId = 0;  // the target folder; 0 is the catalogue's root folder
    std::vector<qint32> fileIds; // the selected files, in list order
    qint32 lFocusedFileId = 0;   // the list's focused file when the operation began
    bool bKeepFolders = false;   // each file keeps its own folder ("to Subfolders")
    bool bCopy = false;
};

// The operation on the job's connection: a checking pass that foresees problems without touching
// anything, then doing passes. Problems are shown through prompt, which decides whether to go
// on; a doing pass with problems offers a re-attempt over the files still to do. Files done are
// never touched again. A move keeps the file's row (catalogue and folder change); a copy adds a
// row with a new FileId sharing the source's SimilarityId; a file that was overwritten at the
// destination has its row marked Deleted. A physical step that fails leaves the row unchanged, a
// row that cannot be written has its physical step undone. False when the operation could not
// begin (no target catalogue, its medium missing).
bool RunMoveFilesTo(CJobContext& job, const CMoveFilesRequest& request, CFileProblemsPrompt& prompt,
                    CFileOpResult& result);
