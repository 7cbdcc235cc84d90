// A loadable SQLite extension with the catalogue's GENERAL collation, so that the sqlite3 tool
// can read and write a catalogue database (its text columns and indexes use that collation):
//   sqlite3 catalogue.qrl -cmd ".load libqrl_general_collation.so sqlite3_qrlgeneral_init"
// It compares with the same function as the engine layer, so both sides of a comparison pay the
// same price.

#include "database/JetText.h"

#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT1

namespace
{
int Compare(void*, int aLength, const void* a, int bLength, const void* b)
{
    return JetText::CompareGeneralUtf8(static_cast<const char*>(a), aLength, static_cast<const char*>(b), bLength);
}
} // namespace

extern "C" __attribute__((visibility("default"))) int sqlite3_qrlgeneral_init(sqlite3* db, char**, const sqlite3_api_routines* api)
{
    SQLITE_EXTENSION_INIT2(api);
    return sqlite3_create_collation(db, JetText::kCollationName, SQLITE_UTF8, nullptr, Compare);
}
