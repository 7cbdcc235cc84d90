#include "browser/RecordSetSql.h"

#include "browser/SqlText.h"

#include <QRegularExpression>

#include <algorithm>

namespace
{
// The body of a WHERE part, without its keyword.
QString WhereBody(const QString& where)
{
    const qsizetype at = where.indexOf(QStringLiteral("WHERE "), 0, Qt::CaseInsensitive);
    return at < 0 ? QString() : where.mid(at + 6).trimmed();
}

// Trailing blanks, tabs, line ends and semicolons removed.
QString TrimStatement(QString sql)
{
    while (!sql.isEmpty() && (sql.back().isSpace() || sql.back() == QLatin1Char(';')))
        sql.chop(1);
    return sql;
}
} // namespace

void CRecordSetSql::SetSQL(const QString& sql)
{
    const SqlParts parts = SplitSql(sql, m_strUserName);
    m_strFrom = parts.from;
    m_strWhere = parts.where;
    m_strOrderBy = TrimStatement(parts.orderBy);
}

void CRecordSetSql::SetFrom(const QString& from)
{
    m_strFrom = SubstituteUserName(from, m_strUserName);
}

void CRecordSetSql::SetWhere(const QString& where)
{
    m_strWhere = SubstituteUserName(where, m_strUserName);
}

void CRecordSetSql::SetOrderBy(const QString& orderBy)
{
    m_strOrderBy = SubstituteUserName(orderBy, m_strUserName);
}

void CRecordSetSql::AddWhere(const QString& condition)
{
    m_strWhere = ::AddWhere(m_strWhere, condition);
}

bool CRecordSetSql::AddField(const CDataCtrlDescriptor& field)
{
    for (const CDataCtrlDescriptor& f : m_fields)
        if (f.m_strFieldName.compare(field.m_strFieldName, Qt::CaseInsensitive) == 0)
            return false;
    m_fields.push_back(field);
    m_fields.back().m_nIndex = static_cast<int>(m_fields.size()) - 1;
    return true;
}

void CRecordSetSql::AddColumn(const CDataCtrlDescriptor& column)
{
    m_columns.push_back(column);
    m_columns.back().m_nIndex = static_cast<int>(m_columns.size()) - 1;
    if (m_columns.back().m_nWidth == 0)
        m_columns.back().m_nWidth = static_cast<int>(column.m_strCaption.size()) * 16;
}

const CDataCtrlDescriptor* CRecordSetSql::ColumnField(int column) const
{
    if (column < 0 || column >= static_cast<int>(m_columns.size()))
        return nullptr;
    const CDataCtrlDescriptor& c = m_columns[static_cast<size_t>(column)];
    if (!c.m_bBound || c.m_nFieldIndex < 0 || c.m_nFieldIndex >= static_cast<int>(m_fields.size()))
        return nullptr;
    return &m_fields[static_cast<size_t>(c.m_nFieldIndex)];
}

int CRecordSetSql::FieldIndex(const QString& name) const
{
    for (const CDataCtrlDescriptor& f : m_fields)
        if (f.m_strFieldName.compare(name, Qt::CaseInsensitive) == 0)
            return f.m_nIndex;
    for (const CDataCtrlDescriptor& f : m_fields)
        if (SplitField(f.m_strFieldName).second.compare(name, Qt::CaseInsensitive) == 0)
            return f.m_nIndex;
    return -1;
}

bool CRecordSetSql::HasFieldNames() const
{
    return std::any_of(m_fields.begin(), m_fields.end(),
                       [](const auto& f) { return !f.m_strFieldName.isEmpty(); });
}

std::pair<QStringList, QStringList> CRecordSetSql::ParseGroupingItems(const QString& orderBy)
{
    QStringList columns;
    QStringList items;
    const qsizetype at = orderBy.toLower().indexOf(QStringLiteral("order by "));
    if (at < 0)
        return {columns, items};
    QString text = orderBy.mid(at + 9);
    text.replace(QStringLiteral(", "), QStringLiteral(","));
    text.remove(QLatin1Char('\t'))
        .remove(QLatin1Char(';'))
        .remove(QLatin1Char('\r'))
        .remove(QLatin1Char('\n'));
    static const QRegularExpression direction(QStringLiteral("\\s+(DESC|ASC)$"),
                                              QRegularExpression::CaseInsensitiveOption);
    for (QString item : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
    {
        item = item.trimmed();
        QString expression = item;
        expression.remove(direction);
        items.append(expression);
        // The column name: the item without its table qualifier.
        const qsizetype blank = item.lastIndexOf(QLatin1Char(' '));
        const qsizetype dot = item.indexOf(QLatin1Char('.'), blank + 1);
        columns.append(dot < 0 ? item : item.left(blank + 1) + item.mid(dot + 1));
    }
    return {columns, items};
}

void CRecordSetSql::SetGrouping(const QString& orderBy, int depth)
{
    m_strGroupingOrderBy = orderBy;
    m_nGroupingDepth = 0;
    m_bGroupingEnabled = false;
    std::tie(m_groupingColumns, m_groupingItems) = ParseGroupingItems(orderBy);
    if (m_groupingItems.isEmpty())
        return;
    m_nGroupingDepth = depth;
    m_bGroupingEnabled = depth != 0;
}

bool CRecordSetSql::HeaderClick(int column)
{
    if (!m_bSortingAllowed || column < 0 || column >= static_cast<int>(m_columns.size()))
        return false;
    if (m_nSortColumn == kUnsorted || std::abs(m_nSortColumn) != column + 1)
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
    return true;
}

bool CRecordSetSql::Sort(int column, Qt::SortOrder order)
{
    if (!m_bSortingAllowed)
        return false;
    if (column < 0)
    {
        if (m_bGroupingEnabled && !m_bGroupedOrder)
        {
            m_bGroupedOrder = true;
            return true;
        }
        if (m_bGroupingEnabled || m_nSortColumn == kUnsorted)
            return false;
        m_nSortColumn = kUnsorted;
        return true;
    }
    if (!IsGroupedOrder() && m_nSortColumn != kUnsorted && std::abs(m_nSortColumn) == column + 1 &&
        (m_nSortColumn > 0) == (order == Qt::AscendingOrder))
        return false;
    return HeaderClick(column);
}

int CRecordSetSql::SortImage(int column) const
{
    if (IsGroupedOrder() || m_nSortColumn == kUnsorted || std::abs(m_nSortColumn) != column + 1)
        return 0;
    return m_nSortColumn > 0 ? 1 : 2;
}

QString CRecordSetSql::DecideOrderBy() const
{
    if (IsGroupedOrder())
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
        if (const CDataCtrlDescriptor* field = ColumnField(column))
        {
            sortedField = field->m_nIndex;
            part = QStringLiteral("ORDER BY ") + field->m_strFieldName +
                   (descending ? QStringLiteral(" DESC") : QString());
            started = true;
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

QString CRecordSetSql::FromAndWhere(const QStringList& names) const
{
    // The parts keep the blanks they were split with; one blank between them is enough.
    QString sql = QStringLiteral("SELECT ") + names.join(QStringLiteral(", "));
    for (const QString& part : {m_strFrom.trimmed(), m_strWhere.trimmed()})
        if (!part.isEmpty())
            sql += QLatin1Char(' ') + part;
    return TrimStatement(sql);
}

QString CRecordSetSql::BuildSelect() const
{
    QStringList names;
    for (const CDataCtrlDescriptor& f : m_fields)
        if (!f.m_strFieldName.isEmpty())
            names.append(f.m_strFieldName);
    const QString orderBy = DecideOrderBy().trimmed();
    const QString statement = FromAndWhere(names);
    return orderBy.isEmpty() ? statement : statement + QLatin1Char(' ') + orderBy;
}

int CRecordSetSql::KeyStatementGroupValues() const
{
    return IsGroupedOrder() ? static_cast<int>(std::min<qsizetype>(m_nGroupingDepth, m_groupingItems.size()))
                            : 0;
}

QString CRecordSetSql::KeyStatement() const
{
    QStringList names{m_strKeyField};
    names += m_groupingItems.mid(0, KeyStatementGroupValues());
    const QString orderBy = DecideOrderBy().trimmed();
    const QString statement = FromAndWhere(names);
    return orderBy.isEmpty() ? statement : statement + QLatin1Char(' ') + orderBy;
}

QString CRecordSetSql::PageStatement(int pageRows) const
{
    std::vector<int> fields;
    for (size_t i = 0; i < m_fields.size(); ++i)
        fields.push_back(static_cast<int>(i));
    return PageStatement(pageRows, fields);
}

QString CRecordSetSql::PageStatement(int pageRows, const std::vector<int>& fields) const
{
    // One text for every page, so that the prepared statement is reused; the keys are bound.
    QStringList marks;
    for (int i = 1; i <= pageRows; ++i)
        marks.append(QStringLiteral("?%1").arg(i));
    QStringList names{m_strKeyField};
    for (const int field : fields)
        if (field >= 0 && static_cast<size_t>(field) < m_fields.size() &&
            !m_fields[static_cast<size_t>(field)].m_strFieldName.isEmpty())
            names.append(m_fields[static_cast<size_t>(field)].m_strFieldName);
    const QString body = WhereBody(m_strWhere);
    return QStringLiteral("SELECT ") + names.join(QStringLiteral(", ")) + QLatin1Char(' ') +
           m_strFrom.trimmed() + QStringLiteral(" WHERE (") + m_strKeyField + QStringLiteral(" IN (") +
           marks.join(QStringLiteral(", ")) + QStringLiteral("))") +
           (body.isEmpty() ? QString() : QStringLiteral(" AND (") + body + QLatin1Char(')'));
}

QString CRecordSetSql::FindStatement(const QString& criterion) const
{
    // A criterion that names columns by their tables ("File.FileId=12", the Find dialog's
    // conditions) is applied where those tables are: outside the statement they are not known.
    static const QRegularExpression literals(QStringLiteral("'(?:[^']|'')*'|\"(?:[^\"]|\"\")*\""));
    static const QRegularExpression qualified(
        QStringLiteral("(?:\\b[A-Za-z_]\\w*|\\])\\s*\\.\\s*[A-Za-z_\\[]"));
    if (QString(criterion).remove(literals).contains(qualified))
    {
        QString sql = QStringLiteral("SELECT ") + m_strKeyField + QStringLiteral(" AS DataCtrlKey");
        if (!m_strFrom.trimmed().isEmpty())
            sql += QLatin1Char(' ') + m_strFrom.trimmed();
        return TrimStatement(
            sql + QLatin1Char(' ') +
            ::AddWhere(m_strWhere.trimmed(), QLatin1Char('(') + criterion + QLatin1Char(')')));
    }
    // The criterion speaks of the list's own columns, so it is applied to the list's rows.
    QStringList names{m_strKeyField + QStringLiteral(" AS DataCtrlKey")};
    for (const CDataCtrlDescriptor& f : m_fields)
        if (!f.m_strFieldName.isEmpty())
            names.append(f.m_strFieldName);
    return QStringLiteral("SELECT DataCtrlKey FROM (") + FromAndWhere(names) + QStringLiteral(") WHERE ") +
           criterion;
}

QString CRecordSetSql::ResolveUser(const QString& sql) const
{
    QString quoted = m_strUserName;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    QString result = SubstituteUserName(sql, m_strUserName);
    static const QRegularExpression parameter(QStringLiteral("\\[ParamUserName\\]"),
                                              QRegularExpression::CaseInsensitiveOption);
    return result.replace(parameter, QLatin1Char('\'') + quoted + QLatin1Char('\''));
}

std::pair<QString, QString> CRecordSetSql::SplitField(const QString& field)
{
    QString name = field;
    name.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return {name.left(qMax<qsizetype>(dot, 0)), name.mid(dot + 1)};
}
