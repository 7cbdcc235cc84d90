#pragma once

struct sqlite3;

// The collation and SQL functions that make SQLite read a catalogue as its programs do: the
// GENERAL collation of every text column, Jet's LIKE, StrComp and jet_concat. The programs
// register them on each connection; the loadable extension (libquarrane_sqlite) registers the
// same code for sqlite3, DB Browser for SQLite and any other SQLite client.
namespace JetSqlFunctions
{
// SQLITE_OK, or the SQLite code of the registration that failed.
int Register(sqlite3* db);
} // namespace JetSqlFunctions
