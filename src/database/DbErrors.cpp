#include "database/DbErrors.h"

#include "common/DbException.h"

#include <sqlite3.h>

#include <QRegularExpression>

namespace DbErrors
{
namespace
{
// The mapping, by SQLite primary result code:
//
//   SQLITE_BUSY, BUSY_RECOVERY           -> 3218 could not update; currently locked
//   SQLITE_BUSY_SNAPSHOT                 -> 3197 the data changed since it was read
//   SQLITE_LOCKED                        -> 3188 locked by another session on this machine
//   SQLITE_FULL                          -> 3026 not enough space on disk
//   SQLITE_NOTADB, SQLITE_CORRUPT        -> 3343 unrecognized database format
//   SQLITE_IOERR (all extended codes)    -> 3043 disk or network error
//   SQLITE_NOMEM                         -> 3035 system resources exceeded
//   SQLITE_CANTOPEN                      -> 3024 file not found / 3051 cannot open (by Open)
//   SQLITE_ERROR "no such table/column/function" -> 3078 input table or query not found
//   SQLITE_ERROR syntax                  -> 3075 syntax error
//   SQLITE_CONSTRAINT_PRIMARYKEY, UNIQUE -> 3022 duplicate values in the index or primary key
//   SQLITE_CONSTRAINT_NOTNULL            -> 3314 required field
//   SQLITE_CONSTRAINT_CHECK  "<T>_<C>_NotEmpty" -> 3315 zero-length string
//                            "<T>_<C>_Length"   -> 3163 field too small
//                            other              -> 3317 validation rule
//   SQLITE_CONSTRAINT_FOREIGNKEY on DELETE/UPDATE of the referenced row -> 3200
//                                on INSERT/UPDATE of the referring row -> 3201
//   anything else                        -> 3001 invalid argument
long ConstraintCode(int extendedCode, const QString& message, const QString& sql)
{
    switch (extendedCode)
    {
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_ROWID:
        return kDuplicateKey;
    case SQLITE_CONSTRAINT_NOTNULL:
        return kRequiredField;
    case SQLITE_CONSTRAINT_CHECK:
        if (message.endsWith(QLatin1String("_NotEmpty")))
            return kZeroLengthString;
        if (message.endsWith(QLatin1String("_Length")))
            return kFieldTooSmall;
        return kValidationRule;
    case SQLITE_CONSTRAINT_FOREIGNKEY:
        return sql.trimmed().startsWith(QLatin1String("DELETE"), Qt::CaseInsensitive) ? kRelatedRecords
                                                                                      : kRelatedRecordRequired;
    default:
        return kValidationRule;
    }
}

long ErrorCode(const QString& message)
{
    static const QRegularExpression missing(QStringLiteral("^no such (table|column|function|collation)"));
    if (missing.match(message).hasMatch() || message.contains(QLatin1String("has no column named")))
        return kInputNotFound;
    if (message.contains(QLatin1String("syntax error")) || message.startsWith(QLatin1String("near ")) ||
        message.contains(QLatin1String("incomplete input")))
        return kSyntaxError;
    return kInvalidArgument;
}
} // namespace

bool IsLockingError(long code)
{
    switch (code)
    {
    case 3164: case 3186: case 3187: case 3188: case 3197: case 3202: case 3218: case 3260:
    case 3356: case 3412: case 3413: case 3414: case 3624:
        return true;
    default:
        return false;
    }
}

bool IsWaitAndRetryError(long code)
{
    return code == kObjectNotFound || code == kDiskOrNetworkError || code == kInputNotFound || IsLockingError(code);
}

long JetCodeFromSqlite(int extendedCode, const QString& message, const QString& sql)
{
    switch (extendedCode & 0xff)
    {
    case SQLITE_BUSY:
        return extendedCode == SQLITE_BUSY_SNAPSHOT ? kDataChanged : kLocked;
    case SQLITE_LOCKED:
        return kLockedThisMachine;
    case SQLITE_FULL:
        return kDiskFull;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return kUnrecognizedFormat;
    case SQLITE_IOERR:
        return kDiskOrNetworkError;
    case SQLITE_NOMEM:
        return kResourcesExceeded;
    case SQLITE_CANTOPEN:
        return kFileNotFound;
    case SQLITE_CONSTRAINT:
        return ConstraintCode(extendedCode, message, sql);
    case SQLITE_ERROR:
        return ErrorCode(message);
    default:
        return kInvalidArgument;
    }
}

void ThrowSqliteError(sqlite3* db, int rc, const QString& sql)
{
    const int extended = db ? sqlite3_extended_errcode(db) : rc;
    const int code = (extended & 0xff) == (rc & 0xff) ? extended : rc;
    const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    throw CDbException(JetCodeFromSqlite(code, message, sql), message);
}
} // namespace DbErrors
