#pragma once

#include <QByteArray>
#include <QString>

// The template catalogue database, built at build time and carried in the program (library
// databasetemplate). Every new database is a copy of these bytes.

QByteArray TemplateDatabaseBytes();

// Creates path (replacing an existing file) with the template's bytes unchanged. The bytes go to a
// temporary file that takes the name only when complete, and journal files left beside an old
// file of that name are removed, so that they are never applied to the new database. False with
// a reason when the file cannot be written.
bool WriteTemplateDatabase(const QString& path, QString* errorText = nullptr);

// The script that makes the same catalogue (schema, template rows, stored queries) in an empty
// database on a PostgreSQL server.
QString ServerTemplateScript();

// Makes a catalogue at a server address (postgresql:// URL or connection string) from the
// script, in one transaction. False with a reason when the server cannot be reached, the database
// holds a catalogue already, or this build has no server support; nothing is left half made.
bool CreateServerCatalogue(const QString& address, QString* errorText = nullptr);
