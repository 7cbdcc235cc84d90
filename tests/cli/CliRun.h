#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// One run of quarrane-cli as a real process: its exit code (-1 when it did not end in time, -2
// when it crashed) and what it wrote.
struct CliRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

inline CliRun RunCli(const QProcessEnvironment& environment, const QStringList& arguments, int timeoutMs)
{
    QProcess p;
    p.setProcessEnvironment(environment);
    p.start(QStringLiteral(QUARRANE_CLI_PATH), arguments);
    CliRun run;
    if (!p.waitForFinished(timeoutMs))
        return run;
    run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}
