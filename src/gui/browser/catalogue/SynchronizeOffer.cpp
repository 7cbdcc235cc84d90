#include "gui/browser/catalogue/SynchronizeOffer.h"

#include "browser/CatalogueStore.h"
#include "browser/MediaPresence.h"
#include "browser/MirrowelDoc.h"
#include "gui/browser/catalogue/CatalogueBrowserTreeCtrl.h"

#include <QAction>
#include <QStatusBar>

CSynchronizeOffer::CSynchronizeOffer(CMirrowelDoc& doc, QWidget* parent) : QToolButton(parent), m_doc(doc)
{
    setAutoRaise(true);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    hide();
    connect(this, &QToolButton::clicked, this,
            [this]
            {
                const qint32 id = m_lCatalogueId;
                Withdraw();
                if (id != 0 && m_doc.IsOpen())
                    m_doc.Catalogues().SynchronizeCatalogue(id);
            });
    connect(&doc, &CMirrowelDoc::closing, this, &CSynchronizeOffer::Withdraw);
}

void CSynchronizeOffer::Offer(qint32 catalogueId, const QString& catalogue)
{
    m_lCatalogueId = catalogueId;
    setText(QStringLiteral("Synchronize %1").arg(catalogue));
    setAccessibleName(text());
    setToolTip(QStringLiteral("The medium of %1 was plugged in").arg(catalogue));
    show();
}

void CSynchronizeOffer::Withdraw()
{
    m_lCatalogueId = 0;
    hide();
}

void ConnectCatalogueBrowser(CCatalogueBrowserTreeCtrl& tree, CMirrowelDoc& doc, QStatusBar* statusBar,
                             const std::function<QAction*(EMwCommand)>& action,
                             std::function<bool(const QString&)> openFile)
{
    using Tree = CCatalogueBrowserTreeCtrl;
    const std::pair<EMwCommand, void (Tree::*)()> commands[] = {
        {EMwCommand::GroupProperties, &Tree::OnMwProperties},
        {EMwCommand::GroupNew, &Tree::OnMwNewGroup},
        {EMwCommand::GroupDelete, &Tree::OnMwDeleteGroup},
        {EMwCommand::CatalogueProperties, &Tree::OnMwProperties},
        {EMwCommand::CatalogueRootFolderProperties, &Tree::OnMwRootFolderProperties},
        {EMwCommand::CatalogueSynchronize, &Tree::OnMwSynchronize},
        {EMwCommand::CatalogueUpdateTth, &Tree::OnMwUpdateTTH},
        {EMwCommand::CatalogueNew, &Tree::OnMwNewCatalogue},
        {EMwCommand::CatalogueDelete, &Tree::OnMwDeleteCatalogue},
        {EMwCommand::FolderProperties, &Tree::OnMwProperties},
        {EMwCommand::ViewRequeryFileBrowser, &Tree::OnMwRequery},
    };
    for (const auto& [id, slot] : commands)
        if (QAction* a = action(id))
            QObject::connect(a, &QAction::triggered, &tree, slot);

    auto* offer = new CSynchronizeOffer(doc, statusBar);
    offer->setObjectName(QStringLiteral("SynchronizeOffer"));
    statusBar->addPermanentWidget(offer);
    QObject::connect(&tree, &Tree::mediumArrived, offer, &CSynchronizeOffer::Offer);
    QObject::connect(&tree.Media(), &CMediaPresence::onlineChanged, offer,
                     [offer](qint32 catalogueId, bool online)
                     {
                         if (!online && catalogueId == offer->OfferedCatalogueId())
                             offer->Withdraw();
                     });
    QObject::connect(&tree, &Tree::openDatabaseRequested, &tree, std::move(openFile));
}
