#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class CDbDatabase;

// What `quarrane-cli check` looks at in a catalogue database, beyond what SQLite itself checks:
// identifier counters ahead of the identifiers in use (else the next new row collides with an
// old one), file rows whose catalogue or folder is gone, and FileInfo or folder rows no file
// uses any more.
struct CCliCheckResult
{
    QString name;         // "integrity", "foreign keys", ...
    QStringList problems; // empty: passed
    QStringList notes;    // worth knowing, but not a fault
};

// Each check in turn; a database SQLite cannot read at all raises CDbException.
QList<CCliCheckResult> CheckCatalogueDatabase(CDbDatabase& db);
