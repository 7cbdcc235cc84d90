#include "browser/SqlText.h"

QString SubstituteUserName(const QString& sql, const QString& userName)
{
    QString quoted = userName;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    QString result = sql;
    result.replace(QStringLiteral("GetUserName()"), QLatin1Char('\'') + quoted + QLatin1Char('\''));
    return result;
}

SqlParts SplitSql(const QString& sql, const QString& userName)
{
    const QString lower = sql.toLower();
    const qsizetype from = lower.indexOf(QStringLiteral("from "));
    const qsizetype where = lower.indexOf(QStringLiteral("where "));
    const qsizetype order = lower.indexOf(QStringLiteral("order by "));
    SqlParts parts;
    if (order >= 0)
        parts.orderBy = SubstituteUserName(sql.mid(order), userName);
    if (where >= 0)
        parts.where = SubstituteUserName(sql.mid(where, (order > where ? order : sql.size()) - where), userName);
    if (from >= 0)
    {
        qsizetype end = sql.size();
        if (where > from)
            end = where;
        else if (order > from)
            end = order;
        parts.from = SubstituteUserName(sql.mid(from, end - from), userName);
    }
    return parts;
}

QString OrderByClause(const QString& sql, const QString& userName)
{
    const qsizetype order = sql.toLower().indexOf(QStringLiteral("order by "));
    return order < 0 ? QString() : SubstituteUserName(sql.mid(order), userName);
}

QString StripTrailingSemicolon(const QString& sql)
{
    QString result = sql;
    while (!result.isEmpty() && result.back().isSpace())
        result.chop(1);
    if (result.endsWith(QLatin1Char(';')))
        result.chop(1);
    return result;
}

QString StripOrderBy(const QString& sql, bool* pHadOrderBy)
{
    const qsizetype order = sql.indexOf(QStringLiteral(" order by "), 0, Qt::CaseInsensitive);
    if (pHadOrderBy)
        *pHadOrderBy = order >= 0;
    return order < 0 ? sql : sql.left(order);
}

QString ReplaceOrderBy(const QString& sql, const QString& orderBy)
{
    return StripOrderBy(StripTrailingSemicolon(sql)) + QLatin1Char(' ') + orderBy;
}

QString AddWhere(const QString& wherePart, const QString& condition)
{
    QString added = condition;
    const qsizetype keyword = condition.indexOf(QStringLiteral("WHERE"));
    if (keyword >= 0)
    {
        qsizetype start = keyword + 5;
        while (start < condition.size() && condition[start] == QLatin1Char(' '))
            ++start;
        added = condition.mid(start);
    }
    const qsizetype at = wherePart.indexOf(QStringLiteral("WHERE "));
    if (at < 0)
        return QStringLiteral("WHERE ") + added;
    QString result = wherePart;
    result.insert(at + 6, added + QStringLiteral(" AND "));
    return result;
}
