#pragma once

#include <QString>

// File-system primitives with the texts the person sees. Every operation returns a result code
// (platform/SystemErrorCodes.h: 0 success, 2 file not found, 5 access denied, 80 file exists,
// 112 disk full, 123 invalid name, 145 folder not empty, 183 already exists, 206 name too long,
// 1223 cancelled ...) and, when the caller passes targets, fills a *problem* (what went wrong:
// a caption, or the "Problem" column of the file problems list) and a *solution* (what the person
// can do). Either target may be nullptr. Nothing here throws or asks the person anything.
//
// Paths are native ("/"-separated, absolute). Where a comparison decides whether two names are
// the same file, it follows the case rule of the volume that holds them (ProcessVolumeTable()):
// exact on Linux filesystems, without regard to case on FAT, exFAT, NTFS, CDs and Windows shares.

// Removes a file or folder. Without permanent it goes to the freedesktop.org Trash (never
// deleted, never asking); with permanent a file is deleted and an empty folder removed.
// Failure: "Unable to delete - <system text>" / "Make sure delete file access permission is
// available for this file". An entry still present after a reported success gives 80 and
// "Unable to delete file".
int RemoveFile(const QString& path, QString* pProblem, QString* pSolution, bool permanent = false);

// True when the folder holds no entry, or cannot be listed.
bool FolderIsEmpty(const QString& folder);

// Sends an empty folder to the trash and, with upward, then each parent that has become empty,
// stopping at the first folder that is not empty, at a volume's mount point and at stopAt (a
// folder that is never removed, nor anything above it; empty for no limit). A folder that is
// not empty, or cannot be listed, is never removed: the result is then 145 (2 when it does not
// exist).
int RemoveEmptyFolders(const QString& path, bool upward, QString* pProblem, QString* pSolution,
                       const QString& stopAt = {});

// The attribute bits (platform/FileAttributes.h) of the entry the path names (a trailing
// separator is ignored), 0 when there is none. A file exists when bits other than Directory are
// set; a folder when Directory is.
unsigned FindAttributes(const QString& path);

// Creates one folder; one that exists already counts as created.
int CreateFolder(const QString& path, QString* pProblem, QString* pSolution);
// Creates a folder with every missing folder above it. Every component of the text is a folder,
// dots or not. Access denied: "Folder creation access denied at the destination" / "Enable
// write access to the destination location".
int CreateFolderPath(const QString& path, QString* pProblem, QString* pSolution);

// How MoveFileTo reads its destination.
enum MoveDestinationKind : int
{
    MOVE_DEST_BY_TEXT = 0,  // a destination whose last component has no "." is a folder
    MOVE_DEST_FOLDER = 1,   // the folder that receives the file under its own name
    MOVE_DEST_FILE = 2,     // the full path of the moved file
};

// Moves (or renames) a file, creating the destination folder. An existing destination file
// goes to the trash first; a file cannot replace a folder. The file moved onto itself gives 183
// "The source file cannot be moved to itself" and stays untouched. Across volumes the file is
// copied, flushed, checked for size and only then removed from its source.
int MoveFileTo(const QString& source, const QString& destination, int destinationKind,
               QString* pProblem, QString* pSolution);
// Copies a file (contents, permissions and last-write time); the destination is read as kind 0.
// An existing destination file goes to the trash first.
int CopyFileTo(const QString& source, const QString& destination, QString* pProblem, QString* pSolution);
// The same with the destination read as MoveFileTo reads it: a folder whose name has a "." and a
// file whose name has none are told apart by the kind, not the text.
int CopyFileTo(const QString& source, const QString& destination, int destinationKind, QString* pProblem,
               QString* pSolution);

// Foresees the problems of moving or copying source into destinationFolder without touching
// anything: 1 when none is foreseen, else 0 with the texts of the last problem found.
int CheckMoveCopy(const QString& source, const QString& destinationFolder, QString* pProblem,
                  QString* pSolution, bool copy);

// Checks a whole path against the rules that keep catalogued media portable: not empty, at most
// 260 characters, no control characters, none of * ? " < > |, no reserved device name (CON,
// PRN, AUX, CLOCK$, NUL, COM and LPT with any number) as the file's title. 0, 123 or 206.
int ValidatePathName(const QString& path, QString* pProblem);

// If the path names a desktop link (a .desktop file of Type=Link to a local file), it becomes
// the link's target and the result is 0. Otherwise a negative code and the path is unchanged.
int ResolveShortcut(QString& path);
