#pragma once

#include <QStringView>

// How text compares and matches in a catalogue database: without regard to case, for all of
// Unicode, as the General sort order of the catalogue's original engine did.
namespace JetText
{
// The name of the collation that every text column and its indexes use.
constexpr const char* kCollationName = "GENERAL";

// <0, 0, >0 in General sort order. The UTF-8 form is the collation itself (fast for ASCII).
int CompareGeneral(QStringView a, QStringView b);
int CompareGeneralUtf8(const char* a, int aLength, const char* b, int bLength);

// Jet LIKE: "*" any run of characters, "?" one character, "#" one digit, "[set]" one character of
// the set (ranges "a-z" allowed), "[!set]" one character not in it; everything else stands for
// itself ("%" and "_" too). Case is ignored. A "[" without its "]" stands for itself.
bool LikeMatch(QStringView value, QStringView pattern);
} // namespace JetText
