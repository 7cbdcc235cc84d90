#include "gui/browser/dialogs/MoveCopyToDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CMoveCopyToDlg::CMoveCopyToDlg(std::vector<CMoveTargetCatalogue> targets, int fileCount, QWidget* parent)
    : QDialog(parent), m_targets(std::move(targets))
{
    setWindowTitle(QStringLiteral("Move/Copy To"));
    setAccessibleName(QStringLiteral("Move/Copy To"));
    auto* text = new QLabel(QStringLiteral("Move or copy the %1 selected files to:").arg(fileCount), this);

    m_pCatalogues = new QComboBox(this);
    m_pCatalogues->setAccessibleName(QStringLiteral("Catalogue"));
    for (const CMoveTargetCatalogue& catalogue : m_targets)
        m_pCatalogues->addItem(catalogue.strCatalogue, catalogue.lCatalogueId);
    m_pFolders = new QComboBox(this);
    m_pFolders->setAccessibleName(QStringLiteral("Folder"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Catalogue:"), m_pCatalogues);
    form->addRow(QStringLiteral("&Folder:"), m_pFolders);

    m_pMove = new QRadioButton(QStringLiteral("&Move"), this);
    m_pCopy = new QRadioButton(QStringLiteral("Cop&y"), this);
    m_pMove->setChecked(true);
    auto* mode = new QHBoxLayout;
    mode->addWidget(m_pMove);
    mode->addWidget(m_pCopy);
    mode->addStretch(1);
    m_pKeepFolders = new QCheckBox(QStringLiteral("Keep each file's own folder (to &Subfolders)"), this);

    m_pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_pButtons->button(QDialogButtonBox::Ok)->setEnabled(!m_targets.empty());
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addLayout(form);
    layout->addLayout(mode);
    layout->addWidget(m_pKeepFolders);
    layout->addWidget(m_pButtons);

    connect(m_pCatalogues, &QComboBox::currentIndexChanged, this, &CMoveCopyToDlg::FillFolders);
    connect(m_pKeepFolders, &QCheckBox::toggled, m_pFolders, &QWidget::setDisabled);
    FillFolders();
}

void CMoveCopyToDlg::FillFolders()
{
    m_pFolders->clear();
    const int index = m_pCatalogues->currentIndex();
    if (index < 0 || index >= static_cast<int>(m_targets.size()))
        return;
    for (const CMoveTargetFolder& folder : m_targets[index].folders)
        m_pFolders->addItem(folder.strRelativePath, folder.lRelativePathId);
}

qint32 CMoveCopyToDlg::CatalogueId() const
{
    return m_pCatalogues->currentData().toInt();
}

qint32 CMoveCopyToDlg::RelativePathId() const
{
    return KeepFolders() ? 0 : m_pFolders->currentData().toInt();
}

bool CMoveCopyToDlg::Copy() const
{
    return m_pCopy->isChecked();
}

bool CMoveCopyToDlg::KeepFolders() const
{
    return m_pKeepFolders->isChecked();
}
