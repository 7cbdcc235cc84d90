#include "gui/browser/handlers/FileHandlingPage.h"

#include "common/UserInteraction.h"
#include "gui/browser/FileChooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace
{
QString Plain(const QString& label)
{
    QString text = label;
    return text.remove(QLatin1Char('&'));
}

template <typename W> W* Named(W* widget, const QString& label)
{
    widget->setAccessibleName(Plain(label));
    return widget;
}

QLineEdit* Edit(const QString& label)
{
    return Named(new QLineEdit, label);
}

QLabel* Buddy(const QString& label, QWidget* field)
{
    auto* text = new QLabel(label);
    text->setBuddy(field);
    return text;
}
} // namespace

CFileHandlingPage::CFileHandlingPage(CUserInteraction& ui, CFileChooser* chooser, QString path,
                                     QWidget* parent)
    : QWidget(parent), m_ui(ui), m_pChooser(chooser), m_strPath(std::move(path)),
      m_pList(Named(new QListWidget, QStringLiteral("File Handlers"))),
      m_pName(Edit(QStringLiteral("&Name of the File Handler"))),
      m_pApplication(Edit(QStringLiteral("&Application to open the file with"))),
      m_pBrowse(Named(new QPushButton(QStringLiteral("&Browse")), QStringLiteral("Browse"))),
      m_pCommandLine(Edit(QStringLiteral("Command Line Parameters"))),
      m_pDefaultExtensions(Edit(QStringLiteral("Default Extensions"))),
      m_pSecondaryExtensions(Edit(QStringLiteral("Secondary Extensions"))),
      m_pUseDde(Named(new QCheckBox(QStringLiteral("Use DDE")), QStringLiteral("Use DDE"))),
      m_pMessageType(Named(new QComboBox, QStringLiteral("Message Type"))),
      m_pService(Edit(QStringLiteral("Service"))),
      m_pPrelaunch(
          Named(new QCheckBox(QStringLiteral("Prelaunch Server")), QStringLiteral("Prelaunch Server"))),
      m_pTopic(Edit(QStringLiteral("Topic"))), m_pItem(Edit(QStringLiteral("Item"))),
      m_pData(Edit(QStringLiteral("Data"))),
      m_pKill(Named(new QCheckBox(QStringLiteral("&Kill prevous application after")),
                    QStringLiteral("Kill previous application after"))),
      m_pKillTime(Edit(QStringLiteral("Seconds before the previous application is killed"))),
      m_pWait(Named(new QCheckBox(QStringLiteral("&Wait for the application to e&xit before next slide")),
                    QStringLiteral("Wait for the application to exit before next slide"))),
      m_pMoveUp(Named(new QPushButton(QStringLiteral("Move Up")), QStringLiteral("Move Up"))),
      m_pMoveDown(Named(new QPushButton(QStringLiteral("Move Down")), QStringLiteral("Move Down"))),
      m_pNew(Named(new QPushButton(QStringLiteral("&New")), QStringLiteral("New"))),
      m_pDelete(Named(new QPushButton(QStringLiteral("&Delete")), QStringLiteral("Delete")))
{
    m_pMessageType->addItems({QStringLiteral("Execute"), QStringLiteral("Poke")});
    auto* validator = new QDoubleValidator(0.0, 86400.0, 3, m_pKillTime);
    validator->setNotation(QDoubleValidator::StandardNotation);
    validator->setLocale(QLocale::c());
    m_pKillTime->setValidator(validator);
    m_pKillTime->setMaximumWidth(m_pKillTime->fontMetrics().horizontalAdvance(QStringLiteral("00000.000")) +
                                 16);

    auto* left = new QVBoxLayout;
    left->addWidget(m_pList);
    auto* listButtons = new QHBoxLayout;
    for (QPushButton* button : {m_pMoveUp, m_pMoveDown, m_pNew, m_pDelete})
        listButtons->addWidget(button);
    left->addLayout(listButtons);

    auto* form = new QVBoxLayout;
    form->addWidget(Buddy(QStringLiteral("&Name of the File Handler"), m_pName));
    form->addWidget(m_pName);
    form->addWidget(Buddy(QStringLiteral("&Application to open the file with"), m_pApplication));
    auto* application = new QHBoxLayout;
    application->addWidget(m_pApplication);
    application->addWidget(m_pBrowse);
    form->addLayout(application);
    form->addWidget(
        Buddy(QStringLiteral("Command Line Parameters (use %1 for the file name to open)"), m_pCommandLine));
    form->addWidget(m_pCommandLine);
    form->addWidget(
        Buddy(QStringLiteral("Default &Extensions (for when file is double clicked - separate each with "
                             "a space)"),
              m_pDefaultExtensions));
    form->addWidget(m_pDefaultExtensions);
    form->addWidget(
        Buddy(QStringLiteral("&Secondary Extensions (as displayed in the Open With list - separate each "
                             "with a space)"),
              m_pSecondaryExtensions));
    form->addWidget(m_pSecondaryExtensions);

    auto* dde = new QGroupBox;
    auto* ddeForm = new QFormLayout(dde);
    ddeForm->addRow(m_pUseDde);
    ddeForm->addRow(QStringLiteral("Message Type"), m_pMessageType);
    auto* service = new QHBoxLayout;
    service->addWidget(m_pService);
    service->addWidget(m_pPrelaunch);
    ddeForm->addRow(QStringLiteral("Service"), service);
    ddeForm->addRow(QStringLiteral("Topic"), m_pTopic);
    ddeForm->addRow(QStringLiteral("Item (use %1 for the file name to open)"), m_pItem);
    ddeForm->addRow(QStringLiteral("Data (use %1 for the file name to open)"), m_pData);
    form->addWidget(dde);

    auto* slides = new QGroupBox(QStringLiteral("Slideshows"));
    auto* slidesLayout = new QVBoxLayout(slides);
    auto* kill = new QHBoxLayout;
    kill->addWidget(m_pKill);
    kill->addWidget(m_pKillTime);
    kill->addWidget(new QLabel(QStringLiteral("seconds")));
    kill->addStretch();
    slidesLayout->addLayout(kill);
    slidesLayout->addWidget(m_pWait);
    form->addWidget(slides);
    form->addStretch();

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 2);
    layout->addLayout(form, 3);

    connect(m_pList, &QListWidget::currentRowChanged, this, &CFileHandlingPage::OnSelectionChanged);
    connect(m_pNew, &QPushButton::clicked, this, &CFileHandlingPage::OnNew);
    connect(m_pDelete, &QPushButton::clicked, this, &CFileHandlingPage::OnDelete);
    connect(m_pMoveUp, &QPushButton::clicked, this, [this] { OnMove(-1); });
    connect(m_pMoveDown, &QPushButton::clicked, this, [this] { OnMove(+1); });
    connect(m_pBrowse, &QPushButton::clicked, this, &CFileHandlingPage::OnBrowse);
    connect(m_pUseDde, &QCheckBox::toggled, this, &CFileHandlingPage::UpdateEnabled);
    connect(m_pKill, &QCheckBox::toggled, this, &CFileHandlingPage::UpdateEnabled);
    Load();
}

void CFileHandlingPage::Load()
{
    m_set.Load(m_strPath);
    m_bModified = false;
    FillList(-1);
    ShowHandler(SFileHandler());
}

void CFileHandlingPage::FillList(int select)
{
    m_bChangingSelection = true;
    m_pList->clear();
    for (const SFileHandler& handler : m_set.Handlers())
        m_pList->addItem(handler.strName);
    m_pList->setCurrentRow(select);
    m_nShownRow = select;
    m_bChangingSelection = false;
    UpdateEnabled();
}

void CFileHandlingPage::ShowHandler(const SFileHandler& h)
{
    m_pName->setText(h.strName);
    m_pApplication->setText(h.strApplication);
    m_pCommandLine->setText(h.strCommandLine);
    m_pDefaultExtensions->setText(h.strDefaultExtensions);
    m_pSecondaryExtensions->setText(h.strSecondaryExtensions);
    m_pUseDde->setChecked(h.bUseDde);
    m_pMessageType->setCurrentIndex(h.strDdeType == QLatin1String("Poke") ? 1 : 0);
    m_pService->setText(h.strDdeService);
    m_pPrelaunch->setChecked(h.bDdePrelaunchServer);
    m_pTopic->setText(h.strDdeTopic);
    m_pItem->setText(h.strDdeItem);
    m_pData->setText(h.strDdeData);
    m_pKill->setChecked(h.bKillPrevApp);
    m_pKillTime->setText(h.strKillPrevAppTime);
    m_pWait->setChecked(h.bWaitForAppExit);
    UpdateEnabled();
}

SFileHandler CFileHandlingPage::EditedHandler() const
{
    SFileHandler h;
    h.strName = m_pName->text();
    h.strApplication = m_pApplication->text();
    h.strCommandLine = m_pCommandLine->text();
    h.strDefaultExtensions = m_pDefaultExtensions->text();
    h.strSecondaryExtensions = m_pSecondaryExtensions->text();
    h.bUseDde = m_pUseDde->isChecked();
    h.strDdeType = m_pMessageType->currentText();
    h.strDdeService = m_pService->text();
    h.bDdePrelaunchServer = m_pPrelaunch->isChecked();
    h.strDdeTopic = m_pTopic->text();
    h.strDdeItem = m_pItem->text();
    h.strDdeData = m_pData->text();
    h.bKillPrevApp = m_pKill->isChecked();
    h.strKillPrevAppTime = m_pKillTime->text().isEmpty() ? QStringLiteral("0.0") : m_pKillTime->text();
    h.bWaitForAppExit = m_pWait->isChecked();
    return h;
}

bool CFileHandlingPage::SaveEdited()
{
    const QString application = m_pApplication->text().trimmed();
    if (!application.isEmpty() && !QFileInfo(application).isFile())
    {
        m_ui.MessageBox(
            QStringLiteral("The Application field must contain the path to an existing application"),
            QStringLiteral("Application Not Found"), MsgIcon::Error, MsgButtons::Ok);
        m_pApplication->setFocus();
        m_pApplication->selectAll();
        return false;
    }
    // A handler without a name is nothing typed yet: storing it would add an empty handler each
    // time the page is left.
    const SFileHandler edited = EditedHandler();
    if (edited.strName.isEmpty())
        return true;
    const int existing = m_set.IndexOf(edited.strName);
    if (existing >= 0 && m_set.Handler(existing) == edited)
        return true;
    m_set.StoreHandler(edited);
    if (existing < 0)
    {
        m_bChangingSelection = true;
        m_pList->addItem(edited.strName);
        m_bChangingSelection = false;
    }
    m_bModified = true;
    return true;
}

void CFileHandlingPage::OnSelectionChanged(int row)
{
    if (m_bChangingSelection)
        return;
    if (!SaveEdited())
    {
        m_bChangingSelection = true;
        m_pList->setCurrentRow(m_nShownRow);
        m_bChangingSelection = false;
        return;
    }
    m_nShownRow = row;
    ShowHandler(row >= 0 ? m_set.Handler(row) : SFileHandler());
}

void CFileHandlingPage::OnNew()
{
    if (!SaveEdited())
        return;
    m_bChangingSelection = true;
    m_pList->setCurrentRow(-1);
    m_bChangingSelection = false;
    m_nShownRow = -1;
    ShowHandler(SFileHandler());
    m_pName->setFocus();
}

void CFileHandlingPage::OnDelete()
{
    const int row = m_pList->currentRow();
    if (row < 0)
        return;
    m_set.Remove(row);
    m_bModified = true;
    FillList(-1);
    ShowHandler(SFileHandler());
}

void CFileHandlingPage::OnMove(int direction)
{
    const int row = m_pList->currentRow();
    if (row < 0 || !SaveEdited())
        return;
    if (!m_set.Move(row, direction))
        return;
    m_bModified = true;
    FillList(row + direction);
}

void CFileHandlingPage::OnBrowse()
{
    if (!m_pChooser)
        return;
    if (const std::optional<QString> path =
            m_pChooser->OpenFileName(this, QStringLiteral("Browse for Application"),
                                     QStringLiteral("Applications (*);;Scripts (*.sh *.py *.pl)")))
        m_pApplication->setText(*path);
}

void CFileHandlingPage::UpdateEnabled()
{
    const bool dde = m_pUseDde->isChecked();
    for (QWidget* field : std::initializer_list<QWidget*>{m_pMessageType, m_pService, m_pPrelaunch, m_pTopic,
                                                          m_pItem, m_pData})
        field->setEnabled(dde);
    m_pKillTime->setEnabled(m_pKill->isChecked());
    const int row = m_pList->currentRow();
    m_pMoveUp->setEnabled(row > 0);
    m_pMoveDown->setEnabled(row >= 0 && row < m_pList->count() - 1);
    m_pDelete->setEnabled(row >= 0);
}

bool CFileHandlingPage::Apply()
{
    if (!SaveEdited())
        return false;
    if (!m_bModified)
        return true;
    if (!m_set.Save(m_strPath))
    {
        m_ui.MessageBox(QStringLiteral("The file handlers could not be saved to %1").arg(m_strPath),
                        QStringLiteral("File Handling"), MsgIcon::Error, MsgButtons::Ok);
        return false;
    }
    m_bModified = false;
    emit applied();
    return true;
}
