#pragma once

#include <QTabWidget>

#include <array>
#include <memory>

class CAttributeListModel;
class CAttributeSplitterWnd;
class CCatalogueTreeModel;
class CMirrowelDoc;
class CQueryTreeModel;
class QTreeView;

// The navigator beside the file list: the catalogue browser, the keyword and category lists and
// the query browser on the tabs "Browser", "Keywords", "Categories" and "Query". It holds their
// models, fills them when a database opens and empties them when it closes.
class CNavigatorWnd final : public QTabWidget
{
    Q_OBJECT

public:
    enum Page
    {
        BrowserPage = 0,
        KeywordsPage,
        CategoriesPage,
        QueryPage,
    };

    explicit CNavigatorWnd(CMirrowelDoc& doc, QWidget* parent = nullptr);
    ~CNavigatorWnd() override;

    // The database just opened: every page shows it. False when a browser could not be read.
    bool Load();
    // The database is closing: every page lets go of it.
    void Clear();

    CCatalogueTreeModel& CatalogueModel() { return *m_pCatalogues; }
    CQueryTreeModel& QueryModel() { return *m_pQueries; }
    QTreeView* CatalogueView() const { return m_pCatalogueView; }
    QTreeView* QueryView() const { return m_pQueryView; }
    CAttributeSplitterWnd* KeywordLists() const { return m_pKeywords; }
    CAttributeSplitterWnd* CategoryLists() const { return m_pCategories; }

    // The catalogue chosen in the catalogue browser, 0 when the choice is not a catalogue.
    qint32 ChosenCatalogueId() const;
    void SaveSettings() const;

signals:
    // The choice in the catalogue browser changed.
    void catalogueChoiceChanged();

private:
    CMirrowelDoc& m_doc;
    std::unique_ptr<CCatalogueTreeModel> m_pCatalogues;
    std::unique_ptr<CQueryTreeModel> m_pQueries;
    std::array<std::unique_ptr<CAttributeListModel>, 6> m_attributes;
    QTreeView* m_pCatalogueView = nullptr;
    QTreeView* m_pQueryView = nullptr;
    CAttributeSplitterWnd* m_pKeywords = nullptr;
    CAttributeSplitterWnd* m_pCategories = nullptr;
};
