#pragma once

#include <QString>

class CDbDatabase;

// Which File records are names of one physical file (hard links), kept in a table of our own,
// FileIdentity (FileId, Identity): the device and inode of a file that has more than one name,
// as "<device>:<inode>", recorded when the file is catalogued. Files with one name have no row, and
// databases made before the table existed have none at all: their files are taken to be distinct,
// as they always were. Two records with the same identity are never each other's spare copy.
namespace FileIdentity
{
// "<device>:<inode>".
QString Text(quint64 device, quint64 inode);
// Makes the table when the database does not have it yet.
void EnsureTable(CDbDatabase& db);
bool HasTable(CDbDatabase& db);

// The length limit of a text column as the database's schema states it ("length(col) <= n"), or
// fallback when the column has none or the table cannot be read. Older databases keep the limits
// they were made with (SQLite cannot change a CHECK in place), so callers ask the file itself.
int ColumnLengthLimit(CDbDatabase& db, const QString& table, const QString& column, int fallback);
} // namespace FileIdentity
