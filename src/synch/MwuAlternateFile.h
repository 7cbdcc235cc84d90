#pragma once

#include <QString>

// File.AlternateFile: the other names under which the same contents are catalogued, each followed
// by ";" and two blanks, in ascending order without regard to case, never the record's own name.
//
// A file name may itself hold ";" and two blanks, which would read back as two entries and be
// added again at every hash. Such a name is listed with a no-break space as the first blank
// after each of its semicolons (ListedName): it looks the same, never splits, and is found again.
namespace MwuAlternateFile
{
// The form in which a name is listed.
QString ListedName(const QString& name);

// Lists never grow to this many characters (the entry is counted with its separator).
constexpr qsizetype kLimit = 65531;

// Inserts name into list by the list's rule: nothing when it is the record's own name or already
// an entry (both without regard to case), or when the list would reach the limit. True when the
// list changed.
bool Insert(QString& list, const QString& ownName, const QString& name);

// Whether the list holds name (in its listed form) as a whole entry (without regard to case).
bool Contains(const QString& list, const QString& name);
} // namespace MwuAlternateFile
