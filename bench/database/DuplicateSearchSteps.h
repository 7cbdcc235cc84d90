#pragma once

#include "database/DbDatabase.h"
#include "database/DbQueryDef.h"
#include "database/JetSql.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <cstdio>

// The action steps of "Check Duplicates For Deletion in All Catalogues" (query 22) run for user,
// each timed and printed; the milliseconds of them all.
inline double RunDuplicateSearchSteps(CDbDatabase& db, const QString& user)
{
    QStringList steps;
    CDbStatement entries =
        db.Prepare("SELECT EntryType, Query FROM QueryEntry WHERE QueryId=22 ORDER BY QueryEntry");
    while (entries.Step())
        if (entries.Value(0).ToLong() == 2)
            steps << entries.Value(1).ToString();
    QElapsedTimer timer;
    timer.start();
    for (const QString& step : steps)
    {
        QElapsedTimer stepTimer;
        stepTimer.start();
        QString sql = db.OpenQueryDef(step).Sql();
        sql.replace(QStringLiteral("GetUserName()"), CJetSql::QuoteText(user));
        CDbQueryDef query = db.CreateQueryDef(sql);
        for (const QString& parameter : query.ParameterNames())
            if (parameter.toLower() == QLatin1String("paramusername"))
                query.SetParameter(QStringLiteral("ParamUserName"), user);
        const int changed = query.Execute();
        std::printf("  %-45s %9d rows %9.1f ms\n", qPrintable(step), changed, stepTimer.nsecsElapsed() / 1e6);
    }
    return timer.nsecsElapsed() / 1e6;
}
