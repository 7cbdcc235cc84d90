// libquarrane_sqlite: the loadable SQLite extension that lets the tools every SQLite user has read
// and query a catalogue. Every text column and index of a catalogue uses the GENERAL collation,
// so without it sqlite3 cannot even run "PRAGMA integrity_check":
//   sqlite3 -cmd ".load /path/to/libquarrane_sqlite" catalogue.qrl "PRAGMA integrity_check"
// sqlite3 finds the entry point from the file name; other clients may have to name it:
// sqlite3_quarranesqlite_init.

#include "database/JetSqlFunctions.h"

#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

extern "C" __attribute__((visibility("default"))) int
sqlite3_quarranesqlite_init(sqlite3* db, char** error, const sqlite3_api_routines* api)
{
    SQLITE_EXTENSION_INIT2(api);
    const int rc = JetSqlFunctions::Register(db);
    if (rc != SQLITE_OK && error)
        *error = sqlite3_mprintf("quarrane_sqlite: %s", sqlite3_errstr(rc));
    return rc;
}
