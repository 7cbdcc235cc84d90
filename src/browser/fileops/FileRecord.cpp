#include "browser/fileops/FileRecord.h"

#include "common/FilePath.h"
#include "database/DbDatabase.h"

QString CFileRecord::Path() const
{
    return CatalogueFilePath(strLocation, strRelativePath, strFile);
}

std::optional<CFileRecord> ReadFileRecord(CDbDatabase& db, qint32 fileId)
{
    CDbStatement st = db.PrepareSqlite(QStringLiteral(
        "SELECT f.CatalogueId, f.RelativePathId, f.File, f.Ghost, f.Deleted, f.SimilarityId, f.FileInfoId, "
        "f.AlternateFile, f.TTH, f.FileSize, f.FileSizeHigh, f.FileSizeDouble, c.Location, c.Volume, "
        "c.VolumeSerial, r.RelativePath "
        "FROM \"File\" f JOIN \"Catalogue\" c ON c.CatalogueId = f.CatalogueId "
        "LEFT JOIN \"RelativePath\" r ON r.RelativePathId = f.RelativePathId WHERE f.FileId = ?"));
    st.Bind(1, fileId);
    if (!st.Step())
        return std::nullopt;
    CFileRecord r;
    r.lFileId = fileId;
    r.lCatalogueId = st.Value(0).ToLong();
    r.lRelativePathId = st.Value(1).ToLong();
    r.strFile = st.Value(2).ToString();
    r.bGhost = st.Value(3).ToBool();
    r.bDeleted = st.Value(4).ToBool();
    r.lSimilarityId = st.Value(5).ToLong();
    r.fileInfoId = st.Value(6);
    r.alternateFile = st.Value(7);
    r.tth = st.Value(8);
    r.fileSize = st.Value(9);
    r.fileSizeHigh = st.Value(10);
    r.fileSizeDouble = st.Value(11);
    r.strLocation = st.Value(12).ToString();
    r.strVolume = st.Value(13).ToString();
    r.lVolumeSerial = st.Value(14).ToLong();
    // The root folder's row may hold any text: the file lies in the location itself.
    r.strRelativePath = r.lRelativePathId == 0 ? QString() : st.Value(15).ToString();
    return r;
}

std::optional<QString> RelativePathText(CDbDatabase& db, qint32 relativePathId)
{
    if (relativePathId == 0)
        return QString();
    CDbStatement st = db.PrepareSqlite(
        QStringLiteral("SELECT RelativePath FROM \"RelativePath\" WHERE RelativePathId = ?"));
    st.Bind(1, relativePathId);
    if (!st.Step())
        return std::nullopt;
    return st.Value(0).ToString();
}

void SetFileMark(CDbDatabase& db, qint32 fileId, const QString& userName, bool mark)
{
    CDbStatement st = db.PrepareSqlite(
        QStringLiteral("INSERT INTO \"FileUserSelect\" (FileId, \"User\", Mark) VALUES (?1, ?2, ?3) "
                       "ON CONFLICT (FileId, \"User\") DO UPDATE SET Mark = excluded.Mark"));
    st.Bind(1, fileId).Bind(2, userName).Bind(3, mark ? 1 : 0);
    st.Execute();
}

bool FileMark(CDbDatabase& db, qint32 fileId, const QString& userName)
{
    CDbStatement st = db.PrepareSqlite(
        QStringLiteral("SELECT Mark FROM \"FileUserSelect\" WHERE FileId = ? AND \"User\" = ?"));
    st.Bind(1, fileId).Bind(2, userName);
    return st.Step() && st.Value(0).ToBool();
}
