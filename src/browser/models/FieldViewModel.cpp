#include "browser/models/FieldViewModel.h"

CFieldViewModel::CFieldViewModel(CDbRetryPolicy& policy, QObject* parent)
    : QAbstractListModel(parent), m_policy(policy)
{
}

bool CFieldViewModel::Load(CDbDatabase* db, const QString& userName, const QString& viewName)
{
    beginResetModel();
    m_pDatabase = db;
    m_strUserName = userName;
    const bool loaded = db && m_columns.Load(*db, userName, viewName);
    if (!db)
        m_columns = CFieldViewColumns();
    endResetModel();
    return loaded;
}

bool CFieldViewModel::LoadCurrent(CDbDatabase* db, const QString& userName, CFieldViewColumns::ListKind kind)
{
    if (!db)
        return Load(nullptr, userName, QString());
    return Load(db, userName, CFieldViewColumns::CurrentViewName(*db, userName, kind));
}

bool CFieldViewModel::SetColumnWidth(int row, int width)
{
    if (!m_pDatabase || row < 0 || row >= rowCount() || width < 0)
        return false;
    const CFieldViewColumn& column = m_columns.Columns()[static_cast<size_t>(row)];
    if (!CFieldViewColumns::SaveColumnWidth(*m_pDatabase, m_policy, m_strUserName, m_columns.ViewId(),
                                            column.lFieldId, width))
        return false;
    // What was stored is what the next load reads; the view keeps its columns meanwhile.
    const QString viewName = m_columns.ViewName();
    const size_t before = m_columns.Columns().size();
    CFieldViewColumns reread;
    if (!reread.Load(*m_pDatabase, m_strUserName, viewName))
        return true;
    if (reread.Columns().size() != before)
    {
        // Someone changed the view meanwhile: show it as it is now.
        beginResetModel();
        m_columns = reread;
        endResetModel();
        return true;
    }
    m_columns = reread;
    emit dataChanged(index(row), index(row), {WidthRole, UserWidthRole});
    return true;
}

int CFieldViewModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.Columns().size());
}

QVariant CFieldViewModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const CFieldViewColumn& c = m_columns.Columns()[static_cast<size_t>(index.row())];
    switch (role)
    {
    case Qt::DisplayRole:
        return c.strCaption;
    case FieldIdRole:
        return c.lFieldId;
    case TableFieldRole:
        return c.strTableField;
    case TypeRole:
        return c.nType;
    case FormatRole:
        return c.strFormat;
    case OrderRole:
        return c.nOrder;
    case WidthRole:
        return c.nWidth;
    case UserWidthRole:
        return c.bUserWidth;
    case KindRole:
        return c.Kind();
    case SortPriorityRole:
        return c.SortPriority();
    default:
        return {};
    }
}

bool CFieldViewModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != WidthRole || !index.isValid())
        return false;
    bool ok = false;
    const int width = value.toInt(&ok);
    return ok && SetColumnWidth(index.row(), width);
}

Qt::ItemFlags CFieldViewModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
