#include "browser/models/AttributeSelection.h"

#include "common/NameList.h"

CAttributeSelection CAttributeSelection::FromFileLists(const QStringList& fileLists)
{
    CAttributeSelection selection;
    if (fileLists.isEmpty())
        return selection;
    QString any;
    for (const QString& list : fileLists)
        for (const QString& name : NameList::Names(list))
            NameList::Insert(any, name);
    for (const QString& name : NameList::Names(any))
    {
        bool everywhere = true;
        for (const QString& list : fileLists)
            if (!NameList::Contains(list, name))
            {
                everywhere = false;
                break;
            }
        NameList::Insert(everywhere ? selection.strAll : selection.strSome, name);
    }
    return selection;
}

Qt::CheckState CAttributeSelection::State(const QString& name) const
{
    if (NameList::Contains(strAll, name))
        return Qt::Checked;
    if (NameList::Contains(strSome, name))
        return Qt::PartiallyChecked;
    return Qt::Unchecked;
}

QStringList CAttributeSelection::Names() const
{
    QString both = strAll;
    for (const QString& name : NameList::Names(strSome))
        NameList::Insert(both, name);
    return NameList::Names(both);
}

bool CAttributeSelection::Toggle(const QString& name)
{
    if (State(name) == Qt::Unchecked)
    {
        NameList::Insert(strAll, name);
        return true;
    }
    Remove(name);
    return false;
}

bool CAttributeSelection::Remove(const QString& name)
{
    const bool fromAll = NameList::Remove(strAll, name);
    const bool fromSome = NameList::Remove(strSome, name);
    return fromAll || fromSome;
}
