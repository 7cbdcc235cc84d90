#include "gui/browser/catalogue/CataloguePropertiesDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace
{
QLabel* ReadOnlyField(const QString& name, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setAccessibleName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setFrameShape(QFrame::StyledPanel);
    label->setMinimumWidth(120);
    return label;
}
} // namespace

CCataloguePropertiesDialog::CCataloguePropertiesDialog(const CCatalogueDialogData& data,
                                                       LocationSetter setLocation, QWidget* parent)
    : QDialog(parent), m_data(data), m_fnSetLocation(std::move(setLocation)), m_fnChooseFolder(&ChooseFolder)
{
    setWindowTitle(data.bCreate ? QStringLiteral("Create New Catalogue")
                                : QStringLiteral("Catalogue Properties"));

    m_pCatalogue = new QLineEdit(data.strCatalogue, this);
    m_pCatalogue->setAccessibleName(QStringLiteral("Catalogue"));
    m_pVolume = ReadOnlyField(QStringLiteral("Volume / Label"), this);
    m_pSerial = ReadOnlyField(QStringLiteral("Serial"), this);
    m_pLocation = new QLineEdit(data.strLocation, this);
    m_pLocation->setAccessibleName(QStringLiteral("Location"));
    m_pBrowse = new QPushButton(QStringLiteral("&Browse..."), this);
    m_pParent = new QComboBox(this);
    m_pParent->setAccessibleName(QStringLiteral("Parent Group"));
    for (const auto& [id, text] : data.parents)
    {
        m_pParent->addItem(text, id);
        if (id == data.lGroupId)
            m_pParent->setCurrentIndex(m_pParent->count() - 1);
    }

    auto* duplicates = new QGroupBox(QStringLiteral("Duplicates"), this);
    m_pUpdateTth =
        new QCheckBox(QStringLiteral("Update TTH  (For removal of exact file duplicates.)"), duplicates);
    m_pUpdateTth->setChecked(data.bUpdateTTH);
    m_pKeep = new QRadioButton(QStringLiteral("&Keep"), duplicates);
    m_pDelete = new QRadioButton(QStringLiteral("Delete"), duplicates);
    auto* choice = new QButtonGroup(this);
    choice->addButton(m_pKeep);
    choice->addButton(m_pDelete);
    (data.bDeleteDuplicates ? m_pDelete : m_pKeep)->setChecked(true);
    auto* duplicatesLayout = new QVBoxLayout(duplicates);
    duplicatesLayout->addWidget(m_pUpdateTth);
    auto* choiceLayout = new QHBoxLayout;
    choiceLayout->addWidget(m_pKeep);
    choiceLayout->addWidget(m_pDelete);
    choiceLayout->addStretch();
    duplicatesLayout->addLayout(choiceLayout);

    m_pKeepPriority = new QSpinBox(this);
    m_pKeepPriority->setAccessibleName(QStringLiteral("Catalogue Keep Priority"));
    m_pKeepPriority->setRange(std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
    m_pKeepPriority->setValue(data.lKeepPriority);
    m_pExclude = new QCheckBox(QStringLiteral("Exclude from search for duplicates queries"), this);
    m_pExclude->setChecked(data.bExcludeFromDuplicates);
    m_pComputer = ReadOnlyField(QStringLiteral("Computer Name"), this);
    m_pDriveType = ReadOnlyField(QStringLiteral("Drive Type"), this);
    m_pUser = ReadOnlyField(QStringLiteral("User Name"), this);

    auto* locationRow = new QHBoxLayout;
    locationRow->addWidget(m_pLocation, 1);
    locationRow->addWidget(m_pBrowse);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Catalogue"), m_pCatalogue);
    form->addRow(QStringLiteral("Volume / Label"), m_pVolume);
    form->addRow(QStringLiteral("Serial"), m_pSerial);
    form->addRow(QStringLiteral("&Location"), locationRow);
    form->addRow(QStringLiteral("&Parent Group"), m_pParent);
    form->addRow(duplicates);
    form->addRow(QStringLiteral("Catalogue Keep Priority"), m_pKeepPriority);
    form->addRow(m_pExclude);
    form->addRow(QStringLiteral("Computer Name  (Updated when Location is set/changed)"), m_pComputer);
    form->addRow(QStringLiteral("Drive Type"), m_pDriveType);
    form->addRow(QStringLiteral("User Name  (Updated when Location is set/changed)"), m_pUser);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(520);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pUpdateTth, &QCheckBox::toggled, this, &CCataloguePropertiesDialog::UpdateEnabling);
    connect(m_pBrowse, &QPushButton::clicked, this,
            [this]
            {
                const QString folder = m_fnChooseFolder(this, m_pLocation->text());
                if (!folder.isEmpty())
                    SetLocation(folder);
            });
    // Leaving the field with a location in it sets it, as Browse does.
    connect(m_pLocation, &QLineEdit::editingFinished, this,
            [this]
            {
                const QString text = m_pLocation->text().trimmed();
                if (!text.isEmpty() && text != m_data.strLocation)
                    SetLocation(text);
            });
    ShowReadFields();
    UpdateEnabling();
}

QString CCataloguePropertiesDialog::ChooseFolder(QWidget* parent, const QString& start)
{
    // Qt's own dialog carries the edit box for typing a path on every desktop.
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("Select Catalogue Folder"), start,
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
}

void CCataloguePropertiesDialog::FocusLocation()
{
    m_pLocation->setFocus();
    m_pLocation->selectAll();
}

void CCataloguePropertiesDialog::SetLocation(const QString& location)
{
    m_data.strCatalogue = m_pCatalogue->text();
    if (m_fnSetLocation)
        m_fnSetLocation(m_data, location);
    else
        m_data.strLocation = location.trimmed();
    m_pCatalogue->setText(m_data.strCatalogue);
    m_pLocation->setText(m_data.strLocation);
    ShowReadFields();
}

void CCataloguePropertiesDialog::ShowReadFields()
{
    m_pVolume->setText(m_data.strVolume);
    m_pSerial->setText(m_data.strSerial);
    m_pComputer->setText(m_data.strComputerName);
    m_pDriveType->setText(m_data.strDriveType);
    m_pUser->setText(m_data.strUserName);
}

void CCataloguePropertiesDialog::UpdateEnabling()
{
    const bool updateTth = m_pUpdateTth->isChecked();
    m_pKeep->setEnabled(updateTth);
    m_pDelete->setEnabled(updateTth);
}

CCatalogueDialogData CCataloguePropertiesDialog::Data() const
{
    CCatalogueDialogData data = m_data;
    data.strCatalogue = m_pCatalogue->text();
    // What is typed counts, even when the field was not left before OK.
    data.strLocation = m_pLocation->text().trimmed();
    if (m_pParent->currentIndex() >= 0)
        data.lGroupId = m_pParent->currentData().toInt();
    data.bUpdateTTH = m_pUpdateTth->isChecked();
    data.bDeleteDuplicates = m_pDelete->isChecked();
    data.lKeepPriority = m_pKeepPriority->value();
    data.bExcludeFromDuplicates = m_pExclude->isChecked();
    return data;
}
