#pragma once

#include <QString>

// The freedesktop.org Trash: removed files and folders are moved there with a .trashinfo record
// of where they came from and when, so that the desktop's trash can restore them. Nothing is
// ever deleted here and nothing asks the person anything.
//
// A file on the volume of the home trash goes to $XDG_DATA_HOME/Trash (by default
// ~/.local/share/Trash). A file on another volume goes to that volume's own trash
// ($topdir/.Trash/$uid when an administrator prepared $topdir/.Trash, else $topdir/.Trash-$uid),
// so that removing it costs no copy; when that trash cannot be made the file is copied to the
// home trash, checked and only then removed from its volume.

// Moves path (a file, link or folder; a link itself, not its target) to the trash. Returns a
// result code of SystemErrorCodes.h; a failure leaves the entry where it was. A mount point
// cannot be trashed (code 5). *pTrashedPath receives the entry's path in the trash.
int MoveToTrash(const QString& path, QString* pTrashedPath = nullptr);

// $XDG_DATA_HOME/Trash, read from the environment at every call.
QString HomeTrashFolder();
