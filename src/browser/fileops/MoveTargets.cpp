#include "browser/fileops/MoveTargets.h"

#include "database/DbDatabase.h"

std::vector<CMoveTargetCatalogue> MoveTargets(CDbDatabase& db)
{
    std::vector<CMoveTargetCatalogue> catalogues;
    CDbStatement st =
        db.Prepare(QStringLiteral("SELECT CatalogueId, Catalogue FROM Catalogue ORDER BY Catalogue"));
    while (st.Step())
        catalogues.push_back({st.Value(0).ToLong(), st.Value(1).ToString(), {{0, QStringLiteral("\\")}}});
    CDbStatement folders = db.PrepareSqlite(QStringLiteral(
        "SELECT DISTINCT r.RelativePathId, r.RelativePath FROM \"File\" f "
        "JOIN \"RelativePath\" r ON r.RelativePathId = f.RelativePathId "
        "WHERE f.CatalogueId = ? AND f.RelativePathId <> 0 AND f.Deleted = 0 ORDER BY r.RelativePath"));
    for (CMoveTargetCatalogue& catalogue : catalogues)
    {
        folders.Bind(1, catalogue.lCatalogueId);
        while (folders.Step())
            catalogue.folders.push_back({folders.Value(0).ToLong(), folders.Value(1).ToString()});
        folders.Reset();
    }
    return catalogues;
}
