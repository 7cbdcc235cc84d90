#pragma once

#include <QStringView>

#include <memory>

// How text compares and matches in a catalogue database: without regard to case, for all of
// Unicode, as the General sort order of the catalogue's original engine did. Characters compare
// by their case-folded code points.
namespace JetText
{
// The name of the collation that every text column and its indexes use.
constexpr const char* kCollationName = "GENERAL";

// <0, 0, >0 in General sort order. The UTF-8 form is the collation itself; both agree.
int CompareGeneral(QStringView a, QStringView b);
int CompareGeneralUtf8(const char* a, int aLength, const char* b, int bLength);

// Jet LIKE: "*" any run of characters, "?" one character, "#" one digit, "[set]" one character of
// the set (ranges "a-z" allowed), "[!set]" one character not in it; everything else stands for
// itself ("%" and "_" too). Case is ignored. A "[" without its "]" stands for itself.
class CLikePattern final
{
public:
    explicit CLikePattern(QStringView pattern);
    explicit CLikePattern(const char* utf8, int length);
    ~CLikePattern();
    CLikePattern(const CLikePattern&) = delete;
    CLikePattern& operator=(const CLikePattern&) = delete;

    bool Matches(QStringView value) const;
    bool MatchesUtf8(const char* utf8, int length) const;

private:
    struct Items;
    std::unique_ptr<Items> m_items;
};

bool LikeMatch(QStringView value, QStringView pattern);
} // namespace JetText
