#pragma once

#include "browser/DataCtrlDescriptor.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// What the file list's statements are made of: the FROM, WHERE and ORDER BY parts, the fields of
// the SELECT list, the columns shown, the sorted column and the grouping, and the statements
// built from them (the list itself, its keys in display order, one page of rows by key, and a
// find). Plain text work without a database, so every rule of the ORDER BY can be checked alone.
class CRecordSetSql final
{
public:
    static constexpr int kUnsorted = 0x7fffffff;

    // The user whose name replaces GetUserName() and [ParamUserName].
    void SetUserName(const QString& userName) { m_strUserName = userName; }
    const QString& UserName() const { return m_strUserName; }
    // The column that identifies a row of the statement ("File.FileId" by default).
    void SetKeyField(const QString& keyField) { m_strKeyField = keyField; }
    const QString& KeyField() const { return m_strKeyField; }

    void SetSQL(const QString& sql);
    void SetFrom(const QString& from);
    void SetWhere(const QString& where);
    void SetOrderBy(const QString& orderBy);
    void AddWhere(const QString& condition);
    const QString& From() const { return m_strFrom; }
    const QString& Where() const { return m_strWhere; }
    const QString& OrderBy() const { return m_strOrderBy; }

    // False when a field of that name (case ignored) is there already.
    bool AddField(const CDataCtrlDescriptor& field);
    void AddColumn(const CDataCtrlDescriptor& column);
    void ClearFields() { m_fields.clear(); }
    void ClearColumns() { m_columns.clear(); }
    const std::vector<CDataCtrlDescriptor>& Fields() const { return m_fields; }
    const std::vector<CDataCtrlDescriptor>& Columns() const { return m_columns; }
    // The field a column shows; nullptr for an unbound column or a bad index.
    const CDataCtrlDescriptor* ColumnField(int column) const;
    // The field of that name ("File.File", or "File" alone); -1 when none.
    int FieldIndex(const QString& name) const;
    bool HasFieldNames() const;

    // Grouping: the ORDER BY that makes the groups and how many of its items start a new band.
    void SetGrouping(const QString& orderBy, int depth);
    const QStringList& GroupingColumns() const { return m_groupingColumns; }
    // The ORDER BY items with their qualifiers, without ASC/DESC.
    const QStringList& GroupingItems() const { return m_groupingItems; }
    int GroupingDepth() const { return m_nGroupingDepth; }
    bool IsGroupingEnabled() const { return m_bGroupingEnabled; }
    bool IsGroupedOrder() const { return m_bGroupingEnabled && m_bGroupedOrder; }
    void SetGroupedOrder(bool on) { m_bGroupedOrder = on; }

    // Sorting: 1-based column, negative when descending, kUnsorted when none.
    int SortColumn() const { return m_nSortColumn; }
    void SetSortingAllowed(bool allowed) { m_bSortingAllowed = allowed; }
    bool SortingAllowed() const { return m_bSortingAllowed; }
    // A click on a column header (0-based): a new column sorts ascending, the sorted column flips,
    // and a descending column of a grouped list goes back to the grouped order. False when the
    // click changes nothing.
    bool HeaderClick(int column);
    // The same rule reached through a sort request: a column already sorted in the order asked
    // for is left alone (so a view that repeats its current order changes nothing), a column
    // below 0 goes back to the grouped order, anything else is a header click.
    bool Sort(int column, Qt::SortOrder order);
    // 0 no arrow, 1 ascending, 2 descending (the header's images).
    int SortImage(int column) const;

    // The ORDER BY part the list opens with.
    QString DecideOrderBy() const;
    // The list's statement: the fields, FROM, WHERE and the decided ORDER BY.
    QString BuildSelect() const;
    // The keys in display order, followed by the grouping items that make the bands.
    QString KeyStatement() const;
    int KeyStatementGroupValues() const;
    // The key and the fields of up to pageRows rows whose keys are bound as ?1..?pageRows.
    QString PageStatement(int pageRows) const;
    // The same with only these fields (indexes into Fields()), in this order; fields without a
    // name are left out.
    QString PageStatement(int pageRows, const std::vector<int>& fields) const;
    // The keys of the list's rows that meet a criterion in the list's own column names.
    QString FindStatement(const QString& criterion) const;

    // The user's name put into a statement.
    QString ResolveUser(const QString& sql) const;

    // "File.FileId" gives File and FileId; brackets removed.
    static std::pair<QString, QString> SplitField(const QString& field);
    // The column names of a grouping ORDER BY (qualifiers removed) and its items (qualified,
    // without direction).
    static std::pair<QStringList, QStringList> ParseGroupingItems(const QString& orderBy);

private:
    QString FromAndWhere(const QStringList& names) const;

    QString m_strUserName;
    QString m_strKeyField = QStringLiteral("File.FileId");
    QString m_strFrom;
    QString m_strWhere;
    QString m_strOrderBy;
    std::vector<CDataCtrlDescriptor> m_fields;
    std::vector<CDataCtrlDescriptor> m_columns;

    int m_nSortColumn = kUnsorted;
    bool m_bSortingAllowed = true;
    QString m_strGroupingOrderBy;
    QStringList m_groupingColumns;
    QStringList m_groupingItems;
    int m_nGroupingDepth = 0;
    bool m_bGroupingEnabled = false;
    bool m_bGroupedOrder = true;
};
