#include "browser/SynchLauncher.h"

#include "common/ConversationClient.h"
#include "common/DdeSender.h"
#include "common/UserInteraction.h"

#include <QThread>

namespace
{
const QString kService = QStringLiteral("QuarraneSynch");
} // namespace

CDdeSynchLauncher::CDdeSynchLauncher(CUserInteraction& ui, QString programPath, QObject* parent)
    : CSynchLauncher(parent), m_ui(ui), m_strProgramPath(std::move(programPath))
{
}

CDdeSynchLauncher::~CDdeSynchLauncher()
{
    for (QThread* starter : m_starters)
    {
        starter->wait();
        delete starter;
    }
}

bool CDdeSynchLauncher::Send(const QString& topic, const QString& commandLine)
{
    return Hand(topic, commandLine, true);
}

void CDdeSynchLauncher::Post(const QString& topic, const QString& commandLine, std::function<void(bool)> sent)
{
    if (!m_bStartInBackground)
    {
        CSynchLauncher::Post(topic, commandLine, std::move(sent));
        return;
    }
    m_ui.SetStatusText(QStringLiteral("Launching %1...").arg(kService));
    auto result = std::make_shared<StartResult>(StartResult::Started);
    const QString program = m_strProgramPath;
    QThread* starter = QThread::create(
        [result, program]
        { *result = StartAndWaitForService(program, kService, DdeSendOptions().startWaitMs); });
    m_starters.push_back(starter);
    connect(starter, &QThread::finished, this,
            [=, this]
            {
                std::erase(m_starters, starter);
                starter->wait();
                starter->deleteLater();
                m_ui.SetStatusText(QString());
                bool done = false;
                if (*result == StartResult::Started)
                    // Started and answering: the handing over no longer waits.
                    done = Hand(topic, commandLine, false);
                else
                    m_ui.MessageBox(StartFailureText(*result, program),
                                    QStringLiteral("Unable to send the DDE message"), MsgIcon::Warning,
                                    MsgButtons::Ok);
                if (sent)
                    sent(done);
            });
    starter->start();
}

bool CDdeSynchLauncher::Hand(const QString& topic, const QString& commandLine, bool bStartFirst)
{
    std::unique_ptr<CConversationClient> client;
    DdeSendOptions options;
    options.pKeepClient = &client;
    if (!SendDdeCommand(m_strProgramPath, kService, topic, commandLine, bStartFirst, m_ui, options))
        return false;
    // Conversations whose requests have ended are closed as new ones come.
    std::erase_if(m_clients, [](const auto& c) { return !c->IsConnected(); });
    connect(client.get(), &CConversationClient::adviseReceived, this,
            [this](const CConversationClient::Advise& a)
            { emit adviseReceived(a.topic, a.item, a.final, a.result); });
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

bool CDdeSynchLauncher::IsLastConnected() const
{
    return !m_clients.empty() && m_clients.back()->IsConnected();
}
