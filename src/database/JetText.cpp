#include "database/JetText.h"

#include <QChar>

#include <algorithm>
#include <string>
#include <vector>

namespace JetText
{
namespace
{
char32_t Fold(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
    return QChar::toCaseFolded(c);
}

// Code points of UTF-8 text; a byte that does not start a valid sequence stands for itself.
class Utf8Reader
{
public:
    Utf8Reader(const char* s, int length)
        : m_p(reinterpret_cast<const unsigned char*>(s)), m_end(m_p + length)
    {
    }
    bool Next(char32_t& c)
    {
        if (m_p >= m_end)
            return false;
        const unsigned char b = *m_p;
        int extra = 0;
        if (b < 0x80)
        {
            c = b;
            ++m_p;
            return true;
        }
        if ((b & 0xE0) == 0xC0) { extra = 1; c = b & 0x1F; }
        else if ((b & 0xF0) == 0xE0) { extra = 2; c = b & 0x0F; }
        else if ((b & 0xF8) == 0xF0) { extra = 3; c = b & 0x07; }
        else { c = b; ++m_p; return true; }
        if (m_end - m_p <= extra)
        {
            c = b;
            ++m_p;
            return true;
        }
        for (int i = 1; i <= extra; ++i)
        {
            if ((m_p[i] & 0xC0) != 0x80)
            {
                c = b;
                ++m_p;
                return true;
            }
            c = (c << 6) | (m_p[i] & 0x3F);
        }
        m_p += extra + 1;
        return true;
    }

private:
    const unsigned char* m_p;
    const unsigned char* m_end;
};

// Code points of UTF-16 text.
class Utf16Reader
{
public:
    explicit Utf16Reader(QStringView s) : m_s(s) {}
    bool Next(char32_t& c)
    {
        if (m_i >= m_s.size())
            return false;
        const char16_t u = m_s[m_i++].unicode();
        if (QChar::isHighSurrogate(u) && m_i < m_s.size() && QChar::isLowSurrogate(m_s[m_i].unicode()))
            c = QChar::surrogateToUcs4(u, m_s[m_i++].unicode());
        else
            c = u;
        return true;
    }

private:
    QStringView m_s;
    qsizetype m_i = 0;
};

template <class A, class B>
int CompareFolded(A a, B b)
{
    for (;;)
    {
        char32_t ca = 0;
        char32_t cb = 0;
        const bool hasA = a.Next(ca);
        const bool hasB = b.Next(cb);
        if (!hasA || !hasB)
            return hasA ? 1 : (hasB ? -1 : 0);
        ca = Fold(ca);
        cb = Fold(cb);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
}

template <class Reader>
std::u32string Decode(Reader reader)
{
    std::u32string out;
    char32_t c = 0;
    while (reader.Next(c))
        out.push_back(c);
    return out;
}
} // namespace

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
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;

    explicit PatternItem(Kind k, char32_t c = 0) : kind(k), ch(c) {}

    bool Matches(char32_t folded) const
    {
        switch (kind)
        {
        case Kind::One:
        case Kind::Any:
            return true;
        case Kind::Digit:
            return folded >= '0' && folded <= '9';
        case Kind::Char:
            return folded == ch;
        case Kind::Set:
        {
            const bool in = std::any_of(ranges.begin(), ranges.end(),
                                        [&](const auto& r) { return folded >= r.first && folded <= r.second; });
            return in != negated;
        }
        }
        return false;
    }
};

struct CLikePattern::Items
{
    std::vector<PatternItem> items;

    explicit Items(const std::u32string& p)
    {
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
            else if (c == U'[' && p.find(U']', i + 1) != std::u32string::npos)
            {
                const size_t close = p.find(U']', i + 1);
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
    }

    // Greedy matching with backtracking to the last "*": every other item takes one character.
    bool Match(const std::u32string& v) const
    {
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
            else if (pi < items.size() && items[pi].Matches(Fold(v[vi])))
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
};

CLikePattern::CLikePattern(QStringView pattern) : m_items(std::make_unique<Items>(Decode(Utf16Reader(pattern)))) {}

CLikePattern::CLikePattern(const char* utf8, int length)
    : m_items(std::make_unique<Items>(Decode(Utf8Reader(utf8, length))))
{
}

CLikePattern::~CLikePattern() = default;

bool CLikePattern::Matches(QStringView value) const
{
    return m_items->Match(Decode(Utf16Reader(value)));
}

bool CLikePattern::MatchesUtf8(const char* utf8, int length) const
{
    return m_items->Match(Decode(Utf8Reader(utf8, length)));
}

int CompareGeneral(QStringView a, QStringView b)
{
    return CompareFolded(Utf16Reader(a), Utf16Reader(b));
}

int CompareGeneralUtf8(const char* a, int aLength, const char* b, int bLength)
{
    // Sorting a million names compares mostly ASCII text, often equal for long stretches (the
    // same catalogue, the same folder): those bytes are compared here, folded on the spot, and
    // the full comparison takes over at the first byte that is not ASCII.
    const int common = std::min(aLength, bLength);
    int i = 0;
    for (; i < common; ++i)
    {
        unsigned char ca = static_cast<unsigned char>(a[i]);
        unsigned char cb = static_cast<unsigned char>(b[i]);
        if ((ca | cb) & 0x80)
            break;
        if (ca == cb)
            continue;
        ca = static_cast<unsigned char>(Fold(ca));
        cb = static_cast<unsigned char>(Fold(cb));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return CompareFolded(Utf8Reader(a + i, aLength - i), Utf8Reader(b + i, bLength - i));
}

bool LikeMatch(QStringView value, QStringView pattern)
{
    return CLikePattern(pattern).Matches(value);
}
} // namespace JetText
