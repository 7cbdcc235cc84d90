#pragma once

#include <QString>

// The file-system calls the file operations are built on. Every function returns a result code
// of SystemErrorCodes.h (0 on success) and never throws.

struct CFileStatus
{
    unsigned m_nAttributes = 0;  // FileAttributes.h bits
    bool m_bDirectory = false;
    bool m_bSymbolicLink = false; // the name is a link (the other fields describe its target)
    bool m_bRegular = false;      // a regular file (no folder, pipe, socket or device)
    quint32 m_nLinkCount = 0;     // names of the same inode (hard links)
    quint64 m_nSize = 0;
    quint64 m_nDevice = 0;
    quint64 m_nInode = 0;
    qint64 m_nModifiedSecs = 0;   // last write, seconds since 1970 UTC
};

// The status of the entry a path names, following symbolic links; a link whose target is gone
// is still an entry (a file with the Normal bit). Code 2 when there is no such entry.
int QueryFileStatus(const QString& path, CFileStatus& status);

// The kind, size, device, inode and last-write time only, with one system call where the entry is
// there: enough for a task that compares times, and a small part of the cost of the full status
// for the many small files of a catalogue. Falls back to QueryFileStatus otherwise (a link whose
// target is gone). Attributes are not read.
int QueryFileTimes(const QString& path, CFileStatus& status);

// True when both paths name the same existing file (same device and inode).
bool IsSameFile(const QString& path1, const QString& path2);

// True when another process has the SQLite database at databasePath open in WAL mode, idle or
// not: every such connection holds a read lock on the dead-man byte of the "-shm" file for as long
// as it is open. Locks of this process do not count.
bool IsWalDatabaseOpenElsewhere(const QString& databasePath);

// Creates one folder; code 183 when something of that name exists already.
int MakeFolder(const QString& path);

// Deletes a file, a symbolic link or an empty folder for good (145 for a folder with entries).
int DeleteEntry(const QString& path);

// Renames within a volume; 17 when source and destination lie on different volumes. Replaces
// an existing destination file, as rename(2) does.
int RenameEntry(const QString& source, const QString& destination);

// Copies a file's contents, permission bits and last-write time to a destination that must not
// exist yet, flushes it to the medium and checks its size against the source's. A failure
// removes what was written of the destination.
int CopyFileToNew(const QString& source, const QString& destination);

// Moves a file or folder: a rename on one volume; across volumes a copy (folders with their
// whole content), flushed and checked for size, after which the source is removed. When the
// copy or the removal of the source fails the copy is removed and the source stays in place.
int MoveEntry(const QString& source, const QString& destination);
