#include "browser/RecordSetList.h"

#include "browser/SqlText.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/FileFormat.h"
#include "database/DbDatabase.h"

#include <QLocale>
#include <QRegularExpression>

#include <unordered_map>
#include <unordered_set>

namespace
{
// The body of a WHERE part, without its keyword.
QString WhereBody(const QString& where)
{
    const qsizetype at = where.indexOf(QStringLiteral("WHERE "), 0, Qt::CaseInsensitive);
    return at < 0 ? QString() : where.mid(at + 6).trimmed();
}

QString TrimStatement(QString sql)
{
    while (!sql.isEmpty() && (sql.back().isSpace() || sql.back() == QLatin1Char(';')))
        sql.chop(1);
    return sql;
}

// The table and column of a qualified field name: "File.FileId" gives File and FileId.
std::pair<QString, QString> SplitField(const QString& field)
{
    QString name = field;
    name.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return {name.left(qMax<qsizetype>(dot, 0)), name.mid(dot + 1)};
}
} // namespace

CRecordSetList::CRecordSetList(QObject* parent) : QAbstractTableModel(parent)
{
}

CRecordSetList::~CRecordSetList() = default;

QString CRecordSetList::ResolveUser(const QString& sql) const
{
    QString quoted = m_strUserName;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    QString result = SubstituteUserName(sql, m_strUserName);
    static const QRegularExpression parameter(QStringLiteral("\\[ParamUserName\\]"),
                                              QRegularExpression::CaseInsensitiveOption);
    return result.replace(parameter, QLatin1Char('\'') + quoted + QLatin1Char('\''));
}

void CRecordSetList::DataCtrl_SetSQL(const QString& sql)
{
    const SqlParts parts = SplitSql(sql, m_strUserName);
    m_strFrom = parts.from;
    m_strWhere = parts.where;
    m_strOrderBy = TrimStatement(parts.orderBy);
}

void CRecordSetList::DataCtrl_SetFrom(const QString& from)
{
    m_strFrom = SubstituteUserName(from, m_strUserName);
}

void CRecordSetList::DataCtrl_SetWhere(const QString& where)
{
    m_strWhere = SubstituteUserName(where, m_strUserName);
}

void CRecordSetList::DataCtrl_SetOrderBy(const QString& orderBy)
{
    m_strOrderBy = SubstituteUserName(orderBy, m_strUserName);
}

void CRecordSetList::DataCtrl_AddWhere(const QString& condition)
{
    m_strWhere = AddWhere(m_strWhere, condition);
}

void CRecordSetList::DataCtrl_AddField(const CDataCtrlDescriptor& field)
{
    for (const CDataCtrlDescriptor& f : m_fields)
        if (f.m_strFieldName.compare(field.m_strFieldName, Qt::CaseInsensitive) == 0)
            return;
    m_fields.push_back(field);
    m_fields.back().m_nIndex = static_cast<int>(m_fields.size()) - 1;
}

void CRecordSetList::AddColumn(const CDataCtrlDescriptor& column)
{
    m_columns.push_back(column);
    m_columns.back().m_nIndex = static_cast<int>(m_columns.size()) - 1;
    if (m_columns.back().m_nWidth == 0)
        m_columns.back().m_nWidth = static_cast<int>(column.m_strCaption.size()) * 16;
}

void CRecordSetList::DataCtrl_SetGrouping(const QString& orderBy, int depth)
{
    m_strGroupingOrderBy = orderBy;
    m_groupingColumns.clear();
    m_groupingItems.clear();
    m_nGroupingDepth = 0;
    m_bGroupingEnabled = false;
    const qsizetype at = orderBy.toLower().indexOf(QStringLiteral("order by "));
    if (at < 0)
        return;
    QString items = orderBy.mid(at + 9);
    items.replace(QStringLiteral(", "), QStringLiteral(","));
    items.remove(QLatin1Char('\t')).remove(QLatin1Char(';')).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    for (QString item : items.split(QLatin1Char(','), Qt::SkipEmptyParts))
    {
        item = item.trimmed();
        static const QRegularExpression direction(QStringLiteral("\\s+(DESC|ASC)$"),
                                                  QRegularExpression::CaseInsensitiveOption);
        QString expression = item;
        expression.remove(direction);
        m_groupingItems.append(expression);
        // The column name: the item without its table qualifier.
        const qsizetype blank = item.lastIndexOf(QLatin1Char(' '));
        const qsizetype dot = item.indexOf(QLatin1Char('.'), blank + 1);
        m_groupingColumns.append(dot < 0 ? item : item.left(blank + 1) + item.mid(dot + 1));
    }
    m_nGroupingDepth = depth;
    m_bGroupingEnabled = depth != 0;
}

QString CRecordSetList::DecideOrderBy() const
{
    if (m_bGroupingEnabled && m_bGroupedOrder)
        return m_strGroupingOrderBy;
    if (!m_bSortingAllowed)
        return m_strOrderBy;
    QString part = m_strOrderBy;
    bool started = false;
    const bool descending = m_nSortColumn != kUnsorted && m_nSortColumn < 0;
    int sortedField = -1;
    if (m_nSortColumn != kUnsorted)
    {
        const int column = std::abs(m_nSortColumn) - 1;
        if (column >= 0 && column < static_cast<int>(m_columns.size()))
        {
            sortedField = m_columns[static_cast<size_t>(column)].m_nFieldIndex;
            if (sortedField >= 0 && sortedField < static_cast<int>(m_fields.size()))
            {
                part = QStringLiteral("ORDER BY ") + m_fields[static_cast<size_t>(sortedField)].m_strFieldName +
                       (descending ? QStringLiteral(" DESC") : QString());
                started = true;
            }
        }
    }
    std::vector<const CDataCtrlDescriptor*> secondary;
    for (const CDataCtrlDescriptor& f : m_fields)
        if (f.m_nSortPriority != 0 && f.m_nIndex != sortedField)
            secondary.push_back(&f);
    std::stable_sort(secondary.begin(), secondary.end(),
                     [](auto a, auto b) { return a->m_nSortPriority < b->m_nSortPriority; });
    for (const CDataCtrlDescriptor* f : secondary)
    {
        part = (started ? part + QStringLiteral(", ") : QStringLiteral("ORDER BY ")) + f->m_strFieldName +
               (descending ? QStringLiteral(" DESC") : QString());
        started = true;
    }
    return part;
}

QString CRecordSetList::BuildSelect(bool keysOnly) const
{
    QStringList names;
    if (keysOnly)
    {
        names.append(m_strKeyField);
        if (IsGroupedOrder() && m_nGroupingDepth > 0)
            names += m_groupingItems.mid(0, m_nGroupingDepth);
    }
    else
        for (const CDataCtrlDescriptor& f : m_fields)
            if (!f.m_strFieldName.isEmpty())
                names.append(f.m_strFieldName);
    const QString statement = TrimStatement(QStringLiteral("SELECT ") + names.join(QStringLiteral(", ")) +
                                            QLatin1Char(' ') + m_strFrom + QLatin1Char(' ') + m_strWhere);
    const QString orderBy = DecideOrderBy().trimmed();
    return orderBy.isEmpty() ? statement : statement + QLatin1Char(' ') + orderBy;
}

bool CRecordSetList::LoadKeys(int& errorCode)
{
    m_keys.clear();
    m_bandStarts.clear();
    try
    {
        CDbStatement rows = m_pDatabase->Prepare(ResolveUser(BuildSelect(true)));
        const int groupValues = rows.ColumnCount() - 1;
        std::vector<CDbValue> previous(static_cast<size_t>(groupValues));
        bool band = false;
        while (rows.Step())
        {
            m_keys.push_back(rows.Value(0).ToLong());
            // The band flips where any grouping value changes from the row before.
            bool changed = m_keys.size() == 1;
            for (int g = 0; g < groupValues; ++g)
            {
                CDbValue value = rows.Value(g + 1);
                if (!(value == previous[static_cast<size_t>(g)]))
                {
                    changed = true;
                    previous[static_cast<size_t>(g)] = value;
                }
            }
            if (changed && m_keys.size() > 1)
                band = !band;
            if (groupValues > 0)
                m_bandStarts.push_back(band);
        }
        m_keys.shrink_to_fit();
        return true;
    }
    catch (const CDbException& e)
    {
        m_keys.clear();
        m_bandStarts.clear();
        m_strLastError = e.m_strDescription;
        errorCode = static_cast<int>(e.m_nErrorCode);
        if (e.m_nErrorCode != 3043 && e.m_nErrorCode != 3078)
            AppendErrorLogLine(FormatErrorLogLine(
                QStringLiteral(__FILE__), __LINE__, FormatExceptionMessage(e, QString()),
                QStringLiteral("CRecordSetList::DataCtrlOpenRecordSet() - m_pRecSet->Open() - %1").arg(m_strLastSql)));
        return false;
    }
}

int CRecordSetList::DataCtrl_Open(CDbDatabase* db)
{
    if (!db)
        db = m_pLastDatabase;
    if (!db)
        return 21;
    m_pLastDatabase = db;
    const int oldCount = static_cast<int>(m_keys.size());
    bool anyField = std::any_of(m_fields.begin(), m_fields.end(), [](const auto& f) { return !f.m_strFieldName.isEmpty(); });
    if (!anyField)
        return 0;

    beginResetModel();
    m_pDatabase = db;
    m_strLastSql = BuildSelect(false);
    m_strLastError.clear();
    m_nPageFirst = -1;
    m_nCurrentRow = 0;
    m_bRowDeleted = false;
    m_bEditing = false;
    int errorCode = 0;
    if (!LoadKeys(errorCode))
        m_pDatabase = nullptr;
    m_selected.assign(m_keys.size(), 0);
    m_nSelectedCount = -1;
    m_nFocusedRow = m_keys.empty() ? -1 : 0;
    endResetModel();
    emit rowCountChanged(oldCount);
    return errorCode == 0 ? 0 : static_cast<int>(0x800A0000u | static_cast<unsigned>(errorCode));
}

void CRecordSetList::DataCtrl_Close()
{
    const int oldCount = static_cast<int>(m_keys.size());
    beginResetModel();
    m_pDatabase = nullptr;
    m_keys.clear();
    m_keys.shrink_to_fit();
    m_bandStarts.clear();
    m_selected.clear();
    m_nSelectedCount = -1;
    m_nFocusedRow = -1;
    m_nPageFirst = -1;
    endResetModel();
    emit rowCountChanged(oldCount);
}

void CRecordSetList::DataCtrl_Requery()
{
    if (!m_pDatabase)
    {
        DataCtrl_Close();
        return;
    }
    const int oldCount = static_cast<int>(m_keys.size());
    int errorCode = 0;
    beginResetModel();
    m_nPageFirst = -1;
    if (!LoadKeys(errorCode))
        m_pDatabase = nullptr;
    if (static_cast<int>(m_keys.size()) != oldCount)
    {
        m_selected.assign(m_keys.size(), 0);
        m_nSelectedCount = -1;
    }
    if (m_nFocusedRow >= static_cast<int>(m_keys.size()))
        m_nFocusedRow = static_cast<int>(m_keys.size()) - 1;
    endResetModel();
    emit rowCountChanged(oldCount);
}

void CRecordSetList::DataCtrl_OnHeaderClick(int column)
{
    if (!m_bSortingAllowed || column < 0 || column >= static_cast<int>(m_columns.size()))
        return;
    if (std::abs(m_nSortColumn) != column + 1 || m_nSortColumn == kUnsorted)
    {
        m_nSortColumn = column + 1;
        m_bGroupedOrder = false;
    }
    else if (m_nSortColumn < 0 && m_bGroupingEnabled && !m_bGroupedOrder)
        m_bGroupedOrder = true;
    else
    {
        m_nSortColumn = -m_nSortColumn;
        m_bGroupedOrder = false;
    }
    emit saveSelection();
    DataCtrl_Open(m_pLastDatabase);
    emit restoreSelection();
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

bool CRecordSetList::LoadPage(int row) const
{
    if (!m_pDatabase || row < 0 || row >= static_cast<int>(m_keys.size()))
        return false;
    const int first = row - row % kPageRows;
    if (first == m_nPageFirst)
        return true;

    // One statement text for every page: the keys go in as bound values.
    QStringList marks;
    for (int i = 1; i <= kPageRows; ++i)
        marks.append(QStringLiteral("?%1").arg(i));
    QStringList names{m_strKeyField};
    for (const CDataCtrlDescriptor& f : m_fields)
        if (!f.m_strFieldName.isEmpty())
            names.append(f.m_strFieldName);
    const QString body = WhereBody(m_strWhere);
    const QString sql = QStringLiteral("SELECT ") + names.join(QStringLiteral(", ")) + QLatin1Char(' ') + m_strFrom +
                        QStringLiteral(" WHERE (") + m_strKeyField + QStringLiteral(" IN (") +
                        marks.join(QStringLiteral(", ")) + QStringLiteral("))") +
                        (body.isEmpty() ? QString() : QStringLiteral(" AND (") + body + QLatin1Char(')'));
    const int count = std::min<int>(kPageRows, static_cast<int>(m_keys.size()) - first);
    std::unordered_map<qint32, int> position;
    m_page.assign(static_cast<size_t>(count), {});
    m_pageFound.assign(static_cast<size_t>(count), false);
    try
    {
        CDbStatement rows = m_pDatabase->Prepare(ResolveUser(sql));
        for (int i = 0; i < kPageRows; ++i)
        {
            if (i < count)
            {
                const qint32 key = m_keys[static_cast<size_t>(first + i)];
                position.emplace(key, i);
                rows.Bind(i + 1, key);
            }
            else
                rows.Bind(i + 1, CDbValue::Null());
        }
        while (rows.Step())
        {
            const auto it = position.find(rows.Value(0).ToLong());
            if (it == position.end())
                continue;
            std::vector<CDbValue>& values = m_page[static_cast<size_t>(it->second)];
            values.clear();
            for (int c = 1; c < rows.ColumnCount(); ++c)
                values.push_back(rows.Value(c));
            m_pageFound[static_cast<size_t>(it->second)] = true;
        }
    }
    catch (const CDbException& e)
    {
        m_nPageFirst = -1;
        AppendErrorLogLine(FormatErrorLogLine(QStringLiteral(__FILE__), __LINE__, FormatExceptionMessage(e, QString()),
                                              QStringLiteral("CRecordSetList::DataCtrlGetRowColumnValue( %1, 0 )").arg(row)));
        return false;
    }
    m_nPageFirst = first;
    return true;
}

QString CRecordSetList::CellText(const CDbValue& value, const CDataCtrlDescriptor& field) const
{
    switch (value.GetType())
    {
    case CDbValue::Type::Null:
        return QString();
    case CDbValue::Type::Long:
        return QString::number(value.ToLong()) + QStringLiteral("  ");
    case CDbValue::Type::Double:
        if (field.m_nKind == CDataCtrlDescriptor::KindFileSize)
            return FormatFileSize(value.ToDouble()) + QStringLiteral("  ");
        return QString::asprintf(field.m_strFormat.toLatin1().constData(), value.ToDouble()) + QStringLiteral("  ");
    case CDbValue::Type::DateTime:
        return QLocale().toString(value.ToDateTime(), QLocale::ShortFormat);
    case CDbValue::Type::Text:
        return value.ToString();
    default:
        return QStringLiteral("<Not Implemented>");
    }
}

QString CRecordSetList::DataCtrlGetRowColumnValue(int row, int fieldIndex)
{
    if (!DataCtrl_MoveToRow(row))
        return QStringLiteral("<Connection Lost>");
    if (!LoadPage(row))
        return QStringLiteral("<Disk/Network Error>");
    const size_t at = static_cast<size_t>(row - m_nPageFirst);
    if (!m_pageFound[at])
    {
        // Deleted by another program since the list was opened.
        m_bRowDeleted = true;
        return QString();
    }
    if (fieldIndex < 0 || fieldIndex >= static_cast<int>(m_page[at].size()))
        return QString();
    return CellText(m_page[at][static_cast<size_t>(fieldIndex)], m_fields[static_cast<size_t>(fieldIndex)]);
}

bool CRecordSetList::DataCtrl_MoveToRow(int row)
{
    if (!m_pDatabase || m_keys.empty())
        return false;
    const int target = std::clamp(row, 0, static_cast<int>(m_keys.size()) - 1);
    if (target != m_nCurrentRow)
    {
        m_nCurrentRow = target;
        m_bRowDeleted = false;
        m_bEditing = false;
        m_pendingEdits.clear();
    }
    return target == row;
}

bool CRecordSetList::DataCtrl_IsRowValid()
{
    if (!m_pDatabase || m_keys.empty() || !LoadPage(m_nCurrentRow))
        return false;
    return m_pageFound[static_cast<size_t>(m_nCurrentRow - m_nPageFirst)];
}

CDbValue CRecordSetList::DataCtrl_GetFieldValue(int fieldIndex)
{
    if (!m_pDatabase)
        return CDbValue(QStringLiteral("<Connection Lost>"));
    if (!DataCtrl_IsRowValid() || fieldIndex < 0)
        return CDbValue::Null();
    const std::vector<CDbValue>& values = m_page[static_cast<size_t>(m_nCurrentRow - m_nPageFirst)];
    return fieldIndex < static_cast<int>(values.size()) ? values[static_cast<size_t>(fieldIndex)] : CDbValue::Null();
}

CDbValue CRecordSetList::DataCtrl_GetFieldValue(const QString& fieldName)
{
    for (const CDataCtrlDescriptor& f : m_fields)
        if (f.m_strFieldName.compare(fieldName, Qt::CaseInsensitive) == 0 ||
            SplitField(f.m_strFieldName).second.compare(fieldName, Qt::CaseInsensitive) == 0)
            return DataCtrl_GetFieldValue(f.m_nIndex);
    return m_pDatabase ? CDbValue::Null() : CDbValue(QStringLiteral("<Connection Lost>"));
}

bool CRecordSetList::DataCtrl_FindFirst(const QString& criterion)
{
    m_nCurrentRow = -1;
    const bool found = DataCtrl_FindNext(criterion);
    return found;
}

bool CRecordSetList::DataCtrl_FindNext(const QString& criterion)
{
    if (!m_pDatabase || m_keys.empty())
        return false;
    // The criterion speaks of the list's own columns, so it is applied to the list's rows.
    QStringList names{m_strKeyField + QStringLiteral(" AS DataCtrlKey")};
    for (const CDataCtrlDescriptor& f : m_fields)
        if (!f.m_strFieldName.isEmpty())
            names.append(f.m_strFieldName);
    const QString inner = TrimStatement(QStringLiteral("SELECT ") + names.join(QStringLiteral(", ")) + QLatin1Char(' ') +
                                        m_strFrom + QLatin1Char(' ') + m_strWhere);
    std::unordered_set<qint32> matches;
    try
    {
        CDbStatement rows = m_pDatabase->Prepare(
            ResolveUser(QStringLiteral("SELECT DataCtrlKey FROM (") + inner + QStringLiteral(") WHERE ") + criterion));
        while (rows.Step())
            matches.insert(rows.Value(0).ToLong());
    }
    catch (const CDbException& e)
    {
        AppendErrorLogLine(FormatErrorLogLine(QStringLiteral(__FILE__), __LINE__, FormatExceptionMessage(e, QString()),
                                              QStringLiteral("CRecordSetList::DataCtrl_FindFirst() - %1").arg(criterion)));
    }
    for (size_t row = static_cast<size_t>(m_nCurrentRow + 1); row < m_keys.size(); ++row)
        if (matches.count(m_keys[row]))
        {
            m_nCurrentRow = static_cast<int>(row);
            m_bRowDeleted = false;
            return true;
        }
    m_nCurrentRow = 0;
    return false;
}

bool CRecordSetList::DataCtrl_Edit()
{
    m_pendingEdits.clear();
    m_bEditing = DataCtrl_IsRowValid();
    return m_bEditing;
}

void CRecordSetList::DataCtrl_SetFieldValue(const QString& fieldName, const CDbValue& value)
{
    if (m_bEditing)
        m_pendingEdits.emplace_back(fieldName, value);
}

bool CRecordSetList::DataCtrl_Update()
{
    if (!m_bEditing)
        return false;
    m_bEditing = false;
    const auto [keyTable, keyColumn] = SplitField(m_strKeyField);
    const qint32 key = m_keys[static_cast<size_t>(m_nCurrentRow)];
    try
    {
        for (const auto& [field, value] : m_pendingEdits)
        {
            const auto [table, column] = SplitField(field);
            // Only the row's own table can be edited through the list: its key names the row.
            if (table.compare(keyTable, Qt::CaseInsensitive) != 0)
                throw CDbException(3027, QStringLiteral("Cannot update. Database or object is read-only."));
            m_pDatabase->Execute(QStringLiteral("UPDATE [%1] SET [%2]=? WHERE [%3]=?").arg(table, column, keyColumn),
                                 {value, CDbValue(key)});
        }
    }
    catch (const CDbException& e)
    {
        m_pendingEdits.clear();
        LOG_EXCEPTION(e, QString(), QStringLiteral("CRecordSetList::DataCtrl_Update() - m_pRecSet->Update"));
        return false;
    }
    m_pendingEdits.clear();
    m_nPageFirst = -1;
    emit dataChanged(index(m_nCurrentRow, 0), index(m_nCurrentRow, columnCount() - 1));
    return true;
}

void CRecordSetList::DataCtrl_CancelUpdate()
{
    m_bEditing = false;
    m_pendingEdits.clear();
}

void CRecordSetList::SetSelected(int row, bool selected)
{
    if (row < 0 || row >= static_cast<int>(m_selected.size()))
        return;
    m_selected[static_cast<size_t>(row)] = selected ? 1 : 0;
    m_nSelectedCount = -1;
}

bool CRecordSetList::IsSelected(int row) const
{
    return row >= 0 && row < static_cast<int>(m_selected.size()) && m_selected[static_cast<size_t>(row)] != 0;
}

int CRecordSetList::SelectedCount() const
{
    if (m_nSelectedCount < 0)
        m_nSelectedCount = static_cast<int>(std::count_if(m_selected.begin(), m_selected.end(), [](auto b) { return b != 0; }));
    return m_nSelectedCount;
}

void CRecordSetList::SetFocusedRow(int row)
{
    m_nFocusedRow = row;
    m_nSelectedCount = -1;
}

int CRecordSetList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_keys.size());
}

int CRecordSetList::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant CRecordSetList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_keys.size()) ||
        index.column() >= static_cast<int>(m_columns.size()))
        return QVariant();
    const CDataCtrlDescriptor& column = m_columns[static_cast<size_t>(index.column())];
    switch (role)
    {
    case Qt::DisplayRole:
        if (!column.m_bBound)
            return QStringLiteral("Not Set by CDataCtrlList");
        // Reading moves the list's cursor and page, which the view does not see as a change.
        return const_cast<CRecordSetList*>(this)->DataCtrlGetRowColumnValue(index.row(), column.m_nFieldIndex);
    case Qt::TextAlignmentRole:
    {
        const int kind = column.m_bBound && column.m_nFieldIndex < static_cast<int>(m_fields.size())
                             ? m_fields[static_cast<size_t>(column.m_nFieldIndex)].m_nKind
                             : column.m_nKind;
        const bool right = kind == CDataCtrlDescriptor::KindNumber || kind == CDataCtrlDescriptor::KindFileSize;
        return QVariant::fromValue(Qt::Alignment(right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    case BandRole:
        return !m_bandStarts.empty() && m_bandStarts[static_cast<size_t>(index.row())];
    default:
        return QVariant();
    }
}

QVariant CRecordSetList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= static_cast<int>(m_columns.size()))
        return QVariant();
    if (role == Qt::DisplayRole)
        return m_columns[static_cast<size_t>(section)].m_strCaption;
    if (role == Qt::InitialSortOrderRole && std::abs(m_nSortColumn) == section + 1 && !IsGroupedOrder())
        return m_nSortColumn > 0 ? Qt::AscendingOrder : Qt::DescendingOrder;
    return QVariant();
}
