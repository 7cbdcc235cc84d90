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
