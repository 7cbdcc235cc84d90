#include "database/JetSqlFunctions.h"

#include "database/JetText.h"

// Built twice: into the engine layer, which links SQLite, and into the loadable extension, which
// must reach SQLite through the routines the loading program hands it.
#ifdef QUARRANE_SQLITE_EXTENSION
#include <sqlite3ext.h>
SQLITE_EXTENSION_INIT3
#else
#include <sqlite3.h>
#endif

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace
{
int CollateGeneral(void*, int aLength, const void* a, int bLength, const void* b)
{
    return JetText::CompareGeneralUtf8(static_cast<const char*>(a), aLength, static_cast<const char*>(b),
                                       bLength);
}

// X LIKE Y reaches here as like(Y, X). The compiled pattern is kept with the statement for as
// long as the pattern stays the same, so a scan compiles it once.
void JetLike(sqlite3_context* context, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(context);
    auto* pattern = static_cast<JetText::CLikePattern*>(sqlite3_get_auxdata(context, 0));
    if (!pattern)
    {
        pattern = new JetText::CLikePattern(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])),
                                            sqlite3_value_bytes(argv[0]));
        sqlite3_set_auxdata(context, 0, pattern,
                            [](void* p) { delete static_cast<JetText::CLikePattern*>(p); });
        // set_auxdata may have destroyed it already (out of memory): fall back to a local one.
        if (sqlite3_get_auxdata(context, 0) != pattern)
        {
            const JetText::CLikePattern local(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])),
                                              sqlite3_value_bytes(argv[0]));
            return sqlite3_result_int(
                context, local.MatchesUtf8(reinterpret_cast<const char*>(sqlite3_value_text(argv[1])),
                                           sqlite3_value_bytes(argv[1]))
                             ? 1
                             : 0);
        }
    }
    sqlite3_result_int(context,
                       pattern->MatchesUtf8(reinterpret_cast<const char*>(sqlite3_value_text(argv[1])),
                                            sqlite3_value_bytes(argv[1]))
                           ? 1
                           : 0);
}

void JetConcat(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    QByteArray result;
    bool any = false;
    for (int i = 0; i < argc; ++i)
    {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            continue;
        any = true;
        result.append(reinterpret_cast<const char*>(sqlite3_value_text(argv[i])),
                      sqlite3_value_bytes(argv[i]));
    }
    if (!any)
        return sqlite3_result_null(context);
    sqlite3_result_text(context, result.constData(), static_cast<int>(result.size()), SQLITE_TRANSIENT);
}

// StrComp(a, b[, mode]): -1, 0 or 1; mode 0 compares exactly, 1 (the default) without regard to
// case. The exact form is how a name that must match in case is found ("Photos" is not "PHOTOS").
void StrComp(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return sqlite3_result_null(context);
    const bool binary = argc == 3 && sqlite3_value_int(argv[2]) == 0;
    const char* a = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const int aLength = sqlite3_value_bytes(argv[0]);
    const char* b = reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
    const int bLength = sqlite3_value_bytes(argv[1]);
    int result = 0;
    if (binary)
    {
        // UTF-8 bytes order as their code points do.
        result = std::memcmp(a, b, static_cast<size_t>(std::min(aLength, bLength)));
        if (result == 0)
            result = aLength - bLength;
    }
    else
        result = JetText::CompareGeneralUtf8(a, aLength, b, bLength);
    sqlite3_result_int(context, (result > 0) - (result < 0));
}

} // namespace

namespace JetSqlFunctions
{
int Register(sqlite3* db)
{
    const int pure = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    int rc = sqlite3_create_collation_v2(db, JetText::kCollationName, SQLITE_UTF8, nullptr, CollateGeneral,
                                         nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "like", 2, pure, nullptr, JetLike, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "StrComp", 2, pure, nullptr, StrComp, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "StrComp", 3, pure, nullptr, StrComp, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_create_function_v2(db, "jet_concat", -1, pure, nullptr, JetConcat, nullptr, nullptr,
                                        nullptr);
    return rc;
}
} // namespace JetSqlFunctions
