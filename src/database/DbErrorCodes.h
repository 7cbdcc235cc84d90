#pragma once

// The engine error numbers that callers decide by: Jet's own numbers, so that messages, logs and
// the retry rules read the same whichever engine raised them. Header only and free of the engine:
// any layer may name a code without linking the database layer.
namespace DbErrors
{
// Objects, files and I/O.
constexpr long kObjectNotFound = 3011;     // an object (table, query) or network path is missing
constexpr long kFileNotFound = 3024;       // opening a file that is not there
constexpr long kDiskFull = 3026;           // not enough space on disk
constexpr long kReadOnly = 3027;           // the database or object is read-only
constexpr long kResourcesExceeded = 3035;  // out of memory
constexpr long kDiskOrNetworkError = 3043; // I/O error
constexpr long kFileInUse = 3045;          // a file another program holds open
constexpr long kCannotOpen = 3051;         // opening a file that may not be opened
constexpr long kInputNotFound = 3078;      // missing table, column, query or function
constexpr long kDatabaseExists = 3204;     // creating a database over an existing file
constexpr long kUnrecognizedFormat = 3343; // not a database, or a damaged one

// Statements, records and parameters.
constexpr long kInvalidArgument = 3001;       // anything else the engine refused
constexpr long kNoCurrentRecord = 3021;       // reading past the last row, or no row at all
constexpr long kDuplicateKey = 3022;          // unique index or primary key violated
constexpr long kNoTransaction = 3034;         // commit or rollback without a transaction
constexpr long kTooFewParameters = 3061;      // a parameter, or a misspelt column, left without a value
constexpr long kCannotExecuteSelect = 3065;   // executing a query that returns rows
constexpr long kNotUpdatable = 3073;          // an update the query's shape does not allow
constexpr long kSyntaxError = 3075;           // SQL the engine could not parse
constexpr long kTextAfterStatement = 3142;    // characters after the end of the statement
constexpr long kFieldTooSmall = 3163;         // text longer than its column
constexpr long kRecordDeleted = 3167;         // the row was deleted meanwhile
constexpr long kRelatedRecords = 3200;        // deleting or changing a row that others refer to
constexpr long kRelatedRecordRequired = 3201; // a reference to a row that does not exist
constexpr long kItemNotFound = 3265;          // no such column or parameter
constexpr long kRequiredField = 3314;         // Null in a required column
constexpr long kZeroLengthString = 3315;      // empty text where it is refused
constexpr long kValidationRule = 3317;        // another rule of a column refused the value

// Locking and concurrent updates: another program (or session) holds what this one wants.
constexpr long kFieldCannotBeUpdated = 3164; // the field is held by another user
constexpr long kSaveLockedByUser = 3186;     // could not save; locked by a named user
constexpr long kReadLockedByUser = 3187;     // could not read; locked by a named user
constexpr long kLockedThisMachine = 3188;    // locked by another session on this machine
constexpr long kDataChanged = 3197;          // another session changed the data meanwhile
constexpr long kSaveLocked = 3202;           // could not save; currently locked
constexpr long kLocked = 3218;               // could not update; currently locked
constexpr long kLockedByUser = 3260;         // could not update; locked by a named user
constexpr long kOpenedExclusively = 3356;    // the database is open exclusively elsewhere
constexpr long kCascadeUpdateInUse = 3412;   // a cascading update meets a table in use
constexpr long kCascadeInUseByUser = 3413;   // a cascading operation meets a user's table
constexpr long kCascadeInUse = 3414;         // a cascading operation meets a table in use
constexpr long kRecordReadLocked = 3624;     // could not read the row; locked by another user

// The locking and concurrent-update family: the holder lets go in time, so wait and try again.
constexpr bool IsLockingError(long code)
{
    switch (code)
    {
    case kFieldCannotBeUpdated:
    case kSaveLockedByUser:
    case kReadLockedByUser:
    case kLockedThisMachine:
    case kDataChanged:
    case kSaveLocked:
    case kLocked:
    case kLockedByUser:
    case kOpenedExclusively:
    case kCascadeUpdateInUse:
    case kCascadeInUseByUser:
    case kCascadeInUse:
    case kRecordReadLocked:
        return true;
    default:
        return false;
    }
}

// A missing object, a lost network path or an I/O failure: the connection itself may be broken,
// so a program that can open its database again does so before the next attempt.
constexpr bool IsReopenError(long code)
{
    return code == kObjectNotFound || code == kDiskOrNetworkError || code == kInputNotFound;
}

// What a write to the shared database waits 1000 ms on and then tries again, where it does not
// open the database again: the reopen errors and the locking family.
constexpr bool IsWaitAndRetryError(long code)
{
    return IsReopenError(code) || IsLockingError(code);
}
} // namespace DbErrors
