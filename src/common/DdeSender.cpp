#include "common/DdeSender.h"

#include "common/UserInteraction.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

QString DdeErrorText(quint32 error)
{
    switch (error)
    {
    case 0x4000:
        return QStringLiteral("The synchronous advise transaction has timed out");
    case 0x4001:
        return QStringLiteral("The synchronous advise transaction is busy");
    case 0x4002:
        return QStringLiteral("The synchronous data transaction has timed out");
    case 0x4003:
        return QStringLiteral(
            "A DDEML function was called without first calling the DdeInitialize function, or an "
            "invalid instance identifier was passed to a DDEML function");
    case 0x4004:
        return QStringLiteral(
            "An application initialized as APPCLASS_MONITOR has attempted to perform a dynamic "
            "data exchange (DDE) transaction, or an application initialized as "
            "APPCMD_CLIENTONLY has attempted to perform server transactions");
    case 0x4005:
        return QStringLiteral("The request for a synchronous execute transaction has timed out");
    case 0x4006:
        return QStringLiteral("A parameter failed to be validated by the DDEML");
    case 0x4007:
        return QStringLiteral(
            "The DDEML application has created a prolonged race condition (in which the server "
            "application outruns the client), causing large amounts of memory to be consumed");
    case 0x4008:
        return QStringLiteral("A memory allocation has failed");
    case 0x4009:
        return QStringLiteral("The transaction has failed");
    case 0x400A:
        return QStringLiteral("The attempt to establish a conversation has failed");
    case 0x400B:
        return QStringLiteral("request for a synchronous poke transaction has timed out");
    case 0x400C:
        return QStringLiteral("An internal call to the PostMessage function has failed");
    case 0x400D:
        return QStringLiteral("An application instance with a synchronous transaction already in progress "
                              "attempted to initiate another synchronous transaction");
    case 0x400E:
        return QStringLiteral("The server-side transaction was attempted on a conversation terminated by the "
                              "client, or the server terminated before completing a transaction");
    case 0x400F:
        return QStringLiteral("An internal error has occurred in the DDEML");
    case 0x4010:
        return QStringLiteral("A request to end an advise transaction has timed out");
    case 0x4011:
        return QStringLiteral("An invalid transaction identifier was passed to a DDEML function");
    default:
        return QStringLiteral("An unknown DDE error occured.");
    }
}

QString SynchronizerProgramPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("quarranesynch"));
}

StartResult StartAndWaitForService(const QString& programPath, const QString& service, int waitMs)
{
    const QFileInfo program(programPath);
    if (!program.exists())
        return StartResult::NotFound;
    if (!program.isExecutable())
        return StartResult::NotExecuted;
    // The program outlives its starter, so it must not hold the starter's standard streams: a
    // script that reads our output through a pipe would wait for the program's end, not ours.
    // What it has to say goes to its error log.
    QProcess process;
    process.setProgram(programPath);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    if (!process.startDetached())
        return StartResult::NotExecuted;

    // "Idle" for us: the service answers. A program that is a second instance ends at once and
    // the first instance answers instead, which is just as good.
    const QString path = ConversationServerPath(service);
    if (path.isEmpty())
        return StartResult::Started; // the connection that follows tells why
    QDeadlineTimer deadline(waitMs);
    do
    {
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(200))
            return StartResult::Started;
        QThread::msleep(25);
    } while (!deadline.hasExpired());
    return StartResult::Started;
}

QString StartFailureText(StartResult result, const QString& programPath)
{
    const QString text = result == StartResult::NotFound
                             ? QStringLiteral("The following application could not be found:\r\n    %1")
                             : QStringLiteral("The following application could not be executed:\r\n    %1");
    return text.arg(programPath);
}

bool SendDdeCommand(const QString& programPath, const QString& service, const QString& topic,
                    const QString& item, bool bStartFirst, CUserInteraction& ui,
                    const DdeSendOptions& options)
{
    // Two attempts at least. A synchronizer that is just starting or just ending answers busy, or
    // goes before it answers: handing it the item would lose it while we report it sent. So a
    // busy one is asked again while the time a start may take lasts, and one that went is started
    // again, a few times at most.
    constexpr int kMaxStarts = 3;
    const QDeadlineTimer deadline(options.startWaitMs);
    bool start = bStartFirst;
    int starts = 0;
    for (int attempt = 0;; ++attempt)
    {
        CWaitCursorScope wait(ui);
        ui.SetStatusText(QStringLiteral("Launching %1...").arg(service));
        if (start)
        {
            ++starts;
            const StartResult started = StartAndWaitForService(programPath, service, options.startWaitMs);
            if (started != StartResult::Started)
            {
                ui.MessageBox(StartFailureText(started, programPath),
                              QStringLiteral("Unable to send the DDE message"), MsgIcon::Warning,
                              MsgButtons::Ok);
                ui.SetStatusText(QString());
                return false;
            }
        }
        auto client = std::make_unique<CConversationClient>();
        std::optional<quint32> answer;
        if (client->Connect(service, topic))
        {
            answer = client->AdviseStart(item);
            // An answer that did not come while the conversation stands: the item is with the
            // server, which may simply be slow to say so.
            if (answer != kDdeFBusy && (answer || client->IsConnected()))
            {
                ui.SetStatusText(QString());
                if (options.pKeepClient)
                    *options.pKeepClient = std::move(client);
                return true;
            }
        }
        const bool busy = answer == kDdeFBusy;
        if (attempt >= 1 && (deadline.hasExpired() || (!busy && starts >= kMaxStarts)))
        {
            const QString text = busy                                ? DdeErrorText(0x4001)
                                 : client->LastErrorText().isEmpty() ? DdeErrorText(client->LastError())
                                                                     : client->LastErrorText();
            ui.MessageBox(text, QStringLiteral("Unable to send the DDE message:  %1").arg(topic),
                          MsgIcon::Warning, MsgButtons::Ok);
            ui.SetStatusText(QString());
            return false;
        }
        start = !busy;
        if (busy || attempt >= 1)
            QThread::msleep(100);
    }
}

bool ForwardCommandLine(const QString& programPath, const QString& service, const QString& topic,
                        const QString& item, CUserInteraction& ui, int startWaitMs)
{
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        {
            CWaitCursorScope wait(ui);
            CConversationClient client;
            if (client.Connect(service, topic) && client.AdviseStart(item) == kDdeFAck)
                return true;
        }
        if (attempt == 1)
            break;
        const StartResult started = StartAndWaitForService(programPath, service, startWaitMs);
        if (started == StartResult::NotFound)
        {
            ui.MessageBox(QStringLiteral("The Quarrane Synchronizer module could not be found!"),
                          QStringLiteral("Missing Quarrane Synchronizer Module"), MsgIcon::Error,
                          MsgButtons::Ok);
            return false;
        }
        if (started == StartResult::NotExecuted)
        {
            ui.MessageBox(QStringLiteral("Unable to launch the Quarrane Synchronizer module!"),
                          QStringLiteral("Quarrane Synchronizer module"), MsgIcon::Error, MsgButtons::Ok);
            return false;
        }
    }
    ui.MessageBox(QStringLiteral("A connection to the %1 module could not be made").arg(service),
                  QStringLiteral("Unable to send the DDE message:  %1").arg(topic), MsgIcon::Warning,
                  MsgButtons::Ok);
    return false;
}
