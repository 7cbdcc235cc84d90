#pragma once

#include <QString>

// File.AlternateFile: the other names under which the same contents are catalogued, each followed
// by ";" and two blanks, in ascending order without regard to case, never the record's own name.
namespace MwuAlternateFile
{
// Lists never grow to this many characters (the entry is counted with its separator).
constexpr qsizetype kLimit = 65531;

// Inserts name into list by the list's rule: nothing when it is the record's own name or already
// an entry (both without regard to case), or when the list would reach the limit. True when the
// list changed.
bool Insert(QString& list, const QString& ownName, const QString& name);

// Whether the list holds name as a whole entry (without regard to case).
bool Contains(const QString& list, const QString& name);
} // namespace MwuAlternateFile
