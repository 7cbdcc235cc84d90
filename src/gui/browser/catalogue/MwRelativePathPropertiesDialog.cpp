#include "gui/browser/catalogue/MwRelativePathPropertiesDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

CMwRelativePathPropertiesDialog::CMwRelativePathPropertiesDialog(const CRelativePathDialogData& data,
                                                                 QWidget* parent)
    : QDialog(parent), m_data(data)
{
    setWindowTitle(data.bCreate ? QStringLiteral("Create New Folder") : QStringLiteral("Folder Properties"));
    m_pFolder = new QLineEdit(data.strFolder, this);
    m_pFolder->setAccessibleName(QStringLiteral("Folder"));
    m_pFolder->setReadOnly(!data.bFolderEditable);
    m_pKeepPriority = new QSpinBox(this);
    m_pKeepPriority->setAccessibleName(QStringLiteral("Keep Priority"));
    m_pKeepPriority->setRange(std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
    m_pKeepPriority->setValue(data.lKeepPriority);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Folder"), m_pFolder);
    form->addRow(QStringLiteral("&Keep Priority"), m_pKeepPriority);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(400);
    if (!data.bFolderEditable)
        m_pKeepPriority->setFocus();
}

CRelativePathDialogData CMwRelativePathPropertiesDialog::Data() const
{
    CRelativePathDialogData data = m_data;
    if (data.bFolderEditable)
        data.strFolder = m_pFolder->text();
    data.lKeepPriority = m_pKeepPriority->value();
    return data;
}

bool CMwRelativePathPropertiesDialog::Run(CRelativePathDialogData& data, QWidget* parent)
{
    CMwRelativePathPropertiesDialog dialog(data, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    data = dialog.Data();
    return true;
}
