#include "common/ConversationClient.h"

#include "common/ErrorLog.h"

#include <QDeadlineTimer>
#include <QLocalSocket>

CConversationClient::CConversationClient(QObject* parent) : QObject(parent), m_pSocket(new QLocalSocket(this))
{
    connect(m_pSocket, &QLocalSocket::readyRead, this, &CConversationClient::ReadAvailable);
}

CConversationClient::~CConversationClient()
{
    Disconnect();
}

bool CConversationClient::Connect(const QString& service, const QString& topic, int timeoutMs)
{
    Disconnect();
    m_bBroken = false;
    m_reader = CConversationFrameReader();
    m_strLastErrorText.clear();
    const QString path = ConversationServerPath(service, &m_strLastErrorText);
    if (path.isEmpty())
    {
        LogRefusal();
        m_lastError = kDmlErrNoConvEstablished;
        return false;
    }
    m_pSocket->connectToServer(path);
    if (!m_pSocket->waitForConnected(timeoutMs))
    {
        m_pSocket->abort();
        m_lastError = kDmlErrNoConvEstablished;
        return false;
    }
    // Not a word, not even the topic, to a program of another user that answers there.
    if (!IsSameUserPeer(m_pSocket->socketDescriptor()))
    {
        m_pSocket->abort();
        m_strLastErrorText =
            QStringLiteral("The program answering at %1 runs as another user; nothing was sent to it.")
                .arg(path);
        LogRefusal();
        m_lastError = kDmlErrNoConvEstablished;
        return false;
    }
    const auto answer = Transact(ConversationKind::Connect, {topic}, timeoutMs, kDmlErrNoConvEstablished);
    if (answer != kDdeFAck)
    {
        m_pSocket->abort();
        m_lastError = kDmlErrNoConvEstablished;
        return false;
    }
    m_lastError = 0;
    return true;
}

void CConversationClient::LogRefusal() const
{
    // In the log only: the caller shows the reason (LastErrorText) in its own words.
    AppendErrorLogLine(FormatErrorLogLine(QStringLiteral(__FILE__), __LINE__, m_strLastErrorText,
                                          QStringLiteral("CConversationClient::Connect()")));
}

bool CConversationClient::IsConnected() const
{
    return m_pSocket->state() == QLocalSocket::ConnectedState && !m_bBroken;
}

void CConversationClient::Disconnect()
{
    if (m_pSocket->state() != QLocalSocket::UnconnectedState)
    {
        m_pSocket->disconnectFromServer();
        if (m_pSocket->state() != QLocalSocket::UnconnectedState)
            m_pSocket->waitForDisconnected(1000);
    }
}

std::optional<quint32> CConversationClient::AdviseStart(const QString& item, int timeoutMs)
{
    return Transact(ConversationKind::AdviseStart, {item}, timeoutMs, kDmlErrAdvAckTimeout);
}

std::optional<quint32> CConversationClient::AdviseStop(const QString& item, int timeoutMs)
{
    return Transact(ConversationKind::AdviseStop, {item}, timeoutMs, kDmlErrUnadvAckTimeout);
}

std::optional<quint32> CConversationClient::Execute(const QString& data, int timeoutMs)
{
    return Transact(ConversationKind::Execute, {data}, timeoutMs, kDmlErrExecAckTimeout);
}

std::optional<quint32> CConversationClient::Poke(const QString& item, const QString& data, int timeoutMs)
{
    return Transact(ConversationKind::Poke, {item, data}, timeoutMs, kDmlErrPokeAckTimeout);
}

std::optional<quint32> CConversationClient::Transact(ConversationKind kind, const QStringList& strings,
                                                     int timeoutMs, quint32 timeoutError)
{
    if (m_pSocket->state() != QLocalSocket::ConnectedState || m_bBroken)
    {
        m_lastError = kDmlErrNoConvEstablished;
        return std::nullopt;
    }
    const quint32 id = m_nextTransactionId++;
    m_pSocket->write(EncodeConversationFrame({kind, id, 0, strings}));
    m_pSocket->flush();

    QDeadlineTimer deadline(timeoutMs);
    while (!m_answers.contains(id))
    {
        if (m_bBroken || m_pSocket->state() != QLocalSocket::ConnectedState)
        {
            m_lastError = kDmlErrServerDied;
            return std::nullopt;
        }
        if (deadline.hasExpired())
        {
            m_lastError = timeoutError;
            return std::nullopt;
        }
        if (!m_pSocket->waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime()))))
            ReadAvailable(); // also notices a closed socket
    }
    const quint32 answer = m_answers.take(id);
    m_lastError = 0;
    if (answer == kDdeFBusy)
        m_lastError = kDmlErrBusy;
    else if (answer == kDdeNotProcessed)
        m_lastError = kDmlErrNotProcessed;
    return answer;
}

std::optional<quint32> CConversationClient::WaitForFinalAdvise(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;)
    {
        for (qsizetype i = 0; i < m_advises.size(); ++i)
            if (m_advises[i].final)
                return m_advises.takeAt(i).result;
        if (m_bBroken || m_pSocket->state() != QLocalSocket::ConnectedState || deadline.hasExpired())
            return std::nullopt;
        m_pSocket->waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        ReadAvailable();
    }
}

QList<CConversationClient::Advise> CConversationClient::TakeAdvises()
{
    return std::exchange(m_advises, {});
}

void CConversationClient::ReadAvailable()
{
    m_reader.Append(m_pSocket->readAll());
    for (;;)
    {
        ConversationFrame frame;
        const auto result = m_reader.Next(frame);
        if (result == CConversationFrameReader::Result::NeedMore)
            return;
        if (result == CConversationFrameReader::Result::Malformed)
        {
            m_bBroken = true;
            m_pSocket->abort();
            return;
        }
        switch (frame.kind)
        {
        case ConversationKind::Answer:
            m_answers.insert(frame.transactionId, frame.value);
            break;
        case ConversationKind::AdviseData:
        case ConversationKind::FinalAdvise:
        {
            const Advise advise{frame.strings[0], frame.strings[1], frame.kind == ConversationKind::FinalAdvise,
                                frame.value};
            // Nobody may be taking them (a client that only listens to the signal): keep the
            // newest, and every final notice.
            if (m_advises.size() >= kMaxKeptAdvises)
                m_advises.removeIf([](const Advise& a) { return !a.final; });
            m_advises.append(advise);
            emit adviseReceived(advise);
            break;
        }
        default:
            // A server never sends client transactions.
            m_bBroken = true;
            m_pSocket->abort();
            return;
        }
    }
}
