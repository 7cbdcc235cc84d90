#include "database/DbQueryDef.h"

#include "common/DbException.h"
#include "database/DbDatabase.h"
#include "database/DbErrorCodes.h"

#include <QRegularExpression>

namespace
{
const QString kUserParameter = QStringLiteral("paramusername");

// The engine converts a parameter's value to its declared type.
CDbValue ToDeclaredType(const QString& type, const CDbValue& value)
{
    if (value.IsNull() || type.isEmpty())
        return value;
    const QString kind = type.section(QLatin1Char(' '), 0, 0).toLower();
    if (kind == QLatin1String("long") || kind == QLatin1String("integer") || kind == QLatin1String("short") ||
        kind == QLatin1String("byte"))
        return CDbValue(value.ToLong());
    if (kind == QLatin1String("text") || kind == QLatin1String("memo") || kind == QLatin1String("char"))
        return CDbValue(value.ToString());
    if (kind == QLatin1String("bit") || kind == QLatin1String("yesno") || kind == QLatin1String("boolean"))
        return CDbValue(value.ToBool());
    if (kind == QLatin1String("double") || kind == QLatin1String("single") || kind == QLatin1String("ieeedouble") ||
        kind == QLatin1String("currency"))
        return CDbValue(value.ToDouble());
    if (kind == QLatin1String("datetime") || kind == QLatin1String("date"))
        return CDbValue(value.ToDateTime());
    return value;
}
} // namespace

CDbQueryDef::CDbQueryDef(CDbDatabase& db, QString name, QString jetSql)
    : m_db(db), m_strName(std::move(name)), m_strSql(std::move(jetSql)), m_translation(db.TranslateJet(m_strSql))
{
    const qsizetype user = IndexOf(kUserParameter);
    if (user >= 0)
        m_values.insert(user, CDbValue(db.UserName()));
}

qsizetype CDbQueryDef::IndexOf(const QString& name) const
{
    for (qsizetype i = 0; i < m_translation->parameters.size(); ++i)
        if (m_translation->parameters[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QString CDbQueryDef::ParameterType(const QString& name) const
{
    const qsizetype i = IndexOf(name);
    return i < 0 ? QString() : m_translation->parameterTypes[i];
}

void CDbQueryDef::SetParameter(const QString& name, const CDbValue& value)
{
    const qsizetype i = IndexOf(name);
    if (i < 0)
        throw CDbException(DbErrors::kItemNotFound,
                           QStringLiteral("Item not found in this collection (parameter '%1').").arg(name));
    m_values.insert(i, ToDeclaredType(m_translation->parameterTypes[i], value));
}

CDbValue CDbQueryDef::Parameter(const QString& name) const
{
    const qsizetype i = IndexOf(name);
    if (i < 0)
        throw CDbException(DbErrors::kItemNotFound,
                           QStringLiteral("Item not found in this collection (parameter '%1').").arg(name));
    return m_values.value(i);
}

void CDbQueryDef::BindAll(CDbStatement& statement) const
{
    const int count = statement.ParameterCount();
    for (qsizetype i = 0; i < m_translation->parameters.size(); ++i)
    {
        const int position = m_translation->firstParameter + static_cast<int>(i);
        if (position <= count)
            statement.Bind(position, m_values.value(i));
    }
}

int CDbQueryDef::Execute()
{
    if (m_translation->isSelect)
        throw CDbException(DbErrors::kCannotExecuteSelect,
                           QStringLiteral("Cannot execute a select query ('%1').").arg(m_strName));
    if (m_values.size() < m_translation->parameters.size())
        throw CDbException(DbErrors::kTooFewParameters,
                           QStringLiteral("Too few parameters. Expected %1.")
                               .arg(m_translation->parameters.size() - m_values.size()));
    CJetTranslation translation = *m_translation;
    static const QRegularExpression insertSelect(QStringLiteral("^INSERT INTO (?=.*\\bSELECT\\b)"),
                                                 QRegularExpression::DotMatchesEverythingOption);
    for (QString& statement : translation.statements)
        statement.replace(insertSelect, QStringLiteral("INSERT OR IGNORE INTO "));
    // One transaction even for a single statement, so that a caller's transaction nests.
    m_db.BeginTrans();
    try
    {
        const int changes = m_db.RunTranslation(translation, [this](CDbStatement& statement) { BindAll(statement); });
        m_db.CommitTrans();
        return changes;
    }
    catch (...)
    {
        m_db.Rollback();
        throw;
    }
}

CDbStatement CDbQueryDef::OpenRecordset()
{
    if (m_values.size() < m_translation->parameters.size())
        throw CDbException(DbErrors::kTooFewParameters,
                           QStringLiteral("Too few parameters. Expected %1.")
                               .arg(m_translation->parameters.size() - m_values.size()));
    if (m_translation->statements.size() != 1)
        throw CDbException(
            DbErrors::kNotUpdatable,
            QStringLiteral("An update through an outer join is run with Execute, not opened."));
    CDbStatement statement = m_db.PrepareSqlite(m_translation->statements.front());
    BindAll(statement);
    return statement;
}
