#include "common/ConversationClient.h"
#include "common/ConversationProtocol.h"
#include "common/DdeSender.h"
#include "common/ErrorLog.h"
#include "common/ProductVersion.h"
#include "common/SynchCommandLine.h"
#include "gui/WidgetInteraction.h"
#include "synch/MirrowelUpdateApp.h"
#include "synch/MirrowelUpdateFrame.h"
#include "synch/MwuSynchState.h"
#include "synch/MwuTaskList.h"
#include "synch/MwuTaskManager.h"
#include "synch/SynchUnattendedInteraction.h"

#include <QApplication>
#include <QLockFile>
#include <QSettings>

#include <cstdio>
#include <cstring>

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
                "  -Quit        close when the request is done; the exit status is its result\n");
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

    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brevold"));
    QApplication::setApplicationName(kTitle);
    QApplication::setQuitOnLastWindowClosed(true);
    SetErrorLogProgramName(QStringLiteral("QuarraneSynch"));

    const QStringList arguments = application.arguments().mid(1);
    const QString commandLine = SynchCommandLine::JoinArguments(arguments);
    const bool unattended = SynchCommandLineFlag(commandLine, QStringLiteral("UNATTENDED"));

    CSynchUnattendedInteraction unattendedUi;
    QLockFile instanceLock(ConversationServerPath(kService) + QStringLiteral(".lock"));
    instanceLock.setStaleLockTime(0);
    if (!instanceLock.tryLock(0))
    {
        CWidgetInteraction widgetUi;
        return RunSecondInstance(arguments, commandLine, unattended ? static_cast<CUserInteraction&>(unattendedUi)
                                                                    : widgetUi);
    }

    CMwuSynchState state;
    CMwuTaskList tasks;
    QSettings settings;
    // The task managers themselves join in as they are built; until then a task does nothing.
    CMirrowelUpdateApp app(state, [](TaskKind, CMwuRequest&) { return std::unique_ptr<CMwuTaskManager>(); });
    CMirrowelUpdateFrame frame(app, state, tasks, settings);
    CWidgetInteraction widgetUi(&frame);
    CUserInteraction& ui = unattended ? static_cast<CUserInteraction&>(unattendedUi) : widgetUi;
    SetProcessUserInteraction(&ui);

    QString error;
    if (!app.StartServer(&error))
        LOG_ERROR(QStringLiteral("Unable to serve %1: %2").arg(kService, error),
                  QStringLiteral("CMirrowelUpdateApp::InitInstance()"));
    frame.FitAndPlace();

    if (SynchCommandLine::ParseStartupArguments(arguments).WouldCreateRequest())
        app.CreateRequest(QStringLiteral("CmdLine"), commandLine, RequestSource::CommandLine);

    const int exitCode = application.exec();
    app.Close();
    SetProcessUserInteraction(nullptr);
    return exitCode != 0 ? exitCode : app.QuitResult();
}
