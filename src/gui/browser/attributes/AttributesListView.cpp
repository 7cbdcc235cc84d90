#include "gui/browser/attributes/AttributesListView.h"

#include "browser/models/AttributeListModel.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaProperty>

CAttributesListView::CAttributesListView(CAttributeListModel& model, QWidget* parent)
    : QTreeView(parent), m_model(model)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed);
    setModel(&model);
    setAccessibleName(model.Title());
}

void CAttributesListView::OnMwAttributeNew()
{
    const int row = m_model.BeginNewRow();
    if (row < 0)
        return;
    const QModelIndex index = m_model.index(row);
    setCurrentIndex(index);
    scrollTo(index);
    if (!edit(index, QAbstractItemView::AllEditTriggers, nullptr))
        m_model.DiscardNewRow();
}

void CAttributesListView::OnMwAttributeRename()
{
    const QModelIndex index = currentIndex();
    if (index.isValid())
        edit(index, QAbstractItemView::AllEditTriggers, nullptr);
}

void CAttributesListView::OnMwAttributeDelete()
{
    const QModelIndex index = currentIndex();
    if (index.isValid())
        m_model.DeleteAttribute(index.row());
}

bool CAttributesListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    const bool editing = QTreeView::edit(index, trigger, event);
    if (editing && state() == QAbstractItemView::EditingState)
        m_nEditRow = index.row();
    return editing;
}

void CAttributesListView::commitData(QWidget* editor)
{
    const QByteArray property = editor->metaObject()->userProperty().name();
    if (m_nEditRow >= 0 && !property.isEmpty())
        m_pendingEdit = std::make_pair(m_nEditRow, editor->property(property.constData()).toString());
}

void CAttributesListView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint)
{
    QTreeView::closeEditor(editor, hint);
    const std::optional<std::pair<int, QString>> edited = std::exchange(m_pendingEdit, std::nullopt);
    m_nEditRow = -1;
    if (!edited)
    {
        m_model.DiscardNewRow();
        return;
    }
    const QString name = edited->second.trimmed();
    m_model.CommitEdit(edited->first, edited->second);
    // The list was read again: the named row becomes the current one.
    for (int row = 0; row < m_model.rowCount(); ++row)
        if (m_model.NameAt(row) == name)
        {
            setCurrentIndex(m_model.index(row));
            scrollTo(currentIndex());
            break;
        }
}

bool CAttributesListView::event(QEvent* event)
{
    // Delete in a list deletes its attribute, not the file list's selected files (the window's
    // shortcut of the same key).
    if (event->type() == QEvent::ShortcutOverride)
    {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier && key->key() == Qt::Key_Delete && currentIndex().isValid())
        {
            event->accept();
            return true;
        }
    }
    return QTreeView::event(event);
}

void CAttributesListView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier)
    {
        OnMwAttributeDelete();
        return;
    }
    // Space stays the check box's key; printable characters jump.
    const QString text = event->text();
    if (text.size() == 1 && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) &&
        text[0].unicode() > 0x20)
    {
        const int row = m_model.LetterJump(text[0]);
        if (row >= 0)
        {
            const QModelIndex index = m_model.index(row);
            selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
            scrollTo(index);
            return;
        }
        if (text[0].unicode() <= 0xAF)
            return;
    }
    QTreeView::keyPressEvent(event);
}

void CAttributesListView::contextMenuEvent(QContextMenuEvent* event)
{
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    QMenu menu(this);
    if (index.isValid())
    {
        setCurrentIndex(index);
        menu.addAction(QStringLiteral("&Rename"), this, &CAttributesListView::OnMwAttributeRename);
        menu.addAction(QStringLiteral("&Delete"), this, &CAttributesListView::OnMwAttributeDelete);
    }
    else
    {
        menu.addAction(QStringLiteral("&New"), this, &CAttributesListView::OnMwAttributeNew);
    }
    menu.exec(event->globalPos());
}
