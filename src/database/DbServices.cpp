#include "database/DbServices.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/DbTransaction.h"
#include "database/JetSql.h"

#include <QRegularExpression>

qint32 GetNewRecSetId(CDbDatabase& db, const QString& name, CDbRetryPolicy& policy, const SRecSetIdContexts& contexts)
{
    // The name goes in as the statement has always read, but through the quoting helper.
    const QString select = QStringLiteral("SELECT IndexId.IndexId, IndexId.Index FROM IndexId WHERE ((IndexId.Index=") +
                           CJetSql::QuoteText(name, QLatin1Char('"')) + QStringLiteral("));");
    qint32 newId = -1;
    bool adding = false;
    const auto context = [&] {
        QString text = adding ? contexts.adding : contexts.getting;
        return text.replace(QLatin1String("%s"), name);
    };
    const bool stored = policy.Run(context, [&] {
        adding = false;
        // Immediate: the counter row is locked from the read on, so no other program reads the
        // same value meanwhile.
        CDbTransaction trans(db, true);
        CDbStatement statement = db.Prepare(select);
        if (!statement.Step())
        {
            adding = true;
            statement.Reset();
            db.Execute(QStringLiteral("INSERT INTO IndexId ([Index], IndexId) VALUES (?, 1)"), {CDbValue(name)});
            newId = 1;
        }
        else
        {
            const qint32 last = statement.Value(0).ToLong();
            statement.Reset();
            db.Execute(QStringLiteral("UPDATE IndexId SET IndexId=? WHERE [Index]=?"), {CDbValue(last + 1), CDbValue(name)});
            newId = last + 1;
        }
        trans.Commit();
    });
    return stored ? newId : -1;
}

QString GetDatabaseParameter(CDbDatabase* db, const QString& name, const QString& context)
{
    if (!db || !db->IsOpen())
        return QString();
    try
    {
        CDbStatement statement =
            db->Prepare(QStringLiteral("SELECT * FROM Parameter WHERE Parameter=") + CJetSql::QuoteText(name));
        return statement.Step() ? statement.Value(QStringLiteral("Value")).ToString() : QString();
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), context);
        return QString();
    }
}

bool SetDatabaseParameter(CDbDatabase* db, const QString& name, const QString& value, const QString& context)
{
    if (!db || !db->IsOpen())
        return false;
    try
    {
        CDbTransaction trans(*db, true);
        const int changed = db->Execute(QStringLiteral("UPDATE Parameter SET [Value]=? WHERE Parameter=?"),
                                        {CDbValue(value), CDbValue(name)});
        if (changed == 0)
            db->Execute(QStringLiteral("INSERT INTO Parameter (Parameter, [Value]) VALUES (?, ?)"),
                        {CDbValue(name), CDbValue(value)});
        trans.Commit();
        return true;
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), context);
        return false;
    }
}

double DatabaseVersionFromText(const QString& text)
{
    // The leading numeric part, as atof reads it.
    static const QRegularExpression number(QStringLiteral(R"(^\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?)"));
    const QRegularExpressionMatch match = number.match(text);
    return match.hasMatch() ? match.captured(0).trimmed().toDouble() : 0.0;
}

double GetDatabaseVersion(CDbDatabase* db)
{
    return DatabaseVersionFromText(GetDatabaseParameter(db, QStringLiteral("Version")));
}
