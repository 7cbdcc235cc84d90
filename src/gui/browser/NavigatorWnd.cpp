#include "gui/browser/NavigatorWnd.h"

#include "browser/CurrentFileEditor.h"
#include "browser/MirrowelDoc.h"
#include "browser/models/AttributeListModel.h"
#include "browser/models/CatalogueTreeModel.h"
#include "browser/models/QueryTreeModel.h"
#include "gui/browser/AttributeSplitterWnd.h"
#include "gui/browser/NavigatorPages.h"

#include <QTabBar>
#include <QTreeView>

namespace
{
using Vocabulary = CAttributeListModel::Vocabulary;
using ListKind = CAttributeListModel::ListKind;
} // namespace

CNavigatorWnd::CNavigatorWnd(CMirrowelDoc& doc, QWidget* parent)
    : QTabWidget(parent), m_doc(doc),
      m_pCatalogues(std::make_unique<CCatalogueTreeModel>(doc.Interaction(), doc.RetryPolicy())),
      m_pQueries(std::make_unique<CQueryTreeModel>(doc.Interaction(), doc.RetryPolicy()))
{
    for (int i = 0; i < 6; ++i)
        m_attributes[i] = std::make_unique<CAttributeListModel>(
            i < 3 ? Vocabulary::Keyword : Vocabulary::Category, static_cast<ListKind>(i % 3),
            doc.Interaction(), doc.RetryPolicy());
    // The lists show and toggle the names of the files selected in the file list.
    CCurrentFileEditor& editor = doc.Editor();
    for (int i = 0; i < 6; ++i)
    {
        m_attributes[i]->SetSelection(i < 3 ? &editor.Keywords() : &editor.Categories());
        connect(m_attributes[i].get(), &CAttributeListModel::attributeChanged, &editor,
                &CCurrentFileEditor::AttributeToggled);
    }
    connect(&editor, &CCurrentFileEditor::selectionAttributesChanged, this,
            [this]
            {
                for (const auto& list : m_attributes)
                    list->SelectionChanged();
            });

    setAccessibleName(QStringLiteral("Navigator"));
    tabBar()->setAccessibleName(QStringLiteral("Navigator tabs"));
    m_pCatalogueView = CreateCatalogueBrowserView(*m_pCatalogues, doc, this);
    m_pKeywords = new CAttributeSplitterWnd(
        QStringLiteral("Keywords"), {m_attributes[0].get(), m_attributes[1].get(), m_attributes[2].get()},
        this);
    m_pCategories = new CAttributeSplitterWnd(
        QStringLiteral("Categories"), {m_attributes[3].get(), m_attributes[4].get(), m_attributes[5].get()},
        this);
    m_pQueryView = CreateQueryBrowserView(*m_pQueries, this);
    addTab(m_pCatalogueView, QStringLiteral("Browser"));
    addTab(m_pKeywords, QStringLiteral("Keywords"));
    addTab(m_pCategories, QStringLiteral("Categories"));
    addTab(m_pQueryView, QStringLiteral("Query"));

    connect(m_pCatalogues.get(), &QAbstractItemModel::modelReset, this,
            &CNavigatorWnd::catalogueChoiceChanged);
    connect(m_pCatalogueView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CNavigatorWnd::catalogueChoiceChanged);
}

CNavigatorWnd::~CNavigatorWnd()
{
    // The views go before the models they show, without telling anyone of each page's removal.
    blockSignals(true);
    while (count() > 0)
    {
        QWidget* page = widget(0);
        removeTab(0);
        delete page;
    }
}

bool CNavigatorWnd::Load()
{
    CDbDatabase* db = m_doc.Database();
    m_pCatalogues->SetDatabase(db, m_doc.UserName());
    m_pQueries->SetDatabase(db);
    for (const auto& list : m_attributes)
        list->SetDatabase(db, m_doc.UserName());
    return db != nullptr;
}

void CNavigatorWnd::Clear()
{
    m_pCatalogues->SetDatabase(nullptr, QString());
    m_pQueries->SetDatabase(nullptr);
    for (const auto& list : m_attributes)
        list->SetDatabase(nullptr, QString());
}

qint32 CNavigatorWnd::ChosenCatalogueId() const
{
    const QModelIndex current = m_pCatalogueView->currentIndex();
    if (!current.isValid() ||
        current.data(CCatalogueTreeModel::KindRole).toInt() != CCatalogueTreeRecord::KindCatalogue)
        return 0;
    return current.data(CCatalogueTreeModel::CatalogueIdRole).toInt();
}

void CNavigatorWnd::SaveSettings() const
{
    m_pKeywords->SaveHeights();
    m_pCategories->SaveHeights();
}
