#pragma once

#include "database/DbErrorCodes.h"

#include <QString>

struct sqlite3;

// SQLite's results in the engine error numbers that every caller decides by (the Jet numbers the
// retry policies and messages are written against). The whole mapping is the table in
// DbErrors.cpp; nothing else in the system looks at SQLite result codes.
namespace DbErrors
{
// The engine error for a failed SQLite call. extendedCode is the extended result code,
// message SQLite's text and sql the statement involved (decides between 3200 and 3201).
long JetCodeFromSqlite(int extendedCode, const QString& message, const QString& sql);
// The description that goes with a code: the engine's text in words a person can act on, naming
// the column where SQLite's message names a rule of the schema.
QString JetDescription(long code, const QString& sqliteMessage);

// Throws CDbException for a failed call on db (nullptr when there is no connection).
[[noreturn]] void ThrowSqliteError(sqlite3* db, int rc, const QString& sql = QString());
} // namespace DbErrors
