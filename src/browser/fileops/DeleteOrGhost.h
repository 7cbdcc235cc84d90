#pragma once

#include "browser/fileops/FileOpResult.h"

#include <QString>

#include <vector>

class CDbDatabase;
class CFileProblemsPrompt;
class CJobContext;
class CUserInteraction;

// Deleting and ghosting catalogued files. Deleting sends the file to the trash and marks its row
// Deleted; ghosting sends it to the trash too but keeps the row as a ghost (Ghost set, Deleted
// cleared) and clears the user's check mark. A checking pass tries renaming each file (a file
// that cannot be renamed cannot be removed either) and lists the problems; the doing pass
// changes each row first and then removes the file, taking the row's change back when the
// removal fails, so that a row never claims a removal that did not happen.
bool RunDeleteOrGhost(CJobContext& job, const std::vector<qint32>& fileIds, bool ghost,
                      const QString& userName, CFileProblemsPrompt& prompt, CFileOpResult& result);

// The name a file is tried under before it is removed: its folder, its title and "._qr"; a
// number is added while that name is taken, so that the trial never replaces another file.
QString TrialRenamePath(const QString& path);

// The files about to be removed that would take the last catalogued copy of their contents with
// them: groups of two or more live copies (not deleted, not ghosts) of one size and TTH, every
// one of which is among the files. Files without a TTH, and files with one copy only, are never
// counted.
struct CEveryCopyCheck
{
    // How many contents would lose every copy.
    int nContents = 0;
    // Of each such group, the copy that "keep one copy of each" spares: the first in the
    // duplicate search's keep order (a CD-ROM copy, then the highest keep priority).
    std::vector<qint32> keepFileIds;
};
CEveryCopyCheck FindFilesLosingEveryCopy(CDbDatabase& db, const std::vector<qint32>& fileIds);

// The person's answer to the confirmation.
enum class EDeleteConfirmation
{
    Cancel,
    All,         // remove every selected file
    KeepOneCopy, // spare the copies that keep each content alive
};

// The confirmation before deleting or ghosting: a Yes/No question, or, when contents would lose
// every copy, a question that also offers to keep one copy of each.
EDeleteConfirmation ConfirmDeleteOrGhost(CUserInteraction& ui, bool ghost, const CEveryCopyCheck& check);
QString DeleteConfirmationText(bool ghost);
QString DeleteConfirmationCaption(bool ghost);

// fileIds without the ones kept, in their order.
std::vector<qint32> WithoutKeptCopies(const std::vector<qint32>& fileIds, const std::vector<qint32>& keep);

// The row the list focuses after the operation (before any file failed): deleting, the first
// unselected row after the first selected one, else the row above it; ghosting, the row above
// the first selected one; row 0 when that is the first. Nothing selected: the focused row.
int RowToFocusAfterDeleteOrGhost(const std::vector<int>& selectedRows, int rowCount, int focusedRow,
                                 bool ghost);
