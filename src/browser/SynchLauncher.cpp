#include "browser/SynchLauncher.h"

#include "common/ConversationClient.h"
#include "common/DdeSender.h"

CDdeSynchLauncher::CDdeSynchLauncher(CUserInteraction& ui, QString programPath, QObject* parent)
    : CSynchLauncher(parent), m_ui(ui), m_strProgramPath(std::move(programPath))
{
}

CDdeSynchLauncher::~CDdeSynchLauncher() = default;

bool CDdeSynchLauncher::Send(const QString& topic, const QString& commandLine)
{
    std::unique_ptr<CConversationClient> client;
    DdeSendOptions options;
    options.pKeepClient = &client;
    if (!SendDdeCommand(m_strProgramPath, QStringLiteral("QuarraneSynch"), topic, commandLine, true, m_ui, options))
        return false;
    // Conversations whose requests have ended are closed as new ones come.
    std::erase_if(m_clients, [](const auto& c) { return !c->IsConnected(); });
    connect(client.get(), &CConversationClient::adviseReceived, this,
            [this](const CConversationClient::Advise& a) { emit adviseReceived(a.topic, a.item, a.final, a.result); });
    m_clients.push_back(std::move(client));
    ++m_nSent;
    return true;
}

std::optional<quint32> CDdeSynchLauncher::WaitForLastFinal(int timeoutMs)
{
    if (m_clients.empty())
        return std::nullopt;
    return m_clients.back()->WaitForFinalAdvise(timeoutMs);
}
