#pragma once

#include "browser/models/CatalogueTreeRecord.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

class QMimeData;

// What the browser's drags carry, as MIME data of our own types. Each payload keeps the fixed
// byte layout the program has always used (little-endian 32-bit fields, the database path
// NUL-terminated in a fixed field), so a drop can be told apart from foreign data by its size.
// A database path longer than its field is cut there and follows the fixed part whole, in UTF-8:
// a deep path never makes a drag fail or a drop land in another database.

inline constexpr const char* kCatalogueMimeType = "application/x-quarrane-catalogue";
inline constexpr const char* kQueryMimeType = "application/x-quarrane-query";
inline constexpr const char* kFileIdListMimeType = "application/x-quarrane-fileid-list";

// A group or catalogue of the catalogue browser: its record and the database it belongs to.
struct CCatalogueDragPayload
{
    static constexpr int kPathBytes = 272;
    static constexpr int kSize = 5 * 4 + kPathBytes; // 292

    CCatalogueTreeRecord record;
    QString strDatabasePath;

    QByteArray Encode() const;
    // Nothing for data of another size or layout, or a kind that is not 1 to 3.
    static std::optional<CCatalogueDragPayload> Decode(const QByteArray& bytes);
};

// The selected files of the file list: where the first of them lies, the file that takes the focus
// after a move, and every selected FileId.
struct CFileIdListPayload
{
    static constexpr int kPathBytes = 524;
    static constexpr int kHeaderSize = kPathBytes + 5 * 4; // 544

    QString strDatabasePath;
    qint32 lGroupId = 0;        // the group of the first selected file's catalogue
    qint32 lCatalogueId = 0;    // that catalogue
    qint32 lRelativePathId = 0; // the first selected file's folder
    qint32 lFocusFileId = 0;    // the row that takes the focus after a move
    std::vector<qint32> fileIds;

    QByteArray Encode() const;
    // Nothing when the size does not match the count it holds, or the count is negative.
    static std::optional<CFileIdListPayload> Decode(const QByteArray& bytes);
};

// The MIME data of a drag; the caller owns it (a QDrag takes it).
QMimeData* CreateCatalogueMimeData(const CCatalogueDragPayload& payload);
QMimeData* CreateFileIdListMimeData(const CFileIdListPayload& payload);
std::optional<CCatalogueDragPayload> CatalogueDragPayload(const QMimeData* data);
std::optional<CFileIdListPayload> FileIdListPayload(const QMimeData* data);

// Two database paths name the same database: compared without regard to case, as the program
// always has, after making them absolute and clean.
bool IsSameDatabasePath(const QString& a, const QString& b);
