#pragma once

#include <QString>

// Where a query script's result goes: the file list's query views in the browser (one per query
// name, reused when the same query runs again), or a script's standard output.
class CQueryOutput
{
public:
    virtual ~CQueryOutput() = default;
    // Shows the rows of sql in the view named queryName (found without regard to case, made when
    // missing), grouped by groupingOrderBy's first groupingDepth items when the depth is not 0.
    virtual void Show(qint32 queryId, const QString& queryName, const QString& sql, const QString& groupingOrderBy,
                      int groupingDepth) = 0;
};
