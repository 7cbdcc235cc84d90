#include "browser/filelist/FileDragPayload.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"

std::optional<CFileIdListPayload> MakeFileIdListPayload(CDbDatabase& db, const QString& databasePath,
                                                        const std::vector<qint32>& fileIds,
                                                        qint32 focusFileId)
{
    if (fileIds.empty())
        return std::nullopt;
    CFileIdListPayload payload;
    payload.strDatabasePath = databasePath;
    payload.lFocusFileId = focusFileId;
    payload.fileIds = fileIds;
    try
    {
        CDbStatement st = db.Prepare(
            QStringLiteral("SELECT File.CatalogueId, File.RelativePathId, Catalogue.GroupId FROM File "
                           "INNER JOIN Catalogue ON Catalogue.CatalogueId = File.CatalogueId "
                           "WHERE File.FileId=?"));
        st.Bind(1, fileIds.front());
        if (!st.Step())
            return std::nullopt;
        payload.lCatalogueId = st.Value(0).ToLong();
        payload.lRelativePathId = st.Value(1).ToLong();
        payload.lGroupId = st.Value(2).ToLong();
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMirrowelView::OnBegindrag() - FileRecSet.Open"));
        return std::nullopt;
    }
    return payload;
}
