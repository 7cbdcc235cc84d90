#include "gui/browser/filelist/MirrowelFolderView.h"

#include "browser/MirrowelDoc.h"
#include "browser/RecordSetList.h"
#include "browser/filelist/FileListSql.h"

CMirrowelFolderView::CMirrowelFolderView(CMirrowelDoc& doc, QWidget* parent)
    : CMirrowelView(doc, Kind::Folder, parent)
{
}

void CMirrowelFolderView::ShowFolder(qint32 catalogueId, qint32 relativePathId)
{
    m_lCatalogueId = catalogueId;
    m_lRelativePathId = relativePathId;
    CDbDatabase* db = Doc().Database();
    if (!db || catalogueId == 0)
    {
        List().DataCtrl_Close();
        ResetTotals(true);
        return;
    }
    if (List().Fields().empty())
        ApplyCurrentFieldView();
    const SFolderViewSql sql = FolderViewSql(Doc().UserName(), catalogueId, relativePathId);
    List().DataCtrl_SetFrom(sql.from);
    List().DataCtrl_SetWhere(sql.where);
    List().DataCtrl_OpenAsync(db);
}
