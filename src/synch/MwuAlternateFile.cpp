#include "synch/MwuAlternateFile.h"

#include "common/NameList.h"
#include "database/JetText.h"

namespace
{
const QString kSeparator = NameList::kSeparator.toString();
} // namespace

namespace MwuAlternateFile
{
QString ListedName(const QString& name)
{
    QString listed = name;
    listed.replace(kSeparator, QStringLiteral(";\u00A0 "));
    return listed;
}

bool Contains(const QString& list, const QString& name)
{
    // Whole entries only: "ab" is not in "abc.txt;  ".
    return NameList::Contains(list, ListedName(name));
}

bool Insert(QString& list, const QString& ownName, const QString& rawName)
{
    const QString name = ListedName(rawName);
    if (name.isEmpty() || JetText::CompareGeneral(name, ListedName(ownName)) == 0 || Contains(list, name))
        return false;
    // Counted with its separator, so that the list itself never reaches the limit.
    const QString entry = name + kSeparator;
    if (list.size() + entry.size() >= kLimit)
        return false;
    // Before the first entry from which the rest of the list does not sort before the new entry.
    qsizetype start = 0;
    while (start < list.size())
    {
        if (JetText::CompareGeneral(QStringView(list).mid(start), entry) >= 0)
            break;
        const qsizetype end = list.indexOf(kSeparator, start);
        start = end < 0 ? list.size() : end + kSeparator.size();
    }
    list.insert(start, entry);
    return true;
}
} // namespace MwuAlternateFile
