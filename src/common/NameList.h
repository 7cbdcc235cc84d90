#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Lists of names kept in one text: FileInfo.Keyword, FileInfo.Category and File.AlternateFile.
// Each name is followed by ";  " (a semicolon and two blanks), the last one included, the names
// in ascending order without regard to case and each at most once; the empty list is "".
// Names compare as the catalogue database compares text: case-folded code points.
namespace NameList
{
inline constexpr QStringView kSeparator = u";  ";

// <0, 0, >0, case-folded code point by code point, as the database's text collation orders.
int Compare(QStringView a, QStringView b);

// The number of names: the separators, and one more when the text does not end with one.
int Count(QStringView list);

// The names in list order (a final name without its separator included).
QStringList Names(QStringView list);

// The index of name in the list, or -1. The search starts at the name with index from and wraps
// to the start once, so a caller walking a list finds the next use first.
int Find(QStringView list, QStringView name, int from = 0);
bool Contains(QStringView list, QStringView name);

// Inserts name with its separator before the first name that sorts after it, or at the end.
// Nothing happens when it is empty or already present; true when the list changed.
bool Insert(QString& list, const QString& name);

// Removes the name at index with its separator; false when there is no such index.
bool RemoveAt(QString& list, int index);
// Removes name wherever it is (without regard to case); true when it was there.
bool Remove(QString& list, QStringView name);
} // namespace NameList
