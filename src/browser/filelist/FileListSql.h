#pragma once

#include "browser/DataCtrlDescriptor.h"

#include <QChar>
#include <QString>

#include <vector>

// The statement parts of the folder view: the files of one catalogue folder that are not marked
// deleted, each with this user's check and query marks and its file information.
struct SFolderViewSql
{
    QString from;
    QString where;
};

// The user's FileUserSelect row is joined on the user as well as the file: a file another user
// has checked would otherwise bring only that user's row and drop out of this user's list.
SFolderViewSql FolderViewSql(const QString& userName, qint32 catalogueId, qint32 relativePathId);

// The condition that finds the first file whose name starts with a typed character.
QString LetterJumpCriterion(QChar typed);

// A condition over the list's fields ("File.File LIKE 'a*'") as the list's find reads it: its rows
// carry the fields under their column names, so a qualified name of one of the list's fields
// loses its table. Text between quotes stays as it is.
QString ListCriterion(const QString& criterion, const std::vector<CDataCtrlDescriptor>& fields);
