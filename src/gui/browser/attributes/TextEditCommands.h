#pragma once

#include "browser/BrowserCommands.h"

class QWidget;

// The Edit menu's Undo, Cut, Copy, Paste and Select All on the text field that has the focus (a
// line or a multi-line field). False when the widget is no text field or the command does not
// apply to it (Cut, Paste and Undo on a read-only field).
bool RunTextEditCommand(QWidget* focus, EMwCommand command);
bool CanRunTextEditCommand(const QWidget* focus, EMwCommand command);
