#pragma once

#include <QString>
#include <QStringList>
#include <Qt>

// The attributes of one vocabulary (keywords or categories) on the files the person has
// selected, as two name lists: the names every selected file has, and the names only some of
// them have. A list shows them as checked, partly checked and unchecked.
struct CAttributeSelection
{
    QString strAll;  // on every selected file
    QString strSome; // on some of them only

    // From the name lists (FileInfo.Keyword or FileInfo.Category) of each selected file.
    static CAttributeSelection FromFileLists(const QStringList& fileLists);

    Qt::CheckState State(const QString& name) const;
    // The names in both lists, in alphabetical order without regard to case, each once.
    QStringList Names() const;

    // A name on no selected file goes on all of them (true); a name on all or some comes off all
    // of them (false).
    bool Toggle(const QString& name);
    // Takes a name off both lists (a deleted attribute); true when it was there.
    bool Remove(const QString& name);
};
