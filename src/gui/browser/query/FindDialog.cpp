#include "gui/browser/query/FindDialog.h"

#include "gui/browser/query/MwQueryFieldParamDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

CFindDialog::CFindDialog(const std::vector<SSearchField>& fields, const SFindRequest& initial,
                         QWidget* parent)
    : QDialog(parent), m_fields(fields)
{
    setWindowTitle(QStringLiteral("Find"));
    setAccessibleName(QStringLiteral("Find"));
    m_pTitle = new QLineEdit(initial.strTitle, this);
    m_pTitle->setAccessibleName(QStringLiteral("Title"));
    auto* titleForm = new QFormLayout;
    titleForm->addRow(QStringLiteral("&Title:"), m_pTitle);

    auto* rowsHolder = new QWidget;
    m_pRowLayout = new QVBoxLayout(rowsHolder);
    m_pRowLayout->addStretch();
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setWidget(rowsHolder);
    scroll->setMinimumHeight(160);

    auto* buttons = new QDialogButtonBox(this);
    const std::pair<EFindMode, const char*> kinds[] = {{EFindMode::FindFirst, "Find First"},
                                                       {EFindMode::FindNext, "Find Next"},
                                                       {EFindMode::SearchChecked, "Search Checked"},
                                                       {EFindMode::SearchAll, "Search All"}};
    for (const auto& [mode, text] : kinds)
    {
        QPushButton* button = buttons->addButton(QString::fromLatin1(text), QDialogButtonBox::ActionRole);
        connect(button, &QPushButton::clicked, this, [this, mode = mode] { Finish(mode); });
        m_buttons.append(button);
    }
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_buttons.first()->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(titleForm);
    layout->addWidget(scroll, 1);
    layout->addWidget(buttons);
    resize(720, 320);

    // Each condition goes into the empty last row, which makes the next one as its field is set.
    AddRow();
    for (const SQueryFieldParam& param : initial.conditions)
        m_rows.last()->SetParam(param);
    m_rows.first()->FieldBox()->setFocus();
}

CMwQueryFieldParamDialog* CFindDialog::AddRow()
{
    auto* row = new CMwQueryFieldParamDialog(m_fields);
    m_pRowLayout->insertWidget(m_pRowLayout->count() - 1, row);
    m_rows.append(row);
    // Choosing a field in the last row makes a new empty one below it.
    connect(row, &CMwQueryFieldParamDialog::fieldChosen, this,
            [this, row]
            {
                if (row == m_rows.last())
                    AddRow();
            });
    return row;
}

QPushButton* CFindDialog::Button(EFindMode mode) const
{
    const int index = static_cast<int>(mode) - 1;
    return index >= 0 && index < m_buttons.size() ? m_buttons[index] : nullptr;
}

void CFindDialog::Finish(EFindMode mode)
{
    m_mode = mode;
    accept();
}

SFindRequest CFindDialog::Request() const
{
    SFindRequest request;
    request.mode = result() == QDialog::Accepted ? m_mode : EFindMode::Cancel;
    request.strTitle = m_pTitle->text().trimmed();
    for (const CMwQueryFieldParamDialog* row : m_rows)
        if (!row->IsEmpty())
            request.conditions.push_back(row->Param());
    return request;
}
