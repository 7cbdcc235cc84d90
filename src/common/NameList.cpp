#include "common/NameList.h"

#include <QChar>

namespace NameList
{
namespace
{
char32_t NextCodePoint(QStringView s, qsizetype& i)
{
    const char16_t u = s[i++].unicode();
    if (QChar::isHighSurrogate(u) && i < s.size() && QChar::isLowSurrogate(s[i].unicode()))
        return QChar::surrogateToUcs4(u, s[i++].unicode());
    return u;
}

char32_t Fold(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
    return QChar::toCaseFolded(c);
}

// The names of a list as views into it, with where each one starts (its separator follows it).
struct Entry
{
    QStringView name;
    qsizetype start;
    qsizetype end; // past the separator, or the end of the text
};

template <typename Visit> void ForEachEntry(QStringView list, Visit visit)
{
    qsizetype start = 0;
    int index = 0;
    while (start < list.size())
    {
        const qsizetype at = list.indexOf(kSeparator, start);
        const qsizetype nameEnd = at < 0 ? list.size() : at;
        const qsizetype end = at < 0 ? list.size() : at + kSeparator.size();
        if (!visit(index++, Entry{list.mid(start, nameEnd - start), start, end}))
            return;
        start = end;
    }
}
} // namespace

int Compare(QStringView a, QStringView b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size())
    {
        const char32_t ca = Fold(NextCodePoint(a, i));
        const char32_t cb = Fold(NextCodePoint(b, j));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

int Count(QStringView list)
{
    if (list.isEmpty())
        return 0;
    const int separators = static_cast<int>(list.count(kSeparator));
    return list.endsWith(kSeparator) ? separators : separators + 1;
}

QStringList Names(QStringView list)
{
    QStringList names;
    ForEachEntry(list,
                 [&](int, const Entry& e)
                 {
                     names.append(e.name.toString());
                     return true;
                 });
    return names;
}

int Find(QStringView list, QStringView name, int from)
{
    int found = -1;
    int firstBefore = -1;
    ForEachEntry(list,
                 [&](int index, const Entry& e)
                 {
                     if (Compare(e.name, name) != 0)
                         return true;
                     if (index >= from)
                     {
                         found = index;
                         return false;
                     }
                     if (firstBefore < 0)
                         firstBefore = index;
                     return true;
                 });
    return found >= 0 ? found : firstBefore;
}

bool Contains(QStringView list, QStringView name)
{
    return Find(list, name) >= 0;
}

bool Insert(QString& list, const QString& name)
{
    if (name.isEmpty() || Contains(list, name))
        return false;
    qsizetype at = -1;
    ForEachEntry(list,
                 [&](int, const Entry& e)
                 {
                     if (Compare(e.name, name) > 0)
                     {
                         at = e.start;
                         return false;
                     }
                     return true;
                 });
    const QString entry = name + kSeparator.toString();
    if (at >= 0)
    {
        list.insert(at, entry);
        return true;
    }
    // A list cut short before its last separator gets it back before the new name.
    if (!list.isEmpty() && !list.endsWith(kSeparator))
        list += kSeparator.toString();
    list += entry;
    return true;
}

bool RemoveAt(QString& list, int index)
{
    bool removed = false;
    ForEachEntry(list,
                 [&](int i, const Entry& e)
                 {
                     if (i != index)
                         return true;
                     list.remove(e.start, e.end - e.start);
                     removed = true;
                     return false;
                 });
    return removed;
}

bool Remove(QString& list, QStringView name)
{
    bool removed = false;
    for (int index = Find(list, name); index >= 0; index = Find(list, name))
        removed = RemoveAt(list, index) || removed;
    return removed;
}
} // namespace NameList
