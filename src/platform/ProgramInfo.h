#pragma once

#include <QString>

// Facts about the running program and the person running it.

// Absolute path of the running executable; empty if the system will not say.
QString ProgramFilePath();

// The effective user's login name, or the numeric user id when the account has no name.
QString CurrentLoginName();

// This machine's host name.
QString ComputerName();

// Whether the program's standard error goes to a terminal (someone watching), rather than to a
// file or a pipe.
bool StandardErrorIsTerminal();
