#pragma once

#include <QString>

struct CCliOptions;

// quarrane-cli's commands over the browser's document logic. The exit statuses:
constexpr int kCliDone = 0;
constexpr int kCliFailed = 1;
constexpr int kCliUsage = 2;
constexpr int kCliSynchronizerProblem = 3;

// Says what is wrong on stderr; the exit status for a command used wrongly, or one that failed.
int CliUsage(const QString& problem);
int CliFail(const QString& message);

// Runs the command the options name; the exit status.
int RunCliCommand(const CCliOptions& options);

// The synchronizer's result number in words ("" for 0, done).
QString SynchronizerResultText(quint32 result);
