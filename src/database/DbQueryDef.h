#pragma once

#include "database/DbStatement.h"
#include "database/DbValue.h"
#include "database/JetSql.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>

class CDbDatabase;

// A query definition: a stored query opened by name (CDbDatabase::OpenQueryDef) or a temporary
// one made from SQL text (CDbDatabase::CreateQueryDef).
//
//   CDbQueryDef query = db.OpenQueryDef("FindFile");
//   query.SetParameter("FileName", "report");
//   CDbStatement rows = query.OpenRecordset();
//   ...
//   CDbQueryDef mark = db.CreateQueryDef(sql);
//   for (const QString& name : mark.ParameterNames()) ...
//   mark.Execute();                                  // one transaction; rows changed
//
// Parameters are the declared ones (PARAMETERS) and the names of the text that are no column,
// table or stored query ([ParamUserName]); names ignore case. ParamUserName starts out as the
// database's user name; every other parameter must be set before the query runs (3061).
class CDbQueryDef final
{
public:
    CDbQueryDef(CDbDatabase& db, QString name, QString jetSql);

    // Empty for a temporary query definition.
    const QString& Name() const { return m_strName; }
    const QString& Sql() const { return m_strSql; }
    bool ReturnsRows() const { return m_translation->isSelect; }

    const QStringList& ParameterNames() const { return m_translation->parameters; }
    // The declared type ("Long", "Text ( 255 )"), or empty for a parameter that is not declared.
    QString ParameterType(const QString& name) const;
    // Sets a parameter, converted to its declared type; 3265 when the query has no such parameter.
    void SetParameter(const QString& name, const CDbValue& value);
    CDbValue Parameter(const QString& name) const;

    // Runs an action query (UPDATE, INSERT, DELETE) in one transaction and returns the rows it
    // changed; a select raises 3065. Rows of an append that would break a key or a rule are left
    // out, as the engine's execute does without its fail-on-error option.
    int Execute();
    // The rows of a select, parameters bound.
    CDbStatement OpenRecordset();

private:
    qsizetype IndexOf(const QString& name) const;
    void BindAll(CDbStatement& statement) const;

    CDbDatabase& m_db;
    QString m_strName;
    QString m_strSql;
    std::shared_ptr<const CJetTranslation> m_translation;
    QHash<qsizetype, CDbValue> m_values;
};
