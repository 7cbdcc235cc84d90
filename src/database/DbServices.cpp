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
        // The counter is advanced first and read back after: the update locks the counter's row
        // until the commit, so that no other program reads the same value meanwhile. On a file
        // the transaction is immediate (one writer, as ever); on a server it is not, and the row
        // lock is all it takes, so that writers of different counters (and of other tables) do
        // not queue behind one another.
        CDbTransaction trans(db, !db.IsServer());
        if (db.Execute(QStringLiteral("UPDATE IndexId SET IndexId=IndexId+1 WHERE [Index]=?"),
                       {CDbValue(name)}) == 0)
        {
            // The first identifier of a name. Two programs adding the row at once: the key
            // refuses the second, whose retry then advances the row the first one added.
            adding = true;
            db.Execute(QStringLiteral("INSERT INTO IndexId ([Index], IndexId) VALUES (?, 1)"), {CDbValue(name)});
            newId = 1;
        }
        else
        {
            CDbStatement statement = db.Prepare(select);
            const CDbValue value = statement.Step() ? statement.Value(0) : CDbValue::Null();
            statement.Reset();
            if (value.IsNull())
            {
                // A counter without a value counts as 0, as it always has.
                db.Execute(QStringLiteral("UPDATE IndexId SET IndexId=1 WHERE [Index]=?"), {CDbValue(name)});
                newId = 1;
            }
            else
                newId = value.ToLong();
        }
        trans.Commit();
    });
    return stored ? newId : -1;
}

std::optional<qint32> LockRecSetIdCounter(CDbDatabase& db, const QString& name)
{
    // The no-op update takes the row's lock (waiting for a writer that holds it); the read that
    // follows then sees what that writer committed.
    if (db.Execute(QStringLiteral("UPDATE IndexId SET IndexId=IndexId WHERE [Index]=?"), {CDbValue(name)}) ==
        0)
        return std::nullopt;
    CDbStatement st = db.Prepare(QStringLiteral("SELECT IndexId.IndexId FROM IndexId WHERE IndexId.Index=?"));
    st.Bind(1, name);
    return st.Step() ? st.Value(0).ToLong() : 0;
}

qint32 ReserveRecSetIds(CDbDatabase& db, const QString& name, qint32 count)
{
    const std::optional<qint32> counter = LockRecSetIdCounter(db, name);
    const qint32 first = counter.value_or(0) + 1;
    const CDbValue last(first - 1 + count);
    if (counter)
        db.Execute(QStringLiteral("UPDATE IndexId SET IndexId.IndexId=? WHERE IndexId.Index=?"),
                   {last, CDbValue(name)});
    else
        db.Execute(QStringLiteral("INSERT INTO IndexId (IndexId, [Index]) VALUES (?, ?)"),
                   {last, CDbValue(name)});
    return first;
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
