#include "browser/CatalogueTreeEdits.h"

#include "browser/MirrowelDoc.h"
#include "browser/models/CatalogueTreeModel.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/UserInteraction.h"
#include "database/DbStatement.h"
#include "database/DbTransaction.h"

#include <QSet>

namespace
{
constexpr const char* kDeleteGroupContext =
    "CCatalogueBrowserTreeCtrl::OnMwDeleteGroup() - cataloguerecset.Open";
constexpr const char* kDeleteCatalogueContext =
    "CCatalogueBrowserTreeCtrl::OnMwDeleteCatalogue() - cataloguerecset.Open";

QString ReadText(CDbDatabase& db, const QString& sql, qint32 id, const char* context)
{
    try
    {
        CDbStatement st = db.Prepare(sql);
        st.Bind(1, id);
        if (st.Step())
            return st.Value(0).ToString();
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QString::fromLatin1(context));
    }
    return {};
}
} // namespace

CCatalogueTreeEdits::CCatalogueTreeEdits(CMirrowelDoc& doc, CCatalogueTreeModel& model)
    : m_doc(doc), m_model(model)
{
}

bool CCatalogueTreeEdits::DeleteGroup(qint32 groupId)
{
    CDbDatabase* db = m_doc.Database();
    if (!db || !m_doc.CanWrite() || groupId <= 0)
        return false;
    const QString name =
        ReadText(*db, QStringLiteral("SELECT Group.Group FROM [Group] WHERE (Group.GroupId=?)"), groupId,
                 kDeleteGroupContext);
    const QString question =
        QStringLiteral(
            "Are you sure that you wish to delete the group:  %1?\n\n(Child catalogues and groups of "
            "'%1' will be moved outside all hierarchies.)\n\nNote that this cannot be undone.")
            .arg(name);
    if (m_doc.Interaction().MessageBox(question, QStringLiteral("Confirm Delete Group"), MsgIcon::Warning,
                                       MsgButtons::YesNo) != MsgAnswer::Yes)
        return false;
    // One transaction: a group never disappears while its children still name it.
    const bool written = m_doc.Write(
        QString::fromLatin1(kDeleteGroupContext),
        [&]
        {
            CDbTransaction trans(*db);
            db->Execute(QStringLiteral("UPDATE [Catalogue] SET GroupId=0 WHERE "
                                       "(Catalogue.GroupId=?)"),
                        {CDbValue(groupId)});
            db->Execute(QStringLiteral("UPDATE [Group] SET ParentGroupId=0 WHERE "
                                       "(Group.ParentGroupId=?)"),
                        {CDbValue(groupId)});
            db->Execute(QStringLiteral("DELETE FROM [Group] WHERE GroupId=?"), {CDbValue(groupId)});
            trans.Commit();
        });
    if (!written)
        return false;
    m_doc.ShowStatus(QStringLiteral("Updating Catalogue Browser..."));
    m_model.Requery();
    m_doc.ShowStatus(QString());
    return true;
}

bool CCatalogueTreeEdits::DeleteCatalogue(qint32 catalogueId)
{
    CDbDatabase* db = m_doc.Database();
    if (!db || !m_doc.CanWrite() || catalogueId <= 0)
        return false;
    const QString name = ReadText(
        *db, QStringLiteral("SELECT Catalogue.Catalogue FROM [Catalogue] WHERE (Catalogue.CatalogueId=?)"),
        catalogueId, kDeleteCatalogueContext);
    const QString question =
        QStringLiteral(
            "Are you sure that you wish to delete the catalogue:  %1?\n\nNote that this cannot be undone.")
            .arg(name);
    if (m_doc.Interaction().MessageBox(question, QStringLiteral("Confirm Delete Catalogue"), MsgIcon::Warning,
                                       MsgButtons::YesNo) != MsgAnswer::Yes)
        return false;
    if (!m_doc.Write(QString::fromLatin1(kDeleteCatalogueContext),
                     [&] {
                         db->Execute(QStringLiteral("DELETE FROM [Catalogue] WHERE CatalogueId=?"),
                                     {CDbValue(catalogueId)});
                     }))
        return false;
    m_doc.ShowStatus(QStringLiteral("Refreshing..."));
    // The item goes with its row: reloading it finds the row gone.
    m_model.ReloadCatalogue(catalogueId);
    m_doc.ShowStatus(QString());
    return true;
}

qint32 CCatalogueTreeEdits::ParentOfGroup(qint32 groupId) const
{
    CDbDatabase* db = m_doc.Database();
    if (!db)
        return -1;
    try
    {
        CDbStatement st =
            db->Prepare(QStringLiteral("SELECT Group.ParentGroupId FROM [Group] WHERE (Group.GroupId=?)"));
        st.Bind(1, groupId);
        if (st.Step())
            return st.Value(0).ToLong();
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CCatalogueBrowserTreeCtrl::MoveTreeItemTo() Group"));
    }
    return -1;
}

qint32 CCatalogueTreeEdits::GroupOfCatalogue(qint32 catalogueId) const
{
    CDbDatabase* db = m_doc.Database();
    if (!db)
        return -1;
    try
    {
        CDbStatement st = db->Prepare(
            QStringLiteral("SELECT Catalogue.GroupId FROM [Catalogue] WHERE (Catalogue.CatalogueId=?)"));
        st.Bind(1, catalogueId);
        if (st.Step())
            return st.Value(0).ToLong();
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CCatalogueBrowserTreeCtrl::MoveTreeItemTo() Catalogue"));
    }
    return -1;
}

bool CCatalogueTreeEdits::IsGroupOrDescendant(qint32 groupId, qint32 candidate) const
{
    // Up from the candidate: it lies below the group when the walk meets it. A damaged hierarchy
    // with a cycle ends the walk rather than looping.
    QSet<qint32> seen;
    for (qint32 g = candidate; g > 0 && !seen.contains(g); g = ParentOfGroup(g))
    {
        if (g == groupId)
            return true;
        seen.insert(g);
    }
    return false;
}

bool CCatalogueTreeEdits::CanDropItem(const CCatalogueDragPayload& payload,
                                      const CCatalogueTreeRecord& target) const
{
    if (!m_doc.IsOpen() || !IsSameDatabasePath(payload.strDatabasePath, m_doc.Path()))
        return false;
    // Only a group item or empty space (the top level) takes a drop.
    if (target.nKind != CCatalogueTreeRecord::KindGroup && target.nKind != CCatalogueTreeRecord::KindNone)
        return false;
    const qint32 targetGroup = target.nKind == CCatalogueTreeRecord::KindGroup ? target.lGroupId : 0;
    switch (payload.record.nKind)
    {
    case CCatalogueTreeRecord::KindGroup:
    {
        const qint32 group = payload.record.lGroupId;
        const qint32 parent = ParentOfGroup(group);
        return parent >= 0 && parent != targetGroup && !IsGroupOrDescendant(group, targetGroup);
    }
    case CCatalogueTreeRecord::KindCatalogue:
    {
        const qint32 current = GroupOfCatalogue(payload.record.lCatalogueId);
        return current >= 0 && current != targetGroup;
    }
    default:
        return false;
    }
}

bool CCatalogueTreeEdits::MoveTreeItemTo(const CCatalogueDragPayload& payload,
                                         const CCatalogueTreeRecord& target)
{
    if (!CanDropItem(payload, target) || !m_doc.CanWrite())
        return false;
    CDbDatabase* db = m_doc.Database();
    const qint32 targetGroup = target.nKind == CCatalogueTreeRecord::KindGroup ? target.lGroupId : 0;
    const bool group = payload.record.nKind == CCatalogueTreeRecord::KindGroup;
    const qint32 id = group ? payload.record.lGroupId : payload.record.lCatalogueId;
    const qint32 oldParent = group ? ParentOfGroup(id) : GroupOfCatalogue(id);
    const bool written = m_doc.Write(
        group ? QStringLiteral("CCatalogueBrowserTreeCtrl::MoveTreeItemTo() Group Update: %1").arg(id)
              : QStringLiteral("CCatalogueBrowserTreeCtrl::MoveTreeItemTo() Catalogue Update: %1").arg(id),
        [&]
        {
            if (group)
                db->Execute(QStringLiteral("UPDATE [Group] SET ParentGroupId=? WHERE GroupId=?"),
                            {CDbValue(targetGroup), CDbValue(id)});
            else
                db->Execute(QStringLiteral("UPDATE [Catalogue] SET GroupId=? WHERE CatalogueId=?"),
                            {CDbValue(targetGroup), CDbValue(id)});
        });
    if (!written)
        return false;
    // The item leaves its old place and appears at the new one, where that is loaded.
    auto reload = [this](qint32 groupId)
    {
        if (groupId == 0)
            m_model.ReloadChildren(QModelIndex());
        else if (const QModelIndex index = m_model.FindItem(CCatalogueTreeRecord::KindGroup, groupId);
                 index.isValid())
            m_model.ReloadChildren(index);
    };
    reload(oldParent);
    reload(targetGroup);
    return true;
}

bool CCatalogueTreeEdits::CanDropFiles(const CFileIdListPayload& payload,
                                       const CCatalogueTreeRecord& target) const
{
    if (!m_doc.IsOpen() || !IsSameDatabasePath(payload.strDatabasePath, m_doc.Path()) ||
        payload.fileIds.empty())
        return false;
    if (target.nKind == CCatalogueTreeRecord::KindCatalogue)
        return target.lCatalogueId != payload.lCatalogueId || payload.lRelativePathId != 0;
    if (target.nKind == CCatalogueTreeRecord::KindFolder)
        return target.lCatalogueId != payload.lCatalogueId ||
               target.lRelativePathId != payload.lRelativePathId;
    return false;
}
