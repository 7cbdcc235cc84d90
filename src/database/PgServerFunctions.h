#pragma once

#include <QString>
#include <QStringList>

// Inside the engine layer only: the collation and the functions that the translated statements
// call on a server catalogue. A new catalogue gets them from the template script; a catalogue
// made by an earlier build may lack some, and opening it for writing adds them.
namespace PgServerFunctions
{
// Creates the collation and (re)creates every function, in the server's dialect; safe to run on
// a catalogue that has them already.
QString Script();

// The collation and the functions of those names only: what a catalogue lacks, created without
// touching what it has (which may belong to another role).
QString ScriptFor(const QStringList& missingSignatures);

// Each function as the server names its signature ("jet_order(text)"), for to_regprocedure.
QStringList Signatures();

// The function a failed call names when it is one of ours ("jet_order"), else empty.
QString NamedIn(const QString& serverMessage);

// What to tell someone whose catalogue lacks function: what it is for and what to run.
QString MissingText(const QString& function, const QString& displayAddress);
} // namespace PgServerFunctions
