#include "browser/models/AttributeVocabulary.h"

#include "browser/models/AttributeSelection.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/NameList.h"
#include "common/UserInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/DbServices.h"
#include "database/DbTransaction.h"

#include <utility>
#include <vector>

namespace
{
CDbValue ListOrNull(const QString& list)
{
    return list.isEmpty() ? CDbValue::Null() : CDbValue(list);
}

// Restores the status text when it goes, whichever way the operation ends.
class CStatusScope final
{
public:
    CStatusScope(CUserInteraction& ui, const QString& text) : m_ui(ui) { m_ui.SetStatusText(text); }
    ~CStatusScope() { m_ui.SetStatusText(QString()); }
    CStatusScope(const CStatusScope&) = delete;
    CStatusScope& operator=(const CStatusScope&) = delete;

private:
    CUserInteraction& m_ui;
};
} // namespace

bool DeleteFileInfoIfEmpty(CDbDatabase& db, qint32 fileInfoId)
{
    if (fileInfoId <= 0)
        return false;
    CDbStatement row = db.Prepare(
        QStringLiteral("SELECT Description, Notes, Keyword, Category FROM FileInfo WHERE FileInfoId=?"));
    row.Bind(1, fileInfoId);
    if (!row.Step())
        return false;
    for (int column = 0; column < 4; ++column)
        if (!row.Value(column).ToString().isEmpty())
            return false;
    row.Reset();
    db.Execute(QStringLiteral("UPDATE File SET FileInfoId=Null WHERE FileInfoId=?"), {CDbValue(fileInfoId)});
    db.Execute(QStringLiteral("DELETE FROM FileInfo WHERE FileInfoId=?"), {CDbValue(fileInfoId)});
    return true;
}

CAttributeVocabulary::CAttributeVocabulary(const QString& table, CDbDatabase& db, CUserInteraction& ui,
                                           CDbRetryPolicy& policy)
    : m_strTable(table), m_db(db), m_ui(ui), m_policy(policy)
{
}

qint32 CAttributeVocabulary::FindOther(const QString& name, qint32 exceptId)
{
    qint32 found = 0;
    // Table and column names are the vocabulary's own; the person's text is always bound.
    const bool ok = m_policy.Run(
        QStringLiteral("CAttributesListView::OnEndlabeledit() - Open RecSetAttributeDuplicate"),
        [&]
        {
            CDbStatement st = m_db.Prepare(
                QStringLiteral("SELECT %1.%1Id FROM %1 WHERE %1.%1=? AND %1.%1Id <> ?").arg(m_strTable));
            st.Bind(1, name);
            st.Bind(2, exceptId);
            found = st.Step() ? st.Value(0).ToLong() : 0;
        });
    return ok ? found : -1;
}

int CAttributeVocabulary::CountUsers(const QString& name)
{
    CStatusScope status(m_ui, QStringLiteral("Searching for used instances of %1...").arg(name));
    int count = 0;
    const bool ok =
        m_policy.Run(QStringLiteral("CAttributesListView::OnMwAttributeDelete() : %1 - %2")
                         .arg(m_strTable, QStringLiteral("Counting")),
                     [&]
                     {
                         count = 0;
                         CDbStatement st = m_db.Prepare(
                             QStringLiteral("SELECT %1 FROM FileInfo WHERE %1 Is Not Null").arg(m_strTable));
                         while (st.Step())
                             if (NameList::Contains(st.Value(0).ToString(), name))
                                 ++count;
                     });
    return ok ? count : -1;
}

void CAttributeVocabulary::ReplaceInFileLists(const QString& oldName, const QString& newName)
{
    std::vector<std::pair<qint32, QString>> changed;
    CDbStatement st = m_db.Prepare(
        QStringLiteral("SELECT FileInfoId, %1 FROM FileInfo WHERE %1 Is Not Null").arg(m_strTable));
    while (st.Step())
    {
        QString list = st.Value(1).ToString();
        if (!NameList::Remove(list, oldName))
            continue;
        if (!newName.isEmpty())
            NameList::Insert(list, newName);
        changed.emplace_back(st.Value(0).ToLong(), list);
    }
    st.Reset();
    for (const auto& [fileInfoId, list] : changed)
    {
        m_db.Execute(QStringLiteral("UPDATE FileInfo SET %1=? WHERE FileInfoId=?").arg(m_strTable),
                     {ListOrNull(list), CDbValue(fileInfoId)});
        if (list.isEmpty())
            DeleteFileInfoIfEmpty(m_db, fileInfoId);
    }
}

CAttributeVocabulary::EResult CAttributeVocabulary::Add(const QString& name)
{
    const qint32 existing = FindOther(name);
    if (existing < 0)
        return EResult::Failed;
    if (existing > 0)
    {
        m_ui.MessageBox(QStringLiteral("The new %1 already exists.").arg(m_strTable),
                        QStringLiteral("Duplicate %1").arg(m_strTable), MsgIcon::Warning, MsgButtons::Ok);
        return EResult::Unchanged;
    }
    const qint32 id = GetNewRecSetId(m_db, QStringLiteral("%1_%1Id").arg(m_strTable), m_policy);
    const bool added =
        id > 0 &&
        m_policy.Run(QStringLiteral("CAttributesListView::OnEndlabeledit() - AddNew"),
                     [&]
                     {
                         m_db.Execute(
                             QStringLiteral("INSERT INTO %1 (%1Id, %1) VALUES (?, ?)").arg(m_strTable),
                             {CDbValue(id), CDbValue(name)});
                     });
    if (added)
        return EResult::Done;
    m_ui.MessageBox(QStringLiteral("Unable to set attribute"), QStringLiteral("Quarrane"), MsgIcon::Warning,
                    MsgButtons::Ok);
    return EResult::Failed;
}

CAttributeVocabulary::EResult CAttributeVocabulary::Rename(qint32 id, const QString& oldName,
                                                           const QString& newName,
                                                           CAttributeSelection* selection)
{
    if (newName == oldName)
        return EResult::Unchanged;
    const qint32 other = FindOther(newName, id);
    if (other < 0)
        return EResult::Failed;

    // The name the files end up with: on a merge the remaining attribute's own spelling, so that
    // the lists and the vocabulary agree letter for letter.
    QString survivor = newName;
    if (other > 0)
    {
        if (m_ui.MessageBox(
                QStringLiteral("A second %1 with the same name exists. Would you like to merge these "
                               "attributes?\n\nNote that this cannot be undone.")
                    .arg(m_strTable),
                QStringLiteral("Rename %1").arg(m_strTable), MsgIcon::Question,
                MsgButtons::YesNo) != MsgAnswer::Yes)
            return EResult::Unchanged;
        CDbStatement st = m_db.Prepare(QStringLiteral("SELECT %1 FROM %1 WHERE %1Id=?").arg(m_strTable));
        st.Bind(1, other);
        if (st.Step())
            survivor = st.Value(0).ToString();
    }

    CStatusScope status(m_ui, QStringLiteral("Renaming..."));
    const bool ok = m_policy.Run(
        QStringLiteral("CAttributesListView::OnEndlabeledit() Update: %1").arg(oldName),
        [&]
        {
            CDbTransaction transaction(m_db);
            if (other > 0)
                m_db.Execute(QStringLiteral("DELETE FROM %1 WHERE %1Id=?").arg(m_strTable), {CDbValue(id)});
            else
                m_db.Execute(QStringLiteral("UPDATE %1 SET %1=? WHERE %1Id=?").arg(m_strTable),
                             {CDbValue(newName), CDbValue(id)});
            ReplaceInFileLists(oldName, survivor);
            transaction.Commit();
        });
    if (!ok)
    {
        m_ui.MessageBox(QStringLiteral("Unable to rename attribute"), QStringLiteral("Quarrane"),
                        MsgIcon::Warning, MsgButtons::Ok);
        return EResult::Failed;
    }
    if (selection)
        for (QString* list : {&selection->strAll, &selection->strSome})
            if (NameList::Remove(*list, oldName))
                NameList::Insert(*list, survivor);
    return EResult::Done;
}

CAttributeVocabulary::EResult CAttributeVocabulary::Delete(qint32 id, const QString& name,
                                                           CAttributeSelection* selection)
{
    const int users = CountUsers(name);
    if (users < 0)
        return EResult::Failed;
    if (users > 0 &&
        m_ui.MessageBox(
            QStringLiteral("There are %1 files using this %2. Are you sure that you wish to delete "
                           "this attribute?\n\nNote that this cannot be undone.")
                .arg(users)
                .arg(m_strTable),
            QStringLiteral("Confirm Delete Attribute"), MsgIcon::Question,
            MsgButtons::YesNo) != MsgAnswer::Yes)
        return EResult::Unchanged;

    CStatusScope status(m_ui, QStringLiteral("Removing %1...").arg(name));
    // The usage rows go with the attribute's row (cascade).
    const bool ok = m_policy.Run(
        QStringLiteral("CAttributesListView::OnMwAttributeDelete() : %1 - %2").arg(m_strTable, name),
        [&]
        {
            CDbTransaction transaction(m_db);
            ReplaceInFileLists(name, QString());
            m_db.Execute(QStringLiteral("DELETE FROM %1 WHERE %1Id=?").arg(m_strTable), {CDbValue(id)});
            transaction.Commit();
        });
    if (!ok)
        return EResult::Failed;
    if (selection)
        selection->Remove(name);
    return EResult::Done;
}
