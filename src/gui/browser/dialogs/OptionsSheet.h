#pragma once

#include <QDialog>

#include <functional>
#include <utility>
#include <vector>

class CMirrowelDoc;
class QCheckBox;
class QTabWidget;

// The "Options" sheet: a page per area ("General", "Database", and what later areas add). The
// pages show the settings when the sheet opens and write back what changed when it is accepted;
// Cancel writes nothing. The database page works on the document's open database and is
// disabled while none is open.
class COptionsSheet final : public QDialog
{
    Q_OBJECT

public:
    COptionsSheet(CMirrowelDoc* doc, QWidget* parent);

    // Adds a page after the others; the sheet owns it from then on.
    void AddPage(QWidget* page, const QString& title);
    // The same for a page that writes its own settings: save runs when the sheet is accepted, and
    // false keeps the sheet open on that page.
    void AddPage(QWidget* page, const QString& title, std::function<bool()> save);

    // Fills the pages from the settings and the open database (also done each time it shows).
    void Load();
    // Writes back what changed; false (sheet stays open) when the database refused.
    bool Save();

    QTabWidget* Pages() const { return m_pPages; }
    QCheckBox* CheckAtStartBox() const { return m_pCheckAtStart; }
    QCheckBox* CompactOnCloseBox() const { return m_pCompactOnClose; }

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    CMirrowelDoc* m_pDoc;
    QTabWidget* m_pPages;
    QCheckBox* m_pCheckAtStart;
    QCheckBox* m_pCompactOnClose;
    bool m_bLoadedCheckAtStart = true;
    bool m_bLoadedCompactOnClose = false;
    std::vector<std::pair<QWidget*, std::function<bool()>>> m_pageSavers;
};
