#include "database/JetText.h"

#include <QString>

#include <algorithm>
#include <cstring>
#include <vector>

namespace JetText
{
namespace
{
char AsciiFold(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsAscii(const char* s, int length)
{
    for (int i = 0; i < length; ++i)
    {
        if (static_cast<unsigned char>(s[i]) >= 0x80)
            return false;
    }
    return true;
}

char32_t Fold(char32_t c)
{
    return QChar::toCaseFolded(c);
}

// One element of a compiled pattern.
struct PatternItem
{
    enum class Kind
    {
        Any,    // *
        One,    // ?
        Digit,  // #
        Set,    // [..] or [!..]
        Char,
    } kind;
    char32_t ch = 0;

    explicit PatternItem(Kind k, char32_t c = 0) : kind(k), ch(c) {}

    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;

    bool Matches(char32_t c) const
    {
        switch (kind)
        {
        case Kind::One:
            return true;
        case Kind::Digit:
            return c >= '0' && c <= '9';
        case Kind::Char:
            return Fold(c) == ch;
        case Kind::Set:
        {
            const char32_t f = Fold(c);
            const bool in = std::any_of(ranges.begin(), ranges.end(),
                                        [&](const auto& r) { return f >= r.first && f <= r.second; });
            return in != negated;
        }
        case Kind::Any:
            return true;
        }
        return false;
    }
};

std::vector<PatternItem> CompilePattern(const std::u32string& p)
{
    std::vector<PatternItem> items;
    for (size_t i = 0; i < p.size(); ++i)
    {
        const char32_t c = p[i];
        if (c == U'*')
        {
            if (items.empty() || items.back().kind != PatternItem::Kind::Any)
                items.emplace_back(PatternItem::Kind::Any);
        }
        else if (c == U'?')
            items.emplace_back(PatternItem::Kind::One);
        else if (c == U'#')
            items.emplace_back(PatternItem::Kind::Digit);
        else if (c == U'[')
        {
            const size_t close = p.find(U']', i + 1);
            if (close == std::u32string::npos)
            {
                items.emplace_back(PatternItem::Kind::Char, Fold(c));
                continue;
            }
            PatternItem set(PatternItem::Kind::Set);
            size_t j = i + 1;
            if (j < close && p[j] == U'!')
            {
                set.negated = true;
                ++j;
            }
            for (; j < close; ++j)
            {
                if (j + 2 < close && p[j + 1] == U'-')
                {
                    set.ranges.emplace_back(Fold(p[j]), Fold(p[j + 2]));
                    j += 2;
                }
                else
                    set.ranges.emplace_back(Fold(p[j]), Fold(p[j]));
            }
            items.push_back(std::move(set));
            i = close;
        }
        else
            items.emplace_back(PatternItem::Kind::Char, Fold(c));
    }
    return items;
}
} // namespace

int CompareGeneral(QStringView a, QStringView b)
{
    const int r = a.compare(b, Qt::CaseInsensitive);
    return (r > 0) - (r < 0);
}

int CompareGeneralUtf8(const char* a, int aLength, const char* b, int bLength)
{
    if (IsAscii(a, aLength) && IsAscii(b, bLength))
    {
        const int n = std::min(aLength, bLength);
        for (int i = 0; i < n; ++i)
        {
            const char fa = AsciiFold(a[i]);
            const char fb = AsciiFold(b[i]);
            if (fa != fb)
                return fa < fb ? -1 : 1;
        }
        return aLength == bLength ? 0 : (aLength < bLength ? -1 : 1);
    }
    return CompareGeneral(QString::fromUtf8(a, aLength), QString::fromUtf8(b, bLength));
}

bool LikeMatch(QStringView value, QStringView pattern)
{
    const std::u32string v = value.toString().toStdU32String();
    const std::vector<PatternItem> items = CompilePattern(pattern.toString().toStdU32String());

    // Greedy matching with backtracking to the last "*": every other item takes one character.
    size_t vi = 0;
    size_t pi = 0;
    size_t starItem = std::string::npos;
    size_t starValue = 0;
    while (vi < v.size())
    {
        if (pi < items.size() && items[pi].kind == PatternItem::Kind::Any)
        {
            starItem = pi++;
            starValue = vi;
        }
        else if (pi < items.size() && items[pi].Matches(v[vi]))
        {
            ++pi;
            ++vi;
        }
        else if (starItem != std::string::npos)
        {
            pi = starItem + 1;
            vi = ++starValue;
        }
        else
            return false;
    }
    while (pi < items.size() && items[pi].kind == PatternItem::Kind::Any)
        ++pi;
    return pi == items.size();
}
} // namespace JetText
