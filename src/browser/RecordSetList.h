#pragma once

#include "database/DbValue.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>

#include <vector>

class CDbDatabase;

// A field of the SELECT list, or a column of the list (which shows one field).
struct CDataCtrlDescriptor
{
    enum Kind : int
    {
        KindText = 0,
        KindNumber = 1,
        KindFileSize = 6,
    };

    int m_nIndex = 0;
    QString m_strFieldName; // "File.File": as it goes into the SELECT list and ORDER BY
    QString m_strCaption;
    QString m_strFormat = QStringLiteral("%g"); // printf format for floating-point values
    int m_nWidth = 0;                           // 0: the caption's length times 16
    int m_nFieldIndex = 0;                      // for a column: the field it shows
    int m_nSortPriority = 0;                    // 0: no secondary sort key, else its rank
    int m_nKind = KindText;
    bool m_bBound = true;

    bool IsFileInfoField() const { return m_strFieldName.left(9).compare(QLatin1String("FileInfo."), Qt::CaseInsensitive) == 0; }
};

// The data behind the file list: the rows of one statement (FROM, WHERE and ORDER BY parts and a
// list of fields), random-access at any position however many there are. Opening takes the rows'
// keys once, in order (4 bytes a row); the cells of a screen are read in one page by key when the
// view asks for them, so a row that another program deleted meanwhile shows empty cells. Also
// the per-row selection, header-click sorting, grouping bands, find and editing of the current row.
class CRecordSetList : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int kUnsorted = 0x7fffffff;
    static constexpr int kPageRows = 64;
    // Whether a row begins a new shade of the grouping bands (bool).
    static constexpr int BandRole = Qt::UserRole + 1;

    explicit CRecordSetList(QObject* parent = nullptr);
    ~CRecordSetList() override;

    // The user whose name replaces GetUserName() and [ParamUserName] in the SQL.
    void SetUserName(const QString& userName) { m_strUserName = userName; }
    // The column that identifies a row of the statement ("File.FileId" by default).
    void SetKeyField(const QString& keyField) { m_strKeyField = keyField; }

    // SQL.
    void DataCtrl_SetSQL(const QString& sql);
    void DataCtrl_SetFrom(const QString& from);
    void DataCtrl_SetWhere(const QString& where);
    void DataCtrl_SetOrderBy(const QString& orderBy);
    void DataCtrl_AddWhere(const QString& condition);
    const QString& From() const { return m_strFrom; }
    const QString& Where() const { return m_strWhere; }
    const QString& OrderBy() const { return m_strOrderBy; }
    // The statement the last open ran (without the key column).
    const QString& LastSql() const { return m_strLastSql; }

    // Fields and columns.
    void DataCtrl_AddField(const CDataCtrlDescriptor& field);
    void AddColumn(const CDataCtrlDescriptor& column);
    const std::vector<CDataCtrlDescriptor>& Fields() const { return m_fields; }

    // Opening and closing; the result is 0 or the engine's error code (21 without a database).
    int DataCtrl_Open(CDbDatabase* db);
    void DataCtrl_Close();
    void DataCtrl_Requery();
    bool IsOpen() const { return m_pDatabase != nullptr; }
    QString LastError() const { return m_strLastError; }
    int DataCtrl_GetRecordCount() const { return static_cast<int>(m_keys.size()); }

    // Sorting and grouping.
    void DataCtrl_SetGrouping(const QString& orderBy, int depth);
    const QStringList& GroupingColumns() const { return m_groupingColumns; }
    int SortColumn() const { return m_nSortColumn; }
    bool IsGroupedOrder() const { return m_bGroupingEnabled && m_bGroupedOrder; }
    void SetSortingAllowed(bool allowed) { m_bSortingAllowed = allowed; }
    // A click on the header of a column (0-based): sort by it, flip it, or go back to grouped order.
    void DataCtrl_OnHeaderClick(int column);

    // The current row.
    bool DataCtrl_MoveToRow(int row);
    int DataCtrl_GetCurrentRow() const { return m_nCurrentRow; }
    bool DataCtrl_IsRowValid();
    // The current row's value of a field; "<Connection Lost>" when the list is not open.
    CDbValue DataCtrl_GetFieldValue(int fieldIndex);
    CDbValue DataCtrl_GetFieldValue(const QString& fieldName);
    // Finding rows by a criterion in the engine's dialect ("FileId=12"): the current row moves to
    // the first match, or the next one after it; without a match it goes back to row 0.
    bool DataCtrl_FindFirst(const QString& criterion);
    bool DataCtrl_FindNext(const QString& criterion);

    // Editing the current row: fields of the key's table only.
    bool DataCtrl_Edit();
    void DataCtrl_SetFieldValue(const QString& fieldName, const CDbValue& value);
    bool DataCtrl_Update();
    void DataCtrl_CancelUpdate();

    // The text of a cell: the field's value as the list shows it.
    QString DataCtrlGetRowColumnValue(int row, int fieldIndex);

    // Selection.
    void SetSelected(int row, bool selected);
    bool IsSelected(int row) const;
    int SelectedCount() const;
    void SetFocusedRow(int row);
    int FocusedRow() const { return m_nFocusedRow; }

    // Qt model.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // SQL text of a list field: the Jet name of a descriptor with the user substituted.
    QString ResolveUser(const QString& sql) const;

signals:
    void rowCountChanged(int oldCount);
    // Around a re-sort: the owner keeps its selection by key and gives it back.
    void saveSelection();
    void restoreSelection();

private:
    QString BuildSelect(bool keysOnly) const;
    QString DecideOrderBy() const;
    bool LoadKeys(int& errorCode);
    // Makes sure the page holding row is read; false when it cannot be.
    bool LoadPage(int row) const;
    QString CellText(const CDbValue& value, const CDataCtrlDescriptor& field) const;

    QString m_strUserName;
    QString m_strKeyField = QStringLiteral("File.FileId");
    QString m_strFrom;
    QString m_strWhere;
    QString m_strOrderBy;
    QString m_strLastSql;
    QString m_strLastError;
    std::vector<CDataCtrlDescriptor> m_fields;
    std::vector<CDataCtrlDescriptor> m_columns;

    CDbDatabase* m_pDatabase = nullptr;
    CDbDatabase* m_pLastDatabase = nullptr;
    std::vector<qint32> m_keys;         // the rows, in order
    std::vector<bool> m_bandStarts;     // grouping: the band bit of each row
    std::vector<unsigned char> m_selected;
    mutable int m_nSelectedCount = -1;
    int m_nFocusedRow = -1;
    int m_nCurrentRow = 0;
    bool m_bRowDeleted = false;

    int m_nSortColumn = kUnsorted;
    bool m_bSortingAllowed = true;
    QString m_strGroupingOrderBy;
    QStringList m_groupingColumns;
    int m_nGroupingDepth = 0;
    bool m_bGroupingEnabled = false;
    bool m_bGroupedOrder = true;

    // The page of rows read last: its first row and, per row, the fields' values (empty when the
    // row is gone).
    mutable int m_nPageFirst = -1;
    mutable std::vector<std::vector<CDbValue>> m_page;
    mutable std::vector<bool> m_pageFound;
    QStringList m_groupingItems; // the grouping ORDER BY items, qualified, without DESC

    bool m_bEditing = false;
    std::vector<std::pair<QString, CDbValue>> m_pendingEdits;
};
