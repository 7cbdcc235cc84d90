#include "synch/MwuTaskListModel.h"

#include "synch/MwuSynchState.h"
#include "synch/MwuTaskList.h"

CMwuTaskListModel::CMwuTaskListModel(const CMwuTaskList& list, const CMwuSynchState& state, QObject* parent)
    : QAbstractTableModel(parent), m_list(list), m_state(state), m_nRows(list.Size())
{
}

int CMwuTaskListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_nRows;
}

int CMwuTaskListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CMwuTaskListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(section == ColumnProgress ? Qt::AlignRight : Qt::AlignLeft) |
                                   Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    static const char* const titles[ColumnCount] = {"Task",     "Database",      "Catalogue",     "Status",
                                                    "Progress", "Drive Type",    "Volume",        "Location",
                                                    "Relative Path", "Local Machine", "User"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(titles[section]) : QVariant();
}

QVariant CMwuTaskListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || m_state.IsClosing())
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(
            Qt::Alignment(index.column() == ColumnProgress ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return QVariant();
    CMwuTask task;
    if (!m_list.CopyAt(index.row(), task))
        return QVariant();
    switch (index.column())
    {
    case ColumnTask:
        return TaskKindText(task.m_kind);
    case ColumnDatabase:
        return task.m_strDatabase;
    case ColumnCatalogue:
        return task.m_strCatalogue;
    case ColumnStatus:
        return TaskStatusText(task.m_status, m_state.IsPaused());
    case ColumnProgress:
        return TaskProgressText(task);
    case ColumnDriveType:
        return task.m_strDriveType;
    case ColumnVolume:
        return task.m_strVolume;
    case ColumnLocation:
        return task.m_strLocation;
    case ColumnRelativePath:
        return task.m_strRelativePath;
    case ColumnLocalMachine:
        return task.m_strLocalMachine;
    case ColumnUser:
        return task.m_strUser;
    default:
        return QVariant();
    }
}

void CMwuTaskListModel::Refresh()
{
    if (m_state.IsClosing())
        return;
    const int rows = m_list.Size();
    if (rows > m_nRows)
    {
        beginInsertRows(QModelIndex(), m_nRows, rows - 1);
        m_nRows = rows;
        endInsertRows();
    }
    if (m_nRows > 0)
        emit dataChanged(index(0, 0), index(m_nRows - 1, ColumnCount - 1), {Qt::DisplayRole});
}
