#include "common/UserInteraction.h"

#include "common/UnattendedInteraction.h"

CUserInteraction::~CUserInteraction() = default;

MsgAnswer SafeDefaultAnswer(MsgButtons buttons)
{
    switch (buttons)
    {
    case MsgButtons::Ok:
        return MsgAnswer::Ok;
    case MsgButtons::YesNo:
        return MsgAnswer::No;
    case MsgButtons::AbortRetryIgnore:
        return MsgAnswer::Abort;
    case MsgButtons::OkCancel:
    case MsgButtons::YesNoCancel:
    case MsgButtons::RetryCancel:
        break;
    }
    return MsgAnswer::Cancel;
}

const char* MsgAnswerName(MsgAnswer answer)
{
    switch (answer)
    {
    case MsgAnswer::Ok:
        return "OK";
    case MsgAnswer::Cancel:
        return "Cancel";
    case MsgAnswer::Yes:
        return "Yes";
    case MsgAnswer::No:
        return "No";
    case MsgAnswer::Retry:
        return "Retry";
    case MsgAnswer::Abort:
        return "Abort";
    case MsgAnswer::Ignore:
        return "Ignore";
    }
    return "?";
}

namespace
{
std::atomic<CUserInteraction*> g_processInteraction{nullptr};
}

CUserInteraction& ProcessUserInteraction()
{
    if (CUserInteraction* ui = g_processInteraction.load())
        return *ui;
    static CUnattendedInteraction unattended;
    return unattended;
}

void SetProcessUserInteraction(CUserInteraction* ui)
{
    g_processInteraction.store(ui);
}
