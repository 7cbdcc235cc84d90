#include "gui/browser/catalogue/GroupPropertiesDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

CGroupPropertiesDialog::CGroupPropertiesDialog(const CGroupDialogData& data, QWidget* parent)
    : QDialog(parent), m_data(data)
{
    setWindowTitle(data.bCreate ? QStringLiteral("Create New Group") : QStringLiteral("Group Properties"));
    m_pGroup = new QLineEdit(data.strGroup, this);
    m_pGroup->setAccessibleName(QStringLiteral("Group"));
    m_pGroup->setMaxLength(255);
    m_pParent = new QComboBox(this);
    m_pParent->setAccessibleName(QStringLiteral("Parent Group"));
    for (const auto& [id, text] : data.parents)
    {
        m_pParent->addItem(text, id);
        if (id == data.lParentGroupId)
            m_pParent->setCurrentIndex(m_pParent->count() - 1);
    }

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Group"), m_pGroup);
    form->addRow(QStringLiteral("&Parent Group"), m_pParent);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

CGroupDialogData CGroupPropertiesDialog::Data() const
{
    CGroupDialogData data = m_data;
    data.strGroup = m_pGroup->text();
    if (m_pParent->currentIndex() >= 0)
        data.lParentGroupId = m_pParent->currentData().toInt();
    return data;
}

bool CGroupPropertiesDialog::Run(CGroupDialogData& data, QWidget* parent)
{
    CGroupPropertiesDialog dialog(data, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    data = dialog.Data();
    return true;
}
