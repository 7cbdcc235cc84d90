#pragma once

#include <QAbstractTableModel>

class CMwuSynchState;
class CMwuTaskList;

// The task list as the window shows it: one row per task row, eleven columns of text. The model
// keeps no rows of its own; Refresh() makes the view catch up with the list.
class CMwuTaskListModel final : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        ColumnTask,
        ColumnDatabase,
        ColumnCatalogue,
        ColumnStatus,
        ColumnProgress,
        ColumnDriveType,
        ColumnVolume,
        ColumnLocation,
        ColumnRelativePath,
        ColumnLocalMachine,
        ColumnUser,
        ColumnCount,
    };

    CMwuTaskListModel(const CMwuTaskList& list, const CMwuSynchState& state, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Unless closing: takes in rows added since the last refresh and redraws the rest.
    void Refresh();

private:
    const CMwuTaskList& m_list;
    const CMwuSynchState& m_state;
    int m_nRows = 0;
};
