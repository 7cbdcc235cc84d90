#include "browser/models/FieldViewColumns.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/DbServices.h"
#include "database/DbTransaction.h"

namespace
{
constexpr int kFieldTypeInteger = 1;
constexpr int kFieldTypeBytes = 6;

struct CStandardField
{
    const char* name;
    int sortPriority;
    int kind;
};

// The SELECT list of every file list: the catalogue, folder and name lead the secondary sort keys
// so that rows of equal sort value stay in a stable, readable order.
const CStandardField kStandardFields[] = {
    {"Catalogue.Catalogue", 1, CDataCtrlDescriptor::KindText},
    {"RelativePath.RelativePath", 2, CDataCtrlDescriptor::KindText},
    {"File.File", 3, CDataCtrlDescriptor::KindText},
    {"Catalogue.Volume", 0, CDataCtrlDescriptor::KindText},
    {"Catalogue.Location", 0, CDataCtrlDescriptor::KindText},
    {"Catalogue.DriveType", 0, CDataCtrlDescriptor::KindText},
    {"File.FileSizeHigh", 0, CDataCtrlDescriptor::KindText},
    {"File.FileSize", 0, CDataCtrlDescriptor::KindText},
    {"File.TTH", 0, CDataCtrlDescriptor::KindText},
    {"File.AlternateFile", 0, CDataCtrlDescriptor::KindText},
    {"File.Extension", 0, CDataCtrlDescriptor::KindText},
    {"File.LastModified", 0, CDataCtrlDescriptor::KindText},
    {"File.CatalogueId", 0, CDataCtrlDescriptor::KindText},
    {"File.RelativePathId", 0, CDataCtrlDescriptor::KindText},
    {"File.FileId", 0, CDataCtrlDescriptor::KindText},
    {"File.FileInfoId", 0, CDataCtrlDescriptor::KindText},
    {"File.SimilarityId", 0, CDataCtrlDescriptor::KindText},
    {"File.Deleted", 0, CDataCtrlDescriptor::KindText},
    {"File.Ghost", 0, CDataCtrlDescriptor::KindText},
    {"File.DontMark", 0, CDataCtrlDescriptor::KindText},
    {"File.FileSizeDouble", 0, CDataCtrlDescriptor::KindFileSize},
    {"FileUserSelect.Mark", 0, CDataCtrlDescriptor::KindText},
    {"FileUserSelect.QueryMark", 0, CDataCtrlDescriptor::KindText},
    {"FileInfo.Description", 0, CDataCtrlDescriptor::KindText},
    {"FileInfo.Keyword", 0, CDataCtrlDescriptor::KindText},
    {"FileInfo.Category", 0, CDataCtrlDescriptor::KindText},
    {"FileInfo.Notes", 0, CDataCtrlDescriptor::KindText},
};

const QString kApplyContext =
    QStringLiteral("CMirrowelView::SetFileListFieldView() - m_pFileListFieldViewFieldRecSet->Seek()");
} // namespace

int CFieldViewColumn::Kind() const
{
    if (nType == kFieldTypeBytes)
        return CDataCtrlDescriptor::KindFileSize;
    if (nType == kFieldTypeInteger)
        return CDataCtrlDescriptor::KindNumber;
    return CDataCtrlDescriptor::KindText;
}

int CFieldViewColumn::SortPriority() const
{
    for (const CStandardField& f : kStandardFields)
        if (strTableField.compare(QLatin1String(f.name), Qt::CaseInsensitive) == 0)
            return f.sortPriority;
    return 0;
}

bool CFieldViewColumns::Load(CDbDatabase& db, const QString& userName, const QString& viewName)
{
    m_lViewId = 0;
    m_strViewName.clear();
    m_strOwner.clear();
    m_columns.clear();
    try
    {
        CDbStatement view = db.Prepare(QStringLiteral("SELECT FileListFieldViewId, FileListFieldView, [User] "
                                                      "FROM FileListFieldView WHERE FileListFieldView=? "
                                                      "ORDER BY FileListFieldViewId"));
        view.Bind(1, viewName);
        if (!view.Step())
            return false;
        m_lViewId = view.Value(0).ToLong();
        m_strViewName = view.Value(1).ToString();
        m_strOwner = view.Value(2).ToString();

        CDbStatement fields = db.Prepare(QStringLiteral(
            "SELECT Field.FieldId, Field.TableField, Field.Field, Field.Type, Field.Format, "
            "Field.DefaultWidth, "
            "FileListFieldViewField.Order FROM FileListFieldViewField INNER JOIN Field ON Field.FieldId = "
            "FileListFieldViewField.FieldId WHERE FileListFieldViewField.FileListFieldViewId=? "
            "ORDER BY FileListFieldViewField.Order, Field.FieldId"));
        fields.Bind(1, m_lViewId);
        while (fields.Step())
        {
            CFieldViewColumn column;
            column.lFieldId = fields.Value(0).ToLong();
            column.strTableField = fields.Value(1).ToString();
            column.strCaption = fields.Value(2).ToString();
            column.nType = fields.Value(3).ToLong();
            column.strFormat = fields.Value(4).ToString();
            column.nDefaultWidth = fields.Value(5).ToLong();
            column.nWidth = column.nDefaultWidth;
            column.nOrder = fields.Value(6).ToLong();
            // A field without a source column cannot be shown.
            if (!column.strTableField.isEmpty())
                m_columns.push_back(column);
        }

        CDbStatement widths =
            db.Prepare(QStringLiteral("SELECT FieldId, Width FROM FileListFieldViewFieldUserValues WHERE "
                                      "[User]=? AND FileListFieldViewId=?"));
        widths.Bind(1, userName).Bind(2, m_lViewId);
        while (widths.Step())
        {
            const qint32 fieldId = widths.Value(0).ToLong();
            for (CFieldViewColumn& column : m_columns)
                if (column.lFieldId == fieldId && !widths.Value(1).IsNull())
                {
                    column.nWidth = widths.Value(1).ToLong();
                    column.bUserWidth = true;
                }
        }
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), kApplyContext);
        m_columns.clear();
        m_lViewId = 0;
        return false;
    }
    return true;
}

std::vector<CDataCtrlDescriptor> CFieldViewColumns::StandardFields()
{
    std::vector<CDataCtrlDescriptor> fields;
    for (const CStandardField& f : kStandardFields)
    {
        CDataCtrlDescriptor d;
        d.m_strFieldName = QLatin1String(f.name);
        d.m_nSortPriority = f.sortPriority;
        d.m_nKind = f.kind;
        fields.push_back(d);
    }
    return fields;
}

void CFieldViewColumns::ApplyTo(CRecordSetList& list) const
{
    for (CDataCtrlDescriptor field : StandardFields())
    {
        // A shown field keeps the caption and print format its Field row gives it.
        for (const CFieldViewColumn& column : m_columns)
            if (column.strTableField.compare(field.m_strFieldName, Qt::CaseInsensitive) == 0)
            {
                field.m_strCaption = column.strCaption;
                if (!column.strFormat.isEmpty())
                    field.m_strFormat = column.strFormat;
                break;
            }
        list.DataCtrl_AddField(field);
    }
    for (const CFieldViewColumn& column : m_columns)
    {
        CDataCtrlDescriptor field;
        field.m_strFieldName = column.strTableField;
        field.m_strCaption = column.strCaption;
        field.m_nKind = column.Kind();
        field.m_nSortPriority = column.SortPriority();
        if (!column.strFormat.isEmpty())
            field.m_strFormat = column.strFormat;
        list.DataCtrl_AddField(field);

        CDataCtrlDescriptor shown = field;
        shown.m_nWidth = column.nWidth;
        const auto& fields = list.Fields();
        for (size_t i = 0; i < fields.size(); ++i)
            if (fields[i].m_strFieldName.compare(column.strTableField, Qt::CaseInsensitive) == 0)
            {
                shown.m_nFieldIndex = static_cast<int>(i);
                break;
            }
        list.AddColumn(shown);
    }
}

QString CFieldViewColumns::ParameterName(const QString& userName, ListKind kind)
{
    return (kind == ListKind::Folder ? QStringLiteral("FolderFileListFieldView_")
                                     : QStringLiteral("QueryFileListFieldView_")) +
           userName;
}

QString CFieldViewColumns::CurrentViewName(CDbDatabase& db, const QString& userName, ListKind kind)
{
    const QString parameter = ParameterName(userName, kind);
    const QString chosen = GetDatabaseParameter(&db, parameter);
    if (!chosen.isEmpty())
        return chosen;
    const QString fallback =
        kind == ListKind::Folder ? QStringLiteral("Folder (Default)") : QStringLiteral("Query (Default)");
    try
    {
        CDbStatement st = db.Prepare(
            QStringLiteral("SELECT FileListFieldView FROM FileListFieldView WHERE FileListFieldView=?"));
        st.Bind(1, fallback);
        if (!st.Step())
            return QString();
        const QString name = st.Value(0).ToString();
        st.Reset();
        // A database opened only to be read keeps no first choice.
        if (!db.IsReadOnly())
            SetDatabaseParameter(&db, parameter, name);
        return name;
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(
            e, QString(),
            QStringLiteral("CMirrowelQueryView::OnInitialUpdate() - m_pFileListFieldViewRecSet->Open()"));
    }
    return QString();
}

bool CFieldViewColumns::SetCurrentViewName(CDbDatabase& db, const QString& userName, ListKind kind,
                                           const QString& viewName)
{
    return SetDatabaseParameter(&db, ParameterName(userName, kind), viewName);
}

QStringList CFieldViewColumns::ViewNames(CDbDatabase& db, const QString& userName)
{
    QStringList names;
    try
    {
        // Global views first; a view with an empty owner is global as one with none.
        CDbStatement st = db.Prepare(QStringLiteral(
            "SELECT FileListFieldView, [User] FROM FileListFieldView WHERE [User] Is Null OR [User]=? "
            "ORDER BY [User], FileListFieldView"));
        st.Bind(1, userName);
        while (st.Step() && names.size() < kMaxViews)
            names.append(st.Value(0).ToString());
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(
            e, QString(),
            QStringLiteral("CMirrowelView::OnInitMenuPopup() - m_pFileListFieldViewRecSet->Open()"));
    }
    return names;
}

bool CFieldViewColumns::SaveColumnWidth(CDbDatabase& db, CDbRetryPolicy& policy, const QString& userName,
                                        qint32 viewId, qint32 fieldId, int width)
{
    return policy.Run(
        QStringLiteral("CMirrowelView::OnNotify() - m_pFileListFieldViewFieldUserValuesRecSet->Open()"),
        [&]
        {
            CDbTransaction transaction(db);
            const int changed =
                db.Execute(QStringLiteral("UPDATE FileListFieldViewFieldUserValues SET Width=? WHERE "
                                          "[User]=? AND FileListFieldViewId=? AND FieldId=?"),
                           {CDbValue(width), CDbValue(userName), CDbValue(viewId), CDbValue(fieldId)});
            if (changed == 0)
                db.Execute(QStringLiteral(
                               "INSERT INTO FileListFieldViewFieldUserValues ([User], FileListFieldViewId, "
                               "FieldId, Width) VALUES (?, ?, ?, ?)"),
                           {CDbValue(userName), CDbValue(viewId), CDbValue(fieldId), CDbValue(width)});
            transaction.Commit();
        });
}
