#include "common/ErrorLog.h"

#include "common/DbException.h"
#include "common/ProductVersion.h"
#include "common/UserInteraction.h"
#include "platform/ProgramInfo.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

namespace
{
QMutex g_logMutex;
QString g_logFileName = QStringLiteral("Error.log");
QString g_logFolder;

QString ProgramPath()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return ProgramFilePath();
}

QString StateFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/state");
    return base + QStringLiteral("/Quarrane");
}

QString LogFolderLocked()
{
    if (!g_logFolder.isEmpty())
        return g_logFolder;
    // Set by whoever runs the programs and wants their logs elsewhere: the test suite, so that
    // no run leaves a log beside the programs it tests.
    const QString overridden = qEnvironmentVariable("QUARRANE_LOG_DIR");
    if (!overridden.isEmpty() && QDir::isAbsolutePath(overridden))
        return overridden;
    const QString programFolder = QFileInfo(ProgramPath()).absolutePath();
    if (!programFolder.isEmpty() && QFileInfo(programFolder).isWritable())
        return programFolder;
    return StateFolder();
}
} // namespace

void SetErrorLogProgramName(const QString& programName)
{
    QMutexLocker lock(&g_logMutex);
    g_logFileName = programName + QStringLiteral("Error.log");
}

void SetErrorLogFolder(const QString& folder)
{
    QMutexLocker lock(&g_logMutex);
    g_logFolder = folder;
}

QString ErrorLogPath()
{
    QMutexLocker lock(&g_logMutex);
    return QDir(LogFolderLocked()).filePath(g_logFileName);
}

QString FormatErrorLogLine(const QString& sourceFile, int line, const QString& message, const QString& context)
{
    // A compiler cache that hands the compiler paths relative to the build folder ("../../src/x.cpp")
    // puts __FILE__ out of reach of the prefix map; the log still names the file from the project.
    qsizetype start = 0;
    while (sourceFile.mid(start, 3) == QLatin1String("../") ||
           sourceFile.mid(start, 2) == QLatin1String("./"))
        start += sourceFile.at(start + 1) == QLatin1Char('.') ? 3 : 2;
    // One multi-argument arg() call: a "%1" inside a message must not be substituted again.
    return QStringLiteral("[Date:%1][Version:%2] %3(%4) : %5 : %6\r\n")
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("MM/dd/yyyy HH:mm:ss")),
             QString::asprintf("%0.2f", GetProductVersion()), sourceFile.mid(start), QString::number(line),
             message, context);
}

QString FormatExceptionBoxText(const QString& message, const QString& context)
{
    return QStringLiteral("%1\r\n\r\n%2\r\n\r\n%3 may exit or you may choose to restart the application."
                          "\r\n\r\nBrevold apologises for the inconvenience.\r\n\r\nPlease contact "
                          QUARRANE_SUPPORT_ADDRESS
                          " with the log file located at:\r\n\r\n    %4\r\n\r\n"
                          "Any directions to reproduce this error would be very helpful.")
        .arg(message, context, ProgramPath(), ErrorLogPath());
}

QString FormatExceptionMessage(const CDbException& e, const QString& extra)
{
    QString message = QStringLiteral("[Exception:0x%1] %2")
                          .arg(QString::number(static_cast<quint32>(e.m_nErrorCode), 16).toUpper(),
                               e.m_strDescription);
    if (!extra.isEmpty())
        message += QLatin1Char(' ') + extra;
    return message;
}

bool AppendErrorLogLine(const QString& line)
{
    QMutexLocker lock(&g_logMutex);
    const QString folder = LogFolderLocked();
    QDir().mkpath(folder);
    // Opened and closed for every line, so that a crash right after a report loses nothing.
    QFile file(QDir(folder).filePath(g_logFileName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray bytes = line.toUtf8();
    return file.write(bytes) == bytes.size();
}

void LogError(const char* sourceFile, int line, const QString& message, const QString& context)
{
    AppendErrorLogLine(FormatErrorLogLine(QString::fromUtf8(sourceFile), line, message, context));
    ProcessUserInteraction().MessageBox(FormatExceptionBoxText(message, context),
                                        QStringLiteral("Exception Occurred"), MsgIcon::Error, MsgButtons::Ok);
}

void LogException(const char* sourceFile, int line, const CDbException& e, const QString& extra,
                  const QString& context)
{
    LogError(sourceFile, line, FormatExceptionMessage(e, extra), context);
}
