#include "browser/handlers/FileOpener.h"

#include "common/ConversationClient.h"
#include "common/DdeSender.h"
#include "common/FilePath.h"
#include "common/MediaLocation.h"
#include "common/UserInteraction.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

namespace
{
const QString kDdeCaption = QStringLiteral("Unable to send the DDE message");

QString LowerExtension(const QString& path)
{
    return FilePath(path).Extension().toLower();
}

StartResult FindProgram(const QString& program)
{
    if (program.contains(QLatin1Char('/')))
    {
        const QFileInfo info(program);
        if (!info.exists())
            return StartResult::NotFound;
        return info.isExecutable() && !info.isDir() ? StartResult::Started : StartResult::NotExecuted;
    }
    return QStandardPaths::findExecutable(program).isEmpty() ? StartResult::NotFound : StartResult::Started;
}

// The application outlives us and must not hold our standard streams.
bool StartDetached(const SLaunchCommand& command, qint64* pPid = nullptr)
{
    QProcess process;
    process.setProgram(command.strProgram);
    process.setArguments(command.arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached(pPid);
}

// "Idle" for a DDE server: its conversation service answers.
void WaitForService(const QString& service, int waitMs)
{
    const QString path = ConversationServerPath(service);
    if (path.isEmpty())
        return;
    QDeadlineTimer deadline(waitMs);
    do
    {
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(200))
            return;
        QThread::msleep(25);
    } while (!deadline.hasExpired());
}
} // namespace

bool IsUnsafeFile(const QString& path)
{
    static const QStringList kUnsafe{QStringLiteral("exe"), QStringLiteral("com"), QStringLiteral("scr"),
                                     QStringLiteral("desktop"), QStringLiteral("sh")};
    if (kUnsafe.contains(LowerExtension(path)))
        return true;
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

CFileOpener::CFileOpener(const CFileHandlerSet& handlers, CUserInteraction& ui)
    : m_handlers(handlers), m_ui(ui)
{
}

bool CFileOpener::Locate(SOpenRequest& request)
{
    QString problem;
    QString solution;
    if (LocateMedia(request.strPath, request.nVolumeSerial, request.strVolume, 0, &problem, &solution,
                    true) == 0)
        return true;
    m_ui.MessageBox(solution, problem, MsgIcon::Warning, MsgButtons::Ok);
    return false;
}

qint64 CFileOpener::OpenFile(const SOpenRequest& original, std::optional<int> handlerIndex)
{
    SOpenRequest request = original;
    if (!Locate(request))
        return -1;
    const QString& path = request.strPath;
    if (IsUnsafeFile(path) &&
        m_ui.MessageBox(
            QStringLiteral("File:    %1\r\n\r\nThis type of file could harm your computer if it contains "
                           "malicious code.\r\n\r\nWould you like to open the file?")
                .arg(path),
            QStringLiteral("Unsafe File"), MsgIcon::Warning, MsgButtons::YesNo) != MsgAnswer::Yes)
        return -1;

    if (!handlerIndex)
        handlerIndex = m_handlers.FindDefaultHandler(LowerExtension(path));
    m_ui.SetStatusText(QStringLiteral("Opening File: %1").arg(path));
    if (!handlerIndex || *handlerIndex < 0 || *handlerIndex >= m_handlers.Count())
        return OpenWithDesktop(path);

    const SFileHandler handler = m_handlers.Handler(*handlerIndex);
    const std::optional<SLaunchCommand> launch = BuildLaunchCommand(handler, path);
    const SDdeSettings dde = GetDdeSettings(handler);
    // A service left filled in under an unchecked "Use DDE" is kept for later, not used.
    if (!dde.bUseDde || !handler.bUseDde)
    {
        if (!launch)
            return OpenWithDesktop(path);
        return RunCommand(*launch);
    }
    QString item = handler.strDdeItem;
    QString data = handler.strDdeData;
    item.replace(QStringLiteral("%1"), path);
    data.replace(QStringLiteral("%1"), path);
    SendDdeMessage(launch, handler.bDdePrelaunchServer, handler.strDdeService, handler.strDdeTopic, item,
                   data, dde.transactionType);
    return -1;
}

qint64 CFileOpener::RunCommand(const SLaunchCommand& command)
{
    const StartResult found = FindProgram(command.strProgram);
    qint64 pid = -1;
    if (found == StartResult::Started && StartDetached(command, &pid))
        return pid;
    m_ui.MessageBox(
        StartFailureText(found == StartResult::NotFound ? StartResult::NotFound : StartResult::NotExecuted,
                         command.strProgram),
        QStringLiteral("Unable to open the file"), MsgIcon::Warning, MsgButtons::Ok);
    return -1;
}

qint64 CFileOpener::OpenWithDesktop(const QString& path)
{
    return RunCommand({m_strDesktopOpener, {path}});
}

bool CFileOpener::SendDdeMessage(const std::optional<SLaunchCommand>& launch, bool bPrelaunch,
                                 const QString& service, const QString& topic, const QString& item,
                                 const QString& data, unsigned transactionType)
{
    CConversationClient client;
    const QString idleText;
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        const bool launchNow = (attempt == 0) == bPrelaunch && launch;
        if (launchNow)
        {
            CWaitCursorScope wait(m_ui);
            const QString& program = launch->strProgram;
            m_ui.SetStatusText(QStringLiteral("Launching %1...").arg(program));
            StartResult started = FindProgram(program);
            if (started == StartResult::Started)
            {
                if (StartDetached(*launch))
                    WaitForService(service, m_nServerStartWaitMs);
                else
                    started = StartResult::NotExecuted;
            }
            if (started != StartResult::Started)
            {
                m_ui.MessageBox(StartFailureText(started, program), kDdeCaption, MsgIcon::Warning,
                                MsgButtons::Ok);
                m_ui.SetStatusText(idleText);
                return false;
            }
        }
        if (client.Connect(service, topic))
        {
            if (transactionType == kXtypPoke)
                client.Poke(item, data);
            else
                client.Execute(data);
            client.Disconnect();
            m_ui.SetStatusText(idleText);
            return true;
        }
        if (attempt == 1 || launchNow)
        {
            m_ui.MessageBox(
                QStringLiteral("Unable to send the DDE message:  %1").arg(DdeErrorText(client.LastError())),
                kDdeCaption, MsgIcon::Warning, MsgButtons::Ok);
            m_ui.SetStatusText(idleText);
            return false;
        }
    }
    return false;
}

bool CFileOpener::OpenContainingFolder(const SOpenRequest& original)
{
    SOpenRequest request = original;
    if (!Locate(request))
        return false;
    if (m_showInFileManager && m_showInFileManager(request.strPath))
        return true;
    return OpenWithDesktop(FilePath(request.strPath).Parent()) > 0;
}
