#pragma once

#include <QString>

class CDbDatabase;
struct CCliOptions;

// quarrane-cli export DB (--query NAME | --catalogue NAME [--folder PATH]) OUT [--format csv|tsv]:
// a query's result, or a catalogue folder as the folder view shows it, written as the window's
// "Export List..." writes it, with the user's field view for lists of that kind.
int RunCliExport(const CCliOptions& options);

// Why quarrane-cli must not run a stored query ("" when it may): building blocks of other queries,
// and queries whose steps delete files, which only the window can carry out.
QString CliUnrunnableQueryReason(CDbDatabase& db, qint32 queryId, const QString& name);
