#include "gui/browser/attributes/FileDetailsFormView.h"

#include "browser/CurrentFileEditor.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

namespace
{
QLineEdit* ReadOnlyLine(const QString& name, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(true);
    edit->setAccessibleName(name);
    return edit;
}

QPlainTextEdit* TextField(const QString& name, bool readOnly, QWidget* parent)
{
    auto* edit = new QPlainTextEdit(parent);
    edit->setReadOnly(readOnly);
    edit->setAccessibleName(name);
    // Tab moves on to the next field; the texts are descriptions, not tables.
    edit->setTabChangesFocus(true);
    edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    edit->setMinimumHeight(edit->fontMetrics().lineSpacing() * 2 + 12);
    return edit;
}

QLabel* Label(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    // Beside a line in its middle, beside a box at its top.
    label->setAlignment(Qt::AlignRight | (qobject_cast<QLineEdit*>(buddy) ? Qt::AlignVCenter : Qt::AlignTop));
    return label;
}

// Leaves a field alone when it already shows the text, so that a refresh under the person's
// typing keeps the cursor and the undo history.
void Show(QLineEdit* edit, const QString& text)
{
    if (edit->text() != text)
        edit->setText(text);
}
void Show(QPlainTextEdit* edit, const QString& text)
{
    if (edit->toPlainText() != text)
        edit->setPlainText(text);
}
} // namespace

CFileDetailsFormView::CFileDetailsFormView(CCurrentFileEditor& editor, QWidget* parent)
    : QWidget(parent), m_editor(editor)
{
    setAccessibleName(QStringLiteral("File Details"));
    m_pFile = ReadOnlyLine(QStringLiteral("File"), this);
    m_pAlternate = TextField(QStringLiteral("Alternate File Name"), true, this);
    m_pFileSize = ReadOnlyLine(QStringLiteral("File Size"), this);
    m_pTth = ReadOnlyLine(QStringLiteral("TTH"), this);
    m_pTth->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_pLen = ReadOnlyLine(QStringLiteral("Len"), this);
    m_pLen->setMaximumWidth(m_pLen->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 16);
    m_pDescription = TextField(QStringLiteral("Description"), false, this);
    m_pNotes = TextField(QStringLiteral("Notes"), false, this);

    // File and its length, size and TTH on two lines; the alternate names, description and notes
    // side by side below them, where there is room for several lines each.
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->addWidget(Label(QStringLiteral("File"), m_pFile, this), 0, 0);
    grid->addWidget(m_pFile, 0, 1, 1, 3);
    grid->addWidget(Label(QStringLiteral("Len"), m_pLen, this), 0, 4);
    grid->addWidget(m_pLen, 0, 5);
    grid->addWidget(Label(QStringLiteral("File Size"), m_pFileSize, this), 1, 0);
    grid->addWidget(m_pFileSize, 1, 1);
    grid->addWidget(Label(QStringLiteral("TTH"), m_pTth, this), 1, 2);
    grid->addWidget(m_pTth, 1, 3, 1, 3);
    grid->addWidget(Label(QStringLiteral("Alternate\nFile Name"), m_pAlternate, this), 2, 0);
    grid->addWidget(m_pAlternate, 2, 1);
    grid->addWidget(Label(QStringLiteral("Description"), m_pDescription, this), 2, 2);
    grid->addWidget(m_pDescription, 2, 3);
    grid->addWidget(Label(QStringLiteral("Notes"), m_pNotes, this), 2, 4);
    grid->addWidget(m_pNotes, 2, 5);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(3, 3);
    grid->setColumnStretch(5, 2);
    grid->setRowStretch(2, 1);

    connect(m_pDescription, &QPlainTextEdit::textChanged, this, &CFileDetailsFormView::OnTextEdited);
    connect(m_pNotes, &QPlainTextEdit::textChanged, this, &CFileDetailsFormView::OnTextEdited);
    connect(&m_editor, &CCurrentFileEditor::currentFileChanged, this, &CFileDetailsFormView::OnUpdate);
    connect(&m_editor, &CCurrentFileEditor::editsSaved, this, &CFileDetailsFormView::OnUpdate);
    OnUpdate();
}

void CFileDetailsFormView::OnUpdate()
{
    const SFileDetails details = m_editor.Details();
    m_bFilling = true;
    Show(m_pFile, details.strFile);
    Show(m_pAlternate, details.strAlternateFile);
    Show(m_pFileSize, details.strFileSize);
    Show(m_pTth, details.strTth);
    Show(m_pLen, details.strLen);
    Show(m_pDescription, details.strDescription);
    Show(m_pNotes, details.strNotes);
    m_bFilling = false;
    // Without a file there is nowhere to keep what would be typed; a database opened read-only
    // would lose it.
    for (QPlainTextEdit* edit : {m_pDescription, m_pNotes})
    {
        edit->setEnabled(details.bFile);
        edit->setReadOnly(!details.bEditable);
    }
}

void CFileDetailsFormView::OnTextEdited()
{
    if (!m_bFilling)
        m_editor.SetDetailsFormText(m_pDescription->toPlainText(), m_pNotes->toPlainText());
}
