#include "gui/browser/dialogs/OptionsSheet.h"

#include "browser/MirrowelDoc.h"
#include "browser/NewVersionCheck.h"
#include "database/DbDatabase.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSettings>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace
{

QWidget* PageWith(QCheckBox* box)
{
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(box);
    layout->addStretch();
    return page;
}

const QString kCompactOnExit = QStringLiteral("CompactOnExit");

} // namespace

COptionsSheet::COptionsSheet(CMirrowelDoc* doc, QWidget* parent)
    : QDialog(parent), m_pDoc(doc), m_pPages(new QTabWidget(this)),
      m_pCheckAtStart(new QCheckBox(tr("Check for new version when Quarrane starts"))),
      m_pCompactOnClose(new QCheckBox(tr("&Compact Database on Close")))
{
    setWindowTitle(tr("Options"));
    m_pPages->setAccessibleName(tr("Option pages"));
    m_pPages->tabBar()->setAccessibleName(tr("Option pages"));
    m_pCheckAtStart->setAccessibleName(m_pCheckAtStart->text());
    m_pCompactOnClose->setAccessibleName(tr("Compact Database on Close"));
    m_pPages->addTab(PageWith(m_pCheckAtStart), tr("General"));
    m_pPages->addTab(PageWith(m_pCompactOnClose), tr("Database"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName(tr("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(tr("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &COptionsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &COptionsSheet::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pPages);
    layout->addWidget(buttons);
    Load();
}

void COptionsSheet::AddPage(QWidget* page, const QString& title)
{
    m_pPages->addTab(page, title);
}

void COptionsSheet::AddPage(QWidget* page, const QString& title, std::function<bool()> save)
{
    AddPage(page, title);
    m_pageSavers.emplace_back(page, std::move(save));
}

void COptionsSheet::Load()
{
    m_bLoadedCheckAtStart = CNewVersionCheck::ShouldCheck(QSettings());
    m_pCheckAtStart->setChecked(m_bLoadedCheckAtStart);

    const bool open = m_pDoc && m_pDoc->IsOpen();
    m_bLoadedCompactOnClose = open && m_pDoc->CompactOnExit();
    m_pCompactOnClose->setChecked(m_bLoadedCompactOnClose);
    // A server catalogue is never compacted by the program: its server looks after its tables.
    m_pCompactOnClose->setEnabled(open && !(m_pDoc->Database() && m_pDoc->Database()->IsServer()));
}

bool COptionsSheet::Save()
{
    for (const auto& [page, save] : m_pageSavers)
        if (!save())
        {
            m_pPages->setCurrentWidget(page);
            return false;
        }
    if (m_pCheckAtStart->isChecked() != m_bLoadedCheckAtStart)
    {
        QSettings settings;
        settings.setValue(CNewVersionCheck::kCheckKey, m_pCheckAtStart->isChecked() ? 1 : 0);
        m_bLoadedCheckAtStart = m_pCheckAtStart->isChecked();
    }
    if (m_pDoc && m_pDoc->IsOpen() && m_pCompactOnClose->isChecked() != m_bLoadedCompactOnClose)
    {
        if (!m_pDoc->SetDatabaseParameter(
                kCompactOnExit, m_pCompactOnClose->isChecked() ? QStringLiteral("1") : QStringLiteral("0")))
            return false;
        m_bLoadedCompactOnClose = m_pCompactOnClose->isChecked();
    }
    return true;
}

void COptionsSheet::accept()
{
    if (Save())
        QDialog::accept();
}

void COptionsSheet::showEvent(QShowEvent* event)
{
    // A sheet kept between uses shows the database open now; a window system's own show (after
    // being minimised) keeps what the person has changed.
    if (!event->spontaneous())
        Load();
    QDialog::showEvent(event);
}
