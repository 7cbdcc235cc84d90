#pragma once

#include <QString>
#include <QStringList>

// The synchronizer's command line: what the browser sends and what a request carries out.
// Keywords are matched without regard to case; values keep the case they were typed in.
struct SynchCommandLine
{
    QString database;
    QString catalogue;
    qint32 catalogueId = 0;
    // The option flags in their fixed order.
    bool addFiles = false;
    bool markDeleted = false;
    bool updateTTH = false;
    bool forceUpdateTTH = false;
    bool noModifiedUpdateTTH = false;
    bool deleteDuplicates = false;
    bool ghostDuplicates = false;
    bool quit = false;

    // The task flags as the ordered array the worker walks: index 1 add files, 2 mark deleted,
    // 3 update TTH (index 0 is unused).
    bool TaskFlag(int index) const;

    // Parses a whole command line as received.
    static SynchCommandLine Parse(const QString& commandLine);

    // The start-up reading: one argument at a time, only DATABASE=, CATALOGUE= and CATALOGUEID=
    // at the start of an argument count. It decides only whether the start-up line makes a request.
    static SynchCommandLine ParseStartupArguments(const QStringList& arguments);

    // The one-line command line for program arguments that a shell has already split and
    // unquoted: a value with blanks is quoted again ("-Database=\"/a b.qrl\""), so that parsing the
    // line gives back what the arguments said.
    static QString JoinArguments(const QStringList& arguments);

    // True when this names a database and a catalogue (by id or by name).
    bool WouldCreateRequest() const;
};

// The value of a value keyword (upper case, without "=") in a command line, case as typed; empty
// when the keyword is absent or its quoted value is not terminated.
QString SynchCommandLineValue(const QString& commandLine, const QString& keyword);

// Whether a flag keyword (upper case) is given with a dash or a slash and followed by a blank.
bool SynchCommandLineFlag(const QString& commandLine, const QString& keyword);

// C's atol: leading blanks, an optional sign, then digits up to the first other character; 0 when
// no digit follows. Values beyond 32 bits wrap as they would in the 32-bit identifier.
qint32 AtoL(const QString& text);
