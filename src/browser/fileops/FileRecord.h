#pragma once

#include "database/DbValue.h"

#include <QString>

#include <optional>

class CDbDatabase;

// A catalogued file as the file operations need it: its row, its catalogue's medium and its
// folder's text.
struct CFileRecord
{
    qint32 lFileId = 0;
    qint32 lCatalogueId = 0;
    qint32 lRelativePathId = 0;
    qint32 lSimilarityId = 0;
    QString strFile;
    bool bGhost = false;
    bool bDeleted = false;
    CDbValue fileInfoId;
    CDbValue alternateFile;
    CDbValue tth;
    CDbValue fileSize;
    CDbValue fileSizeHigh;
    CDbValue fileSizeDouble;
    // The catalogue's medium.
    QString strLocation;
    QString strVolume;
    qint32 lVolumeSerial = 0;
    // "" for the catalogue's root folder.
    QString strRelativePath;

    // The native path where the catalogue says the file is.
    QString Path() const;
};

// The file's row; nothing when it is gone (another program removed it meanwhile). Throws
// CDbException.
std::optional<CFileRecord> ReadFileRecord(CDbDatabase& db, qint32 fileId);

// The text of a folder ("" for 0, the root folder); nothing when the folder row is missing.
std::optional<QString> RelativePathText(CDbDatabase& db, qint32 relativePathId);

// Sets or clears the user's check mark of a file, adding the user's row when it has none.
void SetFileMark(CDbDatabase& db, qint32 fileId, const QString& userName, bool mark);
// The user's check mark of a file (false without a row).
bool FileMark(CDbDatabase& db, qint32 fileId, const QString& userName);
