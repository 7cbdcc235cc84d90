#pragma once

#include <QString>

struct sqlite3;

// SQLite's results in the engine error numbers that every caller decides by (the Jet numbers the
// retry policies and messages are written against). The whole mapping is the table in
// DbErrors.cpp; nothing else in the system looks at SQLite result codes.
namespace DbErrors
{
// Error numbers the callers name.
constexpr long kObjectNotFound = 3011;      // an object (table, query) is missing
constexpr long kDiskFull = 3026;            // not enough space on disk
constexpr long kResourcesExceeded = 3035;   // out of memory
constexpr long kDiskOrNetworkError = 3043;  // I/O error
constexpr long kInputNotFound = 3078;       // missing table, column, query or function
constexpr long kUnrecognizedFormat = 3343;  // not a database, or a damaged one
constexpr long kFileNotFound = 3024;        // opening a file that is not there
constexpr long kCannotOpen = 3051;          // opening a file that may not be opened
constexpr long kDuplicateKey = 3022;        // unique index or primary key violated
constexpr long kRelatedRecords = 3200;      // deleting or changing a row that others refer to
constexpr long kRelatedRecordRequired = 3201; // a reference to a row that does not exist
constexpr long kRequiredField = 3314;       // Null in a required column
constexpr long kZeroLengthString = 3315;    // empty text where it is refused
constexpr long kFieldTooSmall = 3163;       // text longer than its column
constexpr long kValidationRule = 3317;      // another rule of a column refused the value
constexpr long kSyntaxError = 3075;         // SQL the engine could not parse
constexpr long kInvalidArgument = 3001;     // anything else the engine refused
constexpr long kLocked = 3218;              // could not update; currently locked
constexpr long kLockedThisMachine = 3188;   // locked by another session on this machine
constexpr long kDataChanged = 3197;         // another session changed the data meanwhile
constexpr long kReadOnly = 3027;            // the database or object is read-only

// Locking and concurrent-update family: wait and try again.
bool IsLockingError(long code);
// 3011, 3043, 3078 and the locking family: the retry policies wait 1000 ms and try again.
bool IsWaitAndRetryError(long code);

// The engine error for a failed SQLite call. extendedCode is the extended result code,
// message SQLite's text and sql the statement involved (decides between 3200 and 3201).
long JetCodeFromSqlite(int extendedCode, const QString& message, const QString& sql);
// The description that goes with a code: the engine's text in words a person can act on, naming
// the column where SQLite's message names a rule of the schema.
QString JetDescription(long code, const QString& sqliteMessage);

// Throws CDbException for a failed call on db (nullptr when there is no connection).
[[noreturn]] void ThrowSqliteError(sqlite3* db, int rc, const QString& sql = QString());
} // namespace DbErrors
