#include "browser/handlers/CatalogueFileRequest.h"

#include "browser/RecordSetList.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/FilePath.h"
#include "database/DbDatabase.h"
#include "database/DbStatement.h"

#include <QSet>

#include <algorithm>

std::optional<SOpenRequest> ReadOpenRequest(CDbDatabase& db, qint32 fileId)
{
    QString context = QStringLiteral("CMirrowelView::OpenItem() - FileRecSet.Open");
    try
    {
        CDbStatement file =
            db.Prepare(QStringLiteral("SELECT File.CatalogueId, File.RelativePathId, File.File FROM [File] "
                                      "WHERE (File.FileId=?);"));
        file.Bind(1, CDbValue(fileId));
        if (!file.Step())
            return std::nullopt;
        const qint32 catalogueId = file.Value(0).ToLong();
        const qint32 relativePathId = file.Value(1).ToLong();
        const QString name = file.Value(2).ToString();

        context = QStringLiteral("CMirrowelView::OpenItem() - CatalogueRecSet.Open");
        CDbStatement catalogue = db.Prepare(
            QStringLiteral("SELECT Catalogue.CatalogueId, Catalogue.Location, Catalogue.Volume, "
                           "Catalogue.VolumeSerial FROM [Catalogue] WHERE (Catalogue.CatalogueId=?) "
                           "ORDER BY Catalogue.Catalogue;"));
        catalogue.Bind(1, CDbValue(catalogueId));
        if (!catalogue.Step())
            return std::nullopt;
        SOpenRequest request;
        request.strVolume = catalogue.Value(2).ToString();
        request.nVolumeSerial = catalogue.Value(3).ToLong();

        QString folder;
        if (relativePathId != 0)
        {
            context = QStringLiteral("CMirrowelView::OpenItem() - RelativePathRecSet.Open");
            CDbStatement path =
                db.Prepare(QStringLiteral("SELECT RelativePath.RelativePathId, RelativePath.RelativePath "
                                          "FROM [RelativePath] WHERE ((RelativePath.RelativePathId=?) ) ;"));
            path.Bind(1, CDbValue(relativePathId));
            if (!path.Step())
                return std::nullopt;
            folder = path.Value(1).ToString();
        }
        request.strPath = CatalogueFilePath(catalogue.Value(1).ToString(), folder, name);
        return request;
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), context);
        return std::nullopt;
    }
}

std::vector<qint32> SlideCandidates(CRecordSetList& list, ESlideFiles which, std::vector<int> selectedRows,
                                    CDbDatabase* db, const QString& userName)
{
    std::vector<qint32> keys;
    const int count = list.DataCtrl_GetRecordCount();
    switch (which)
    {
    case ESlideFiles::All:
        for (int row = 0; row < count; ++row)
            keys.push_back(list.Key(row));
        break;
    case ESlideFiles::Selected:
        std::sort(selectedRows.begin(), selectedRows.end());
        for (int row : selectedRows)
            if (row >= 0 && row < count)
                keys.push_back(list.Key(row));
        break;
    case ESlideFiles::Checked:
    {
        if (!db)
            break;
        QSet<qint32> checked;
        try
        {
            CDbStatement st =
                db->Prepare(QStringLiteral("SELECT FileUserSelect.FileId FROM FileUserSelect WHERE "
                                           "((FileUserSelect.[User]=?) AND (FileUserSelect.Mark=TRUE));"));
            st.Bind(1, CDbValue(userName));
            while (st.Step())
                checked.insert(st.Value(0).ToLong());
        }
        catch (const CDbException& e)
        {
            LOG_EXCEPTION(e, QString(),
                          QStringLiteral("CMwSlideshowDialog::OnPlay() - FileUserSelectRecSet.Open"));
            break;
        }
        for (int row = 0; row < count; ++row)
            if (checked.contains(list.Key(row)))
                keys.push_back(list.Key(row));
        break;
    }
    }
    return keys;
}
