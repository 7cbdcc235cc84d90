#include "gui/browser/filelist/FieldViewsDialog.h"

#include "common/UserInteraction.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

CMwFileListFieldViewsDialog::CMwFileListFieldViewsDialog(CFieldViewEditor& editor, CUserInteraction& ui,
                                                         const QString& currentView, QWidget* parent)
    : QDialog(parent), m_editor(editor), m_ui(ui)
{
    setWindowTitle(QStringLiteral("File List Field Views"));
    auto* layout = new QGridLayout(this);

    auto* viewLabel = new QLabel(QStringLiteral("&View:"), this);
    m_pViews = new QComboBox(this);
    m_pViews->setEditable(true);
    m_pViews->setInsertPolicy(QComboBox::NoInsert);
    m_pViews->setAccessibleName(QStringLiteral("View"));
    viewLabel->setBuddy(m_pViews);
    layout->addWidget(viewLabel, 0, 0);
    layout->addWidget(m_pViews, 0, 1, 1, 3);
    auto* viewButtons = new QHBoxLayout;
    viewButtons->addWidget(AddButton(QStringLiteral("&New"), &CMwFileListFieldViewsDialog::OnNew));
    viewButtons->addWidget(AddButton(QStringLiteral("&Copy"), &CMwFileListFieldViewsDialog::OnCopy));
    viewButtons->addWidget(AddButton(QStringLiteral("&Delete"), &CMwFileListFieldViewsDialog::OnDelete));
    layout->addLayout(viewButtons, 1, 1, 1, 3);
    m_pGlobal = new QCheckBox(
        QStringLiteral("&Global (Allow other users to view and change this File List Field View)"), this);
    layout->addWidget(m_pGlobal, 2, 0, 1, 4);

    auto* availableLabel = new QLabel(QStringLiteral("&Available:"), this);
    m_pAvailable = new QListWidget(this);
    m_pAvailable->setAccessibleName(QStringLiteral("Available"));
    availableLabel->setBuddy(m_pAvailable);
    auto* shownLabel = new QLabel(QStringLiteral("&Show in this order:"), this);
    m_pShown = new QListWidget(this);
    m_pShown->setAccessibleName(QStringLiteral("Show in this order"));
    shownLabel->setBuddy(m_pShown);
    layout->addWidget(availableLabel, 3, 0, 1, 2);
    layout->addWidget(shownLabel, 3, 3);
    layout->addWidget(m_pAvailable, 4, 0, 1, 2);
    auto* moveButtons = new QVBoxLayout;
    moveButtons->addStretch();
    moveButtons->addWidget(AddButton(QStringLiteral("A&dd >"), &CMwFileListFieldViewsDialog::OnAdd));
    moveButtons->addWidget(AddButton(QStringLiteral("< &Remove"), &CMwFileListFieldViewsDialog::OnRemove));
    QPushButton* up = AddButton(QStringLiteral("Move &Up"), nullptr);
    connect(up, &QPushButton::clicked, this, [this] { OnMove(-1); });
    moveButtons->addWidget(up);
    QPushButton* down = AddButton(QStringLiteral("Move D&own"), nullptr);
    connect(down, &QPushButton::clicked, this, [this] { OnMove(1); });
    moveButtons->addWidget(down);
    moveButtons->addStretch();
    layout->addLayout(moveButtons, 4, 2);
    layout->addWidget(m_pShown, 4, 3);

    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_buttons.append(box->button(QDialogButtonBox::Ok));
    m_buttons.append(box->button(QDialogButtonBox::Cancel));
    layout->addWidget(box, 5, 0, 1, 4);

    connect(m_pViews, &QComboBox::activated, this,
            [this](int index)
            {
                if (!m_bFilling && OnRename())
                    ShowView(index);
            });
    connect(m_pViews->lineEdit(), &QLineEdit::editingFinished, this, [this] { OnRename(); });
    connect(m_pGlobal, &QCheckBox::toggled, this,
            [this](bool on)
            {
                if (!m_bFilling && m_nView >= 0)
                    m_editor.SetGlobal(m_nView, on);
            });
    FillViews(qMax(0, m_editor.IndexOf(currentView)));
}

QPushButton* CMwFileListFieldViewsDialog::AddButton(const QString& text,
                                                    void (CMwFileListFieldViewsDialog::*slot)())
{
    auto* button = new QPushButton(text, this);
    button->setAutoDefault(false);
    if (slot)
        connect(button, &QPushButton::clicked, this, slot);
    m_buttons.append(button);
    return button;
}

QPushButton* CMwFileListFieldViewsDialog::Button(const QString& text) const
{
    for (QPushButton* button : m_buttons)
        if (button->text().remove(QLatin1Char('&')) == text)
            return button;
    return nullptr;
}

void CMwFileListFieldViewsDialog::FillViews(int select)
{
    m_bFilling = true;
    m_pViews->clear();
    for (int i = 0; i < m_editor.Count(); ++i)
        m_pViews->addItem(m_editor.View(i).name);
    m_bFilling = false;
    ShowView(m_editor.Count() == 0 ? -1 : qBound(0, select, m_editor.Count() - 1));
}

void CMwFileListFieldViewsDialog::ShowView(int view)
{
    m_bFilling = true;
    m_nView = view;
    m_pViews->setCurrentIndex(view);
    m_pAvailable->clear();
    m_pShown->clear();
    const bool any = view >= 0;
    m_pGlobal->setChecked(any && m_editor.View(view).global);
    m_pGlobal->setEnabled(any);
    if (any)
    {
        for (const CFieldViewEditor::SField& field : m_editor.AvailableFields(view))
        {
            auto* item = new QListWidgetItem(field.caption, m_pAvailable);
            item->setData(Qt::UserRole, field.id);
        }
        for (const qint32 id : m_editor.View(view).fields)
        {
            auto* item = new QListWidgetItem(m_editor.Caption(id), m_pShown);
            item->setData(Qt::UserRole, id);
        }
    }
    m_bFilling = false;
}

void CMwFileListFieldViewsDialog::StoreFields()
{
    if (m_nView < 0)
        return;
    std::vector<qint32> fields;
    for (int i = 0; i < m_pShown->count(); ++i)
        fields.push_back(m_pShown->item(i)->data(Qt::UserRole).toInt());
    m_editor.SetShownFields(m_nView, std::move(fields));
}

bool CMwFileListFieldViewsDialog::OnRename()
{
    if (m_nView < 0 || m_bFilling)
        return true;
    const QString typed = m_pViews->lineEdit()->text().trimmed();
    if (typed.isEmpty() || typed == m_editor.View(m_nView).name)
        return true;
    // Choosing another view from the list also sets the text: that is no rename.
    if (m_editor.IndexOf(typed) >= 0 && m_editor.IndexOf(typed) != m_nView &&
        m_pViews->currentIndex() == m_editor.IndexOf(typed))
        return true;
    CFieldViewEditor::SMessage message;
    if (!m_editor.Rename(m_nView, typed, &message))
    {
        if (!message.text.isEmpty())
            m_ui.MessageBox(message.text, message.caption, MsgIcon::Warning, MsgButtons::Ok);
        m_pViews->lineEdit()->setText(m_editor.View(m_nView).name);
        return false;
    }
    m_bFilling = true;
    m_pViews->setItemText(m_nView, m_editor.View(m_nView).name);
    m_bFilling = false;
    return true;
}

void CMwFileListFieldViewsDialog::OnNew()
{
    CFieldViewEditor::SMessage message;
    const int view = m_editor.New(&message);
    if (view < 0)
    {
        m_ui.MessageBox(message.text, message.caption, MsgIcon::Warning, MsgButtons::Ok);
        return;
    }
    FillViews(view);
}

void CMwFileListFieldViewsDialog::OnCopy()
{
    CFieldViewEditor::SMessage message;
    const int view = m_editor.Copy(m_nView, &message);
    if (view < 0)
    {
        m_ui.MessageBox(message.text, message.caption, MsgIcon::Warning, MsgButtons::Ok);
        return;
    }
    FillViews(view);
}

void CMwFileListFieldViewsDialog::OnDelete()
{
    if (m_nView < 0)
        return;
    if (m_ui.MessageBox(
            QStringLiteral("Delete File List Field View \"%1\"?").arg(m_editor.View(m_nView).name),
            QStringLiteral("Confirm Delete File List Field View"), MsgIcon::Question,
            MsgButtons::YesNo) != MsgAnswer::Yes)
        return;
    m_editor.Delete(m_nView);
    FillViews(m_nView);
}

void CMwFileListFieldViewsDialog::OnAdd()
{
    const int row = m_pAvailable->currentRow();
    if (m_nView < 0 || row < 0)
        return;
    QListWidgetItem* item = m_pAvailable->takeItem(row);
    m_pShown->addItem(item);
    m_pShown->setCurrentItem(item);
    StoreFields();
}

void CMwFileListFieldViewsDialog::OnRemove()
{
    const int row = m_pShown->currentRow();
    if (m_nView < 0 || row < 0)
        return;
    delete m_pShown->takeItem(row);
    StoreFields();
    ShowView(m_nView);
}

void CMwFileListFieldViewsDialog::OnMove(int by)
{
    const int row = m_pShown->currentRow();
    const int to = row + by;
    if (m_nView < 0 || row < 0 || to < 0 || to >= m_pShown->count())
        return;
    QListWidgetItem* item = m_pShown->takeItem(row);
    m_pShown->insertItem(to, item);
    m_pShown->setCurrentRow(to);
    StoreFields();
}

void CMwFileListFieldViewsDialog::accept()
{
    if (!OnRename())
        return;
    if (!m_editor.Commit())
        return;
    QDialog::accept();
}
