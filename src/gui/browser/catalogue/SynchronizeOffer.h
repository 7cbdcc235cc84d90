#pragma once

#include "browser/BrowserCommands.h"

#include <QToolButton>

#include <functional>

class CCatalogueBrowserTreeCtrl;
class CMirrowelDoc;
class QAction;
class QStatusBar;

// A button in the status bar that appears when a catalogued medium is plugged in and offers to
// synchronize its catalogue with one click. It goes away when clicked, when the medium goes
// again, or when the database closes.
class CSynchronizeOffer final : public QToolButton
{
    Q_OBJECT

public:
    CSynchronizeOffer(CMirrowelDoc& doc, QWidget* parent = nullptr);

    // Offers the catalogue (replacing an earlier offer).
    void Offer(qint32 catalogueId, const QString& catalogue);
    void Withdraw();
    qint32 OfferedCatalogueId() const { return m_lCatalogueId; }

private:
    CMirrowelDoc& m_doc;
    qint32 m_lCatalogueId = 0;
};

// Hands the main window's Group, Catalogue, Folder and Requery commands to the catalogue browser,
// puts the synchronize offer in the status bar and opens dropped databases through openFile.
void ConnectCatalogueBrowser(CCatalogueBrowserTreeCtrl& tree, CMirrowelDoc& doc, QStatusBar* statusBar,
                             const std::function<QAction*(EMwCommand)>& action,
                             std::function<bool(const QString&)> openFile);
