#include "common/ConversationServer.h"

#include <QLocalServer>
#include <QLocalSocket>

CConversationServer::CConversationServer(QString service, QObject* parent)
    : QObject(parent), m_service(std::move(service)), m_pServer(new QLocalServer(this))
{
    // No socket options: with them Qt binds elsewhere and renames the socket into place, which
    // would silently take the name from a live server. The folder is the owner's only anyway.
    connect(m_pServer, &QLocalServer::newConnection, this, &CConversationServer::OnNewConnection);
}

CConversationServer::~CConversationServer()
{
    Close();
}

bool CConversationServer::Listen(QString* pError)
{
    QString folderError;
    const QString path = ConversationServerPath(m_service, &folderError);
    if (path.isEmpty())
    {
        if (pError)
            *pError = folderError;
        return false;
    }
    if (m_pServer->listen(path))
        return true;
    if (m_pServer->serverError() == QAbstractSocket::AddressInUseError)
    {
        // Someone answering there is a live server; silence means a crashed one left its socket.
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(1000))
        {
            if (pError)
                *pError = QStringLiteral("Another server already serves %1").arg(m_service);
            return false;
        }
        QLocalServer::removeServer(path);
        if (m_pServer->listen(path))
            return true;
    }
    if (pError)
        *pError = m_pServer->errorString();
    return false;
}

namespace
{
constexpr int kCloseFlushMs = 1000;
} // namespace

void CConversationServer::StopListening()
{
    m_pServer->close();
}

void CConversationServer::Close()
{
    const QList<QLocalSocket*> sockets = m_connections.keys();
    m_connections.clear();
    for (QLocalSocket* socket : sockets)
    {
        socket->disconnect(this);
        // Notices already posted, a request's final one above all, reach their clients before the
        // program ends: an unattended run closes right after posting it.
        if (socket->state() == QLocalSocket::ConnectedState && socket->bytesToWrite() > 0)
        {
            socket->flush();
            if (socket->bytesToWrite() > 0)
                socket->waitForBytesWritten(kCloseFlushMs);
        }
        socket->abort();
        socket->deleteLater();
    }
    m_pServer->close();
}

void CConversationServer::OnNewConnection()
{
    while (QLocalSocket* socket = m_pServer->nextPendingConnection())
    {
        // Another user's program learns nothing here and can ask for nothing.
        if (!IsSameUserPeer(socket->socketDescriptor()))
        {
            ++m_nRefusedPeers;
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_connections.insert(socket, Connection());
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { Drop(socket); });
        if (socket->bytesAvailable() > 0)
            OnReadyRead(socket);
    }
}

void CConversationServer::Drop(QLocalSocket* socket)
{
    if (m_connections.remove(socket))
    {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void CConversationServer::Send(QLocalSocket* socket, const ConversationFrame& frame)
{
    socket->write(EncodeConversationFrame(frame));
}

void CConversationServer::OnReadyRead(QLocalSocket* socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    it->reader.Append(socket->readAll());
    for (;;)
    {
        ConversationFrame frame;
        const auto result = it->reader.Next(frame);
        if (result == CConversationFrameReader::Result::NeedMore)
            return;
        if (result == CConversationFrameReader::Result::Malformed)
        {
            Drop(socket);
            return;
        }
        const quint32 answer = Dispatch(socket, frame);
        // The handler may have closed the server; then the connection is gone too.
        it = m_connections.find(socket);
        if (it == m_connections.end())
            return;
        if (answer == kProtocolViolation)
        {
            Drop(socket);
            return;
        }
        Send(socket, {ConversationKind::Answer, frame.transactionId, answer, {}});
    }
}

quint32 CConversationServer::Dispatch(QLocalSocket* socket, const ConversationFrame& frame)
{
    Connection& connection = m_connections[socket];
    // Only a client may start a transaction, and only after connecting to a topic.
    if (frame.kind == ConversationKind::Connect)
    {
        if (connection.connected)
            return kProtocolViolation;
        connection.connected = true;
        connection.topic = frame.strings[0];
        return kDdeFAck;
    }
    if (!connection.connected || frame.kind == ConversationKind::Answer ||
        frame.kind == ConversationKind::AdviseData || frame.kind == ConversationKind::FinalAdvise)
        return kProtocolViolation;

    if (frame.kind == ConversationKind::AdviseStop)
    {
        const bool removed = connection.links.removeIf([&](const Link& l) { return l.item == frame.strings[0]; });
        return removed ? kDdeFAck : kDdeNotProcessed;
    }

    Transaction transaction{frame.kind, connection.topic, QString(), QString(), 0};
    if (frame.kind == ConversationKind::Poke)
    {
        transaction.item = frame.strings[0];
        transaction.data = frame.strings[1];
    }
    else if (frame.kind == ConversationKind::Execute)
        transaction.data = frame.strings[0];
    else
        transaction.item = frame.strings[0];
    // Embedded NULs never reach a handler: command lines are texts.
    transaction.item.remove(QChar(0));
    transaction.data.remove(QChar(0));
    if (frame.kind == ConversationKind::AdviseStart)
        transaction.linkId = m_nextLinkId++;

    // The handler may run an event loop (a message box): look the connection up again afterwards.
    const quint32 answer = m_handler ? m_handler(transaction) : kDdeNotProcessed;
    auto it = m_connections.find(socket);
    if (it != m_connections.end() && frame.kind == ConversationKind::AdviseStart && answer != kDdeNotProcessed &&
        answer != kDdeFBusy)
        it->links.append({transaction.linkId, transaction.item});
    return answer;
}

void CConversationServer::PostAdvise(const QString& topic, const QString& item)
{
    for (auto it = m_connections.begin(); it != m_connections.end(); ++it)
    {
        if (!topic.isEmpty() && it->topic != topic)
            continue;
        for (const Link& link : std::as_const(it->links))
            if (item.isEmpty() || link.item == item)
                Send(it.key(), {ConversationKind::AdviseData, 0, 0, {it->topic, link.item}});
    }
}

void CConversationServer::PostFinalAdvise(quint64 linkId, quint32 result)
{
    for (auto it = m_connections.begin(); it != m_connections.end(); ++it)
        for (const Link& link : std::as_const(it->links))
            if (link.id == linkId)
            {
                Send(it.key(), {ConversationKind::FinalAdvise, 0, result, {it->topic, link.item}});
                return;
            }
}
