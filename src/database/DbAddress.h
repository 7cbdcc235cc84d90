#pragma once

#include <QString>

// Where a catalogue lives: a .qrl file, or a database on a PostgreSQL server named by an address.
// Every place that accepts a catalogue (the browser's Open and recent files, the synchronizer's
// -Database=, quarrane-cli) decides with IsServerAddress, so that they all agree.
namespace DbAddress
{
// A postgresql:// or postgres:// URL; or a libpq connection string of key=value pairs that libpq
// accepts ("host=/run/postgresql dbname=team") and that is not the name of an existing file, so
// that a file called "host=x" still opens as the file it is.
bool IsServerAddress(const QString& text);

// The address with any password left out: what recent files keep, titles show and keys are made
// of (libpq then takes the password from ~/.pgpass or $PGPASSWORD). Paths come back unchanged.
QString WithoutPassword(const QString& address);

// The address as messages and logs may show it: a password shown as "***".
QString Display(const QString& address);

// Whether the address carries a password of its own.
bool HasPassword(const QString& address);

// What the window title shows for a catalogue: a file's name, or a server address without its
// password.
QString TitleName(const QString& pathOrAddress);

// One stable key per catalogue, for comparing where two texts name the same one and for naming
// files kept per catalogue: the absolute, clean path of a file (symbolic links resolved when it
// exists); for an address "server-" and 16 hexadecimal digits of a hash of the address without
// its password and surrounding blanks, so that it never leaks into a file name.
QString Key(const QString& pathOrAddress);
} // namespace DbAddress
