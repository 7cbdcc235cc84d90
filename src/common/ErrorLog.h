#pragma once

#include <QString>

class CDbException;

// Unexpected failures of both programs: a line appended to the program's error log, then the
// "Exception Occurred" box through the process's interaction, telling the person where the log is.

// Start-up names the program: "Quarrane" logs to "QuarraneError.log". Until then: "Error.log".
void SetErrorLogProgramName(const QString& programName);

// Where the log goes: the program's folder when it is writable, else the user's state folder
// ($XDG_STATE_HOME/Quarrane, by default ~/.local/state/Quarrane). An absolute $QUARRANE_LOG_DIR
// comes before both (test runs), and a non-empty folder given here before that.
void SetErrorLogFolder(const QString& folder);
QString ErrorLogPath();

void LogError(const char* sourceFile, int line, const QString& message, const QString& context);
void LogException(const char* sourceFile, int line, const CDbException& e, const QString& extra,
                  const QString& context);

// The log line and the box text, exposed for tests and for programs that log without a box.
QString FormatErrorLogLine(const QString& sourceFile, int line, const QString& message,
                           const QString& context);
QString FormatExceptionBoxText(const QString& message, const QString& context);
QString FormatExceptionMessage(const CDbException& e, const QString& extra);
// Appends one line; false when the log cannot be opened (the caller carries on regardless).
bool AppendErrorLogLine(const QString& line);

#define LOG_ERROR(message, context) LogError(__FILE__, __LINE__, (message), (context))
#define LOG_EXCEPTION(e, extra, context) LogException(__FILE__, __LINE__, (e), (extra), (context))
