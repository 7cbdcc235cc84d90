#include "database/DbErrors.h"

#include "common/DbException.h"

#include <sqlite3.h>

#include <QRegularExpression>
#include <QStringList>

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
//   SQLITE_READONLY                      -> 3027 database is read-only
//   SQLITE_PROTOCOL (WAL lock race)      -> 3218 could not update; currently locked
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
    case SQLITE_READONLY:
        return kReadOnly;
    case SQLITE_PROTOCOL:
        return kLocked;
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

QString JetDescription(long code, const QString& sqliteMessage)
{
    // "CHECK constraint failed: File_File_NotEmpty" names table and column in the constraint;
    // "NOT NULL constraint failed: File.FileSize" names them directly.
    QString field = sqliteMessage.section(QLatin1String(": "), 1);
    if (code == kZeroLengthString || code == kFieldTooSmall || code == kValidationRule)
    {
        const QStringList parts = field.split(QLatin1Char('_'));
        if (parts.size() == 3)
            field = parts[0] + QLatin1Char('.') + parts[1];
    }
    switch (code)
    {
    case kLocked:
        return QStringLiteral("Could not update; currently locked by another program using the database.");
    case kLockedThisMachine:
        return QStringLiteral("Could not update; currently locked by another session on this machine.");
    case kDataChanged:
        return QStringLiteral("Could not update; the data was changed by another program since it was read.");
    case kDiskFull:
        return QStringLiteral("There is not enough space on disk.");
    case kUnrecognizedFormat:
        return QStringLiteral("Unrecognized database format (%1).").arg(sqliteMessage);
    case kDiskOrNetworkError:
        return QStringLiteral("Disk or network error (%1).").arg(sqliteMessage);
    case kResourcesExceeded:
        return QStringLiteral("System resource exceeded.");
    case kReadOnly:
        return QStringLiteral("Cannot update. Database or object is read-only.");
    case kDuplicateKey:
        return QStringLiteral("The changes were not successful because they would create duplicate values in the index "
                              "or primary key (%1).").arg(field);
    case kRequiredField:
        return QStringLiteral("The field '%1' cannot contain a Null value because it is required.").arg(field);
    case kZeroLengthString:
        return QStringLiteral("Field '%1' cannot be a zero-length string.").arg(field);
    case kFieldTooSmall:
        return QStringLiteral("The field '%1' is too small to accept the amount of data you attempted to add.").arg(field);
    case kValidationRule:
        return QStringLiteral("The value is prohibited by the validation rule set for '%1'.").arg(field);
    case kRelatedRecords:
        return QStringLiteral("The record cannot be deleted or changed because another table includes related records.");
    case kRelatedRecordRequired:
        return QStringLiteral("You cannot add or change a record because a related record is required.");
    case kInputNotFound:
        return QStringLiteral("Cannot find the input table or query (%1).").arg(sqliteMessage);
    case kSyntaxError:
        return QStringLiteral("Syntax error in query (%1).").arg(sqliteMessage);
    default:
        return sqliteMessage;
    }
}

void ThrowSqliteError(sqlite3* db, int rc, const QString& sql)
{
    const int extended = db ? sqlite3_extended_errcode(db) : rc;
    const int code = (extended & 0xff) == (rc & 0xff) ? extended : rc;
    const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
    const long jetCode = JetCodeFromSqlite(code, message, sql);
    throw CDbException(jetCode, JetDescription(jetCode, message));
}
} // namespace DbErrors
