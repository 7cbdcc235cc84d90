#pragma once

#include "gui/browser/filelist/MirrowelView.h"

// The files of the catalogue folder chosen in the catalogue browser, deleted files left out.
class CMirrowelFolderView final : public CMirrowelView
{
    Q_OBJECT

public:
    explicit CMirrowelFolderView(CMirrowelDoc& doc, QWidget* parent = nullptr);

    // A catalogue (relativePathId 0: its root folder) or a folder of it; catalogueId 0 closes
    // the list.
    void ShowFolder(qint32 catalogueId, qint32 relativePathId);
    qint32 CatalogueId() const { return m_lCatalogueId; }
    qint32 RelativePathId() const { return m_lRelativePathId; }

private:
    qint32 m_lCatalogueId = 0;
    qint32 m_lRelativePathId = 0;
};
