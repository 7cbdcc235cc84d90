#pragma once

#include "common/ConversationClient.h"

#include <QString>

#include <memory>

class CUserInteraction;

// Handing a command line to the synchronizer, starting it first when asked to.

// The text for a client-side conversation error code; "An unknown DDE error occured." for others.
QString DdeErrorText(quint32 error);

// The synchronizer beside the running program.
QString SynchronizerProgramPath();

struct DdeSendOptions
{
    // How long a started program may take until its server answers.
    int startWaitMs = 40000;
    // When given, receives the connected client, so the caller can wait for advise data.
    std::unique_ptr<CConversationClient>* pKeepClient = nullptr;
};

// The browser's sender: with bStartFirst the program is started at the first attempt, else at the
// second; then an advise-start with the item (the command line) on the topic. A busy server is
// asked again for at most startWaitMs, one that went before answering is started again. Failures
// are told through ui with their texts and captions; returns true when the item was sent.
bool SendDdeCommand(const QString& programPath, const QString& service, const QString& topic,
                    const QString& item, bool bStartFirst, CUserInteraction& ui,
                    const DdeSendOptions& options = {});

// The second instance's sender: an advise-start on the topic; the first failure starts the
// program and waits for its server at most startWaitMs (5000 ms by default), the second gives up.
// Returns true when the server accepted the item.
bool ForwardCommandLine(const QString& programPath, const QString& service, const QString& topic,
                        const QString& item, CUserInteraction& ui, int startWaitMs = 5000);

// Starts a program detached and waits until the service answers (or the time is up). The error is
// "not found" when the program does not exist, else "could not be executed".
enum class StartResult
{
    Started,
    NotFound,
    NotExecuted,
};
StartResult StartAndWaitForService(const QString& programPath, const QString& service, int waitMs);
// The browser's text for a program that could not be started.
QString StartFailureText(StartResult result, const QString& programPath);
