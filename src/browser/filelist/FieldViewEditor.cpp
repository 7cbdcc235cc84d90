#include "browser/filelist/FieldViewEditor.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/DbServices.h"
#include "database/DbTransaction.h"

#include <algorithm>
#include <set>

namespace
{
const QString kNewName = QStringLiteral("New Field View");
} // namespace

CFieldViewEditor::CFieldViewEditor(CDbDatabase& db, CDbRetryPolicy& policy, QString userName)
    : m_db(db), m_policy(policy), m_strUserName(std::move(userName))
{
}

bool CFieldViewEditor::Load()
{
    m_views.clear();
    m_fields.clear();
    m_otherViews.clear();
    m_deleted.clear();
    m_bChanged = false;
    try
    {
        // Global views first, then the user's own, each by name.
        CDbStatement views = m_db.Prepare(QStringLiteral(
            "SELECT FileListFieldViewId, FileListFieldView, [User] FROM FileListFieldView "
            "ORDER BY IIf([User] Is Null Or [User]='', 0, 1), FileListFieldView, FileListFieldViewId"));
        while (views.Step())
        {
            const QString owner = views.Value(2).ToString();
            if (!owner.isEmpty() && owner != m_strUserName)
            {
                m_otherViews.emplace_back(views.Value(1).ToString(), owner);
                continue;
            }
            SView view;
            view.id = views.Value(0).ToLong();
            view.name = view.originalName = views.Value(1).ToString();
            view.global = owner.isEmpty();
            m_views.push_back(view);
        }
        CDbStatement shown = m_db.Prepare(
            QStringLiteral("SELECT FieldId FROM FileListFieldViewField WHERE FileListFieldViewId=? ORDER BY "
                           "[Order], FieldId"));
        for (SView& view : m_views)
        {
            shown.Bind(1, view.id);
            while (shown.Step())
                view.fields.push_back(shown.Value(0).ToLong());
            shown.Reset();
        }
        CDbStatement fields =
            m_db.Prepare(QStringLiteral("SELECT FieldId, Field FROM Field WHERE Displayable<>0 AND "
                                        "TableField Is Not Null ORDER BY Field"));
        while (fields.Step())
            m_fields.push_back({fields.Value(0).ToLong(), fields.Value(1).ToString()});
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(
            e, QString(),
            QStringLiteral("CMwFileListFieldViewsDialog::OnInitDialog() - m_pFileListFieldViewRecSet->Open"));
        return false;
    }
    return true;
}

int CFieldViewEditor::IndexOf(const QString& name) const
{
    for (int i = 0; i < Count(); ++i)
        if (m_views[static_cast<size_t>(i)].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString CFieldViewEditor::Caption(qint32 fieldId) const
{
    for (const SField& field : m_fields)
        if (field.id == fieldId)
            return field.caption;
    return QString();
}

std::vector<CFieldViewEditor::SField> CFieldViewEditor::AvailableFields(int view) const
{
    std::vector<SField> available;
    const std::vector<qint32>& shown = View(view).fields;
    for (const SField& field : m_fields)
        if (std::find(shown.begin(), shown.end(), field.id) == shown.end())
            available.push_back(field);
    return available;
}

bool CFieldViewEditor::NameTaken(const QString& name, int except, QString* owner) const
{
    for (int i = 0; i < Count(); ++i)
        if (i != except && m_views[static_cast<size_t>(i)].name.compare(name, Qt::CaseInsensitive) == 0)
        {
            if (owner)
                *owner = m_views[static_cast<size_t>(i)].global ? QString() : m_strUserName;
            return true;
        }
    for (const auto& [other, otherOwner] : m_otherViews)
        if (other.compare(name, Qt::CaseInsensitive) == 0)
        {
            if (owner)
                *owner = otherOwner;
            return true;
        }
    return false;
}

QString CFieldViewEditor::FreeName(const QString& base) const
{
    if (!NameTaken(base, -1, nullptr))
        return base;
    for (int n = 2;; ++n)
    {
        const QString name = base + QString::number(n);
        if (!NameTaken(name, -1, nullptr))
            return name;
    }
}

int CFieldViewEditor::AddView(SView view, SMessage* message)
{
    if (Count() >= kMaxViews)
    {
        if (message)
            *message = {QStringLiteral("The maximum number of File List Field Views (%1) has been reached.")
                            .arg(kMaxViews),
                        QStringLiteral("Unable To Create File List Field View")};
        return -1;
    }
    view.changed = true;
    m_views.push_back(std::move(view));
    m_bChanged = true;
    return Count() - 1;
}

int CFieldViewEditor::New(SMessage* message)
{
    SView view;
    view.name = FreeName(kNewName);
    return AddView(std::move(view), message);
}

int CFieldViewEditor::Copy(int view, SMessage* message)
{
    SView copy;
    const QString base = view >= 0 && view < Count() ? View(view).name : QString();
    copy.name = FreeName(base.isEmpty() ? kNewName : base);
    if (view >= 0 && view < Count())
        copy.fields = View(view).fields;
    return AddView(std::move(copy), message);
}

bool CFieldViewEditor::Rename(int view, const QString& name, SMessage* message)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || view < 0 || view >= Count())
        return false;
    QString owner;
    if (NameTaken(trimmed, view, &owner))
    {
        if (message)
            *message = {
                owner.isEmpty() || owner == m_strUserName
                    ? QStringLiteral("The view name already exists\nPlease choose a different name.")
                    : QStringLiteral("The view name already exists in %1's File List Field View.\nPlease "
                                     "choose a different name.")
                          .arg(owner),
                QStringLiteral("Duplicate File List Field View")};
        return false;
    }
    SView& v = m_views[static_cast<size_t>(view)];
    if (v.name != trimmed)
    {
        v.name = trimmed;
        v.changed = m_bChanged = true;
    }
    return true;
}

void CFieldViewEditor::Delete(int view)
{
    if (view < 0 || view >= Count())
        return;
    if (const qint32 id = View(view).id)
        m_deleted.push_back(id);
    m_views.erase(m_views.begin() + view);
    m_bChanged = true;
}

void CFieldViewEditor::SetGlobal(int view, bool global)
{
    SView& v = m_views[static_cast<size_t>(view)];
    if (v.global != global)
    {
        v.global = global;
        v.changed = m_bChanged = true;
    }
}

void CFieldViewEditor::SetShownFields(int view, std::vector<qint32> fields)
{
    SView& v = m_views[static_cast<size_t>(view)];
    if (v.fields != fields)
    {
        v.fields = std::move(fields);
        v.changed = m_bChanged = true;
    }
}

bool CFieldViewEditor::Commit()
{
    if (!m_bChanged)
        return true;
    // Identifiers first: the allocator writes in a transaction of its own.
    std::vector<qint32> ids;
    for (const SView& view : m_views)
    {
        qint32 id = view.id;
        if (id == 0)
            id = GetNewRecSetId(m_db, QStringLiteral("FileListFieldView_FileListFieldViewId"), m_policy);
        if (id <= 0)
            return false;
        ids.push_back(id);
    }
    const bool written = m_policy.Run(
        QStringLiteral("CMwFileListFieldViewsDialog::SaveShowTheseFieldsListToFileListFieldView() - "
                       "m_pFileListFieldViewRecSet->Edit/AddNew()"),
        [&]
        {
            CDbTransaction transaction(m_db);
            for (const qint32 id : m_deleted)
            {
                m_db.Execute(QStringLiteral(
                                 "DELETE FROM FileListFieldViewFieldUserValues WHERE FileListFieldViewId=?"),
                             {CDbValue(id)});
                m_db.Execute(QStringLiteral("DELETE FROM FileListFieldViewField WHERE FileListFieldViewId=?"),
                             {CDbValue(id)});
                m_db.Execute(QStringLiteral("DELETE FROM FileListFieldView WHERE FileListFieldViewId=?"),
                             {CDbValue(id)});
            }
            for (size_t i = 0; i < m_views.size(); ++i)
            {
                const SView& view = m_views[i];
                if (!view.changed)
                    continue;
                const qint32 id = ids[i];
                const CDbValue owner = view.global ? CDbValue::Null() : CDbValue(m_strUserName);
                if (view.id == 0)
                    m_db.Execute(QStringLiteral("INSERT INTO FileListFieldView (FileListFieldViewId, "
                                                "FileListFieldView, [User]) VALUES (?, ?, ?)"),
                                 {CDbValue(id), CDbValue(view.name), owner});
                else
                    m_db.Execute(
                        QStringLiteral("UPDATE FileListFieldView SET FileListFieldView=?, [User]=? WHERE "
                                       "FileListFieldViewId=?"),
                        {CDbValue(view.name), owner, CDbValue(id)});
                // Fields that stay keep their rows, so every user's widths for them stay too.
                std::set<qint32> stored;
                {
                    CDbStatement rows = m_db.Prepare(QStringLiteral(
                        "SELECT FieldId FROM FileListFieldViewField WHERE FileListFieldViewId=?"));
                    rows.Bind(1, id);
                    while (rows.Step())
                        stored.insert(rows.Value(0).ToLong());
                }
                for (const qint32 field : stored)
                    if (std::find(view.fields.begin(), view.fields.end(), field) == view.fields.end())
                        m_db.Execute(
                            QStringLiteral("DELETE FROM FileListFieldViewField WHERE FileListFieldViewId=? "
                                           "AND FieldId=?"),
                            {CDbValue(id), CDbValue(field)});
                for (size_t order = 0; order < view.fields.size(); ++order)
                {
                    const qint32 field = view.fields[order];
                    if (stored.count(field))
                        m_db.Execute(
                            QStringLiteral("UPDATE FileListFieldViewField SET [Order]=? WHERE "
                                           "FileListFieldViewId=? AND FieldId=?"),
                            {CDbValue(static_cast<qint32>(order + 1)), CDbValue(id), CDbValue(field)});
                    else
                        m_db.Execute(
                            QStringLiteral("INSERT INTO FileListFieldViewField (FileListFieldViewId, "
                                           "FieldId, [Order]) VALUES (?, ?, ?)"),
                            {CDbValue(id), CDbValue(field), CDbValue(static_cast<qint32>(order + 1))});
                }
                // A renamed view stays the choice of the users who had chosen it.
                if (view.id != 0 && view.name != view.originalName)
                    m_db.Execute(
                        QStringLiteral("UPDATE Parameter SET [Value]=? WHERE [Value]=? AND "
                                       "(Parameter LIKE 'FolderFileListFieldView_*' OR Parameter LIKE "
                                       "'QueryFileListFieldView_*')"),
                        {CDbValue(view.name), CDbValue(view.originalName)});
            }
            transaction.Commit();
        });
    if (written)
    {
        for (size_t i = 0; i < m_views.size(); ++i)
        {
            m_views[i].id = ids[i];
            m_views[i].originalName = m_views[i].name;
            m_views[i].changed = false;
        }
        m_deleted.clear();
        m_bChanged = false;
    }
    return written;
}
