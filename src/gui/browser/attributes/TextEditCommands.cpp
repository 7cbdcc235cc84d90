#include "gui/browser/attributes/TextEditCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>

namespace
{
bool ClipboardHasText()
{
    const QMimeData* data = QApplication::clipboard()->mimeData();
    return data && data->hasText();
}

template <typename Edit> bool CanRun(const Edit* edit, EMwCommand command)
{
    const bool writable = !edit->isReadOnly();
    switch (command)
    {
    case EMwCommand::EditUndo:
    case EMwCommand::EditCut:
        return writable;
    case EMwCommand::EditPaste:
        return writable && ClipboardHasText();
    case EMwCommand::EditCopy:
    case EMwCommand::EditSelectAll:
        return true;
    default:
        return false;
    }
}

template <typename Edit> bool Run(Edit* edit, EMwCommand command)
{
    if (!CanRun(edit, command))
        return false;
    switch (command)
    {
    case EMwCommand::EditUndo:
        edit->undo();
        break;
    case EMwCommand::EditCut:
        edit->cut();
        break;
    case EMwCommand::EditCopy:
        edit->copy();
        break;
    case EMwCommand::EditPaste:
        edit->paste();
        break;
    default:
        edit->selectAll();
        break;
    }
    return true;
}
} // namespace

bool RunTextEditCommand(QWidget* focus, EMwCommand command)
{
    if (auto* line = qobject_cast<QLineEdit*>(focus))
        return Run(line, command);
    if (auto* text = qobject_cast<QPlainTextEdit*>(focus))
        return Run(text, command);
    return false;
}

bool CanRunTextEditCommand(const QWidget* focus, EMwCommand command)
{
    if (const auto* line = qobject_cast<const QLineEdit*>(focus))
        return CanRun(line, command);
    if (const auto* text = qobject_cast<const QPlainTextEdit*>(focus))
        return CanRun(text, command);
    return false;
}
