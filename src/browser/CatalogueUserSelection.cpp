#include "browser/CatalogueUserSelection.h"

#include "database/DbDatabase.h"
#include "database/DbTransaction.h"

CCatalogueUserSelection WriteCatalogueUserSelection(CDbDatabase& db, qint32 catalogueId,
                                                    const QString& userName, std::optional<bool> checked,
                                                    std::optional<bool> excluded)
{
    CDbTransaction transaction(db);
    CDbStatement st = db.Prepare(QStringLiteral("SELECT CatalogueSelect, ExcludeFromDuplicate FROM "
                                                "CatalogueUserSelect WHERE CatalogueId=? AND [User]=?"));
    st.Bind(1, catalogueId).Bind(2, userName);
    const bool exists = st.Step();
    CCatalogueUserSelection stored = exists
                                         ? CCatalogueUserSelection{st.Value(0).ToBool(), st.Value(1).ToBool()}
                                         : CCatalogueUserSelection{};
    st.Reset();
    if (checked)
        stored.bChecked = *checked;
    if (excluded)
        stored.bExcluded = *excluded;
    if (exists)
        db.Execute(QStringLiteral("UPDATE CatalogueUserSelect SET CatalogueSelect=?, ExcludeFromDuplicate=? "
                                  "WHERE CatalogueId=? AND [User]=?"),
                   {CDbValue(stored.bChecked), CDbValue(stored.bExcluded), CDbValue(catalogueId),
                    CDbValue(userName)});
    else
        db.Execute(QStringLiteral("INSERT INTO CatalogueUserSelect (CatalogueId, [User], CatalogueSelect, "
                                  "ExcludeFromDuplicate) VALUES (?, ?, ?, ?)"),
                   {CDbValue(catalogueId), CDbValue(userName), CDbValue(stored.bChecked),
                    CDbValue(stored.bExcluded)});
    transaction.Commit();
    return stored;
}
