#include "common/ConversationClient.h"
#include "common/ConversationProtocol.h"
#include "common/DdeSender.h"
#include "common/ErrorLog.h"
#include "common/ProductVersion.h"
#include "common/SynchCommandLine.h"
#include "gui/WidgetInteraction.h"
#include "hash/TthHashService.h"
#include "synch/MirrowelUpdateApp.h"
#include "synch/MirrowelUpdateFrame.h"
#include "synch/MwuSynchState.h"
#include "synch/MwuTaskList.h"
#include "synch/MwuContext.h"
#include "synch/MwuTaskManagerAddFiles.h"
#include "synch/MwuTaskManagerChecksum.h"
#include "synch/MwuTaskManagerMarkDeleted.h"
#include "synch/SynchUnattendedInteraction.h"

#include <QApplication>
#include <QLocalSocket>
#include <QLockFile>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

namespace
{
const QString kTitle = QStringLiteral("Quarrane Synchronizer");
const QString kService = QStringLiteral("QuarraneSynch");

void PrintUsage()
{
    std::printf("Usage: quarranesynch [-Database=PATH] [-CatalogueID=N | -Catalogue=NAME]\n"
                "                     [-AddFiles] [-MarkDeleted] [-UpdateTTH] [-ForceUpdateTTH]\n"
                "                     [-NoModifiedUpdateTTH] [-DeleteDuplicates] [-GhostDuplicates]\n"
                "                     [-Quit] [-Unattended]\n"
                "Brings a catalogue up to date with its medium. A running synchronizer takes the\n"
                "command lines of later starts into its own task list.\n"
                "  -Unattended  answer every question with its safe default (Cancel or No) and log it\n"
                "  -Quit        close when the request is done; the exit status is its result:\n"
                "               0 done, 2 folder or file not found, 3 some files or folders skipped\n"
                "               (each named on stderr and in the log), 30 error reading a file,\n"
                "               112 disk full, 122 cancelled (result 1223), 43 database of another\n"
                "               version, not a catalogue or damaged (result 4313)\n");
}

std::unique_ptr<CMwuTaskManager> CreateTaskManager(TaskKind kind, CMwuRequest& request, CMwuContext& context,
                                                   const CTthHashService& hashService)
{
    switch (kind)
    {
    case TaskKindAddFiles:
        return std::make_unique<CMwuTaskManagerAddFiles>(request, context);
    case TaskKindMarkDeleted:
        return std::make_unique<CMwuTaskManagerMarkDeleted>(request, context);
    case TaskKindUpdateTTH:
        return std::make_unique<CMwuTaskManagerChecksum>(request, context, hashService);
    default:
        return nullptr;
    }
}

// A process exit status holds 8 bits: 2, 30 and 112 pass as they are, 1223 (cancelled) becomes 122
// and 4313 (database unusable) 43. Unattended runs also print the result in full.
int ExitStatusOfResult(int result, bool unattended)
{
    if (unattended && result != 0)
        std::fprintf(stderr, "quarranesynch: the request ended with result %d\n", result);
    switch (result)
    {
    case CMwuTaskManager::ResultCancelled:
        return 122;
    case CMwuTaskManager::ResultDatabaseFailure:
        return 43;
    default:
        // Any other result still ends non-zero, whatever its low bits.
        return result == 0 ? 0 : (result & 0xFF) != 0 ? result & 0xFF : 1;
    }
}

constexpr int kEndingInstanceWaitMs = 5000;

bool InstanceAnswers(const QString& servicePath)
{
    QLocalSocket probe;
    probe.connectToServer(servicePath);
    return probe.waitForConnected(1000);
}

// A second instance: bring the running one forward and hand it our command line.
int RunSecondInstance(const QStringList& arguments, const QString& commandLine, CUserInteraction& ui)
{
    {
        CConversationClient client;
        if (client.Connect(kService, QStringLiteral("CmdLine"), 2000))
            client.Poke(QStringLiteral("Raise"), QString(), 2000);
    }
    if (!SynchCommandLine::ParseStartupArguments(arguments).WouldCreateRequest())
        return 0;
    return ForwardCommandLine(SynchronizerProgramPath(), kService, QStringLiteral("CmdLine"), commandLine, ui) ? 0
                                                                                                             : 1;
}
} // namespace

// Unattended runs print their questions and results; Qt's own remarks about the display it does
// not have (offscreen, no runtime folder) would only bury them.
void QuietMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--version") == 0)
        {
            std::printf("%s\n", qPrintable(ProductVersionLine(kTitle)));
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0)
        {
            PrintUsage();
            return 0;
        }
    }

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const QString commandLine = SynchCommandLine::JoinArguments(arguments);
    // Started by a script (quarrane-cli): unattended, and ending once there is nothing left to do.
    const bool startedForScript = qEnvironmentVariable("QUARRANE_SYNCH_UNATTENDED") == QStringLiteral("1");
    const bool unattended = startedForScript || SynchCommandLineFlag(commandLine, QStringLiteral("UNATTENDED"));
    if (unattended)
        qInstallMessageHandler(QuietMessageHandler);

    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brevold"));
    QApplication::setApplicationName(kTitle);
    QApplication::setQuitOnLastWindowClosed(true);
    SetErrorLogProgramName(QStringLiteral("QuarraneSynch"));

    CSynchUnattendedInteraction unattendedUi;
    QString folderError;
    const QString servicePath = ConversationServerPath(kService, &folderError);
    if (servicePath.isEmpty())
    {
        // Serving from a folder another user controls would hand that user our requests.
        LOG_ERROR(folderError, QStringLiteral("CMirrowelUpdateApp::InitInstance()"));
        std::fprintf(stderr, "quarranesynch: %s\n", qPrintable(folderError));
        if (!unattended)
        {
            CWidgetInteraction widgetUi;
            widgetUi.MessageBox(folderError, kTitle, MsgIcon::Error, MsgButtons::Ok);
        }
        return 1;
    }
    QLockFile instanceLock(servicePath + QStringLiteral(".lock"));
    instanceLock.setStaleLockTime(0);
    // An instance that has stopped listening because it is ending holds the lock for the moment
    // it takes to go; we wait for it and serve in its place rather than hand our command line to
    // a program that no longer takes any.
    if (!instanceLock.tryLock(0) &&
        (InstanceAnswers(servicePath) || !instanceLock.tryLock(kEndingInstanceWaitMs)))
    {
        CWidgetInteraction widgetUi;
        return RunSecondInstance(arguments, commandLine, unattended ? static_cast<CUserInteraction&>(unattendedUi)
                                                                    : widgetUi);
    }

    // One hashing service for the program, its work spread over every core.
    CTthHashService hashService(static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
    CMwuSynchState state;
    CMwuTaskList tasks;
    QSettings settings;
    std::unique_ptr<CMwuContext> context;
    CMirrowelUpdateApp app(state, [&context, &hashService](TaskKind kind, CMwuRequest& request) {
        return CreateTaskManager(kind, request, *context, hashService);
    });
    // Unattended with the quit option, the program ends when its work is done, whatever the
    // requests handed to it later say: nobody is there to close it.
    app.SetQuitWhenIdle(startedForScript ||
                        (unattended && SynchCommandLineFlag(commandLine, QStringLiteral("QUIT"))));
    app.SetUnattended(unattended);
    CMirrowelUpdateFrame frame(app, state, tasks, settings);
    CWidgetInteraction widgetUi(&frame);
    CUserInteraction& ui = unattended ? static_cast<CUserInteraction&>(unattendedUi) : widgetUi;
    SetProcessUserInteraction(&ui);
    context = std::make_unique<CMwuContext>(CMwuContext{
        state, tasks, app, ui, [](std::chrono::milliseconds wait) { std::this_thread::sleep_for(wait); }});

    QString error;
    if (!app.StartServer(&error))
        LOG_ERROR(QStringLiteral("Unable to serve %1: %2").arg(kService, error),
                  QStringLiteral("CMirrowelUpdateApp::InitInstance()"));
    frame.FitAndPlace();

    if (SynchCommandLine::ParseStartupArguments(arguments).WouldCreateRequest())
        app.CreateRequest(QStringLiteral("CmdLine"), commandLine, RequestSource::CommandLine);
    else if (app.QuitsWhenIdle())
        // The script that started us normally hands over its command line at once; should it
        // never come, do not linger.
        QTimer::singleShot(60000, &frame,
                           [&]
                           {
                               if (app.ReceivedCount() == 0)
                                   frame.close();
                           });

    const int exitCode = application.exec();
    // Closing cancels the running task managers, which ends a hash in progress.
    app.Close();
    hashService.Stop();
    SetProcessUserInteraction(nullptr);
    if (exitCode != 0)
        return exitCode;
    return ExitStatusOfResult(app.QuitResult(), unattended);
}
