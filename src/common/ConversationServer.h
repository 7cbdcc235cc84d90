#pragma once

#include "common/ConversationProtocol.h"

#include <QHash>
#include <QObject>

#include <functional>

class QLocalServer;
class QLocalSocket;

// The server side of a conversation service. Every transaction a client sends after connecting to
// a topic is handed to the handler, whose answer code goes back to the client. An advise-start the
// handler acknowledges opens an advise link: PostAdvise sends advise data to every linked client,
// and PostFinalAdvise tells one link that its request has ended, with the result code.
class CConversationServer final : public QObject
{
    Q_OBJECT

public:
    struct Transaction
    {
        ConversationKind kind;
        QString topic;
        QString item; // the advise item or poke item
        QString data; // execute or poke data
        quint64 linkId; // identifies the advise link an acknowledged advise-start opens
    };
    using Handler = std::function<quint32(const Transaction&)>;

    explicit CConversationServer(QString service, QObject* parent = nullptr);
    ~CConversationServer() override;

    // Starts listening; a socket left behind by a crashed server is removed first. False (with the
    // reason) when another live server holds the name or the socket cannot be made.
    bool Listen(QString* pError = nullptr);
    void Close();
    // New clients are no longer taken; those connected keep their conversations.
    void StopListening();

    void SetHandler(Handler handler) { m_handler = std::move(handler); }

    // Advise data for every link (of the topic and item, when given).
    void PostAdvise(const QString& topic = QString(), const QString& item = QString());
    // The final notice of one link; the link stays open until its client closes it.
    void PostFinalAdvise(quint64 linkId, quint32 result);

    int ConnectionCount() const { return static_cast<int>(m_connections.size()); }
    // Connections dropped at once because their peer runs as another user.
    int RefusedPeerCount() const { return m_nRefusedPeers; }

private:
    struct Link
    {
        quint64 id;
        QString item;
    };
    struct Connection
    {
        CConversationFrameReader reader;
        QString topic;
        bool connected = false;
        QList<Link> links;
    };

    void OnNewConnection();
    void OnReadyRead(QLocalSocket* socket);
    void Drop(QLocalSocket* socket);
    void Send(QLocalSocket* socket, const ConversationFrame& frame);
    static constexpr quint32 kProtocolViolation = ~0u;
    quint32 Dispatch(QLocalSocket* socket, const ConversationFrame& frame);

    QString m_service;
    QLocalServer* m_pServer;
    Handler m_handler;
    QHash<QLocalSocket*, Connection> m_connections;
    quint64 m_nextLinkId = 1;
    int m_nRefusedPeers = 0;
};
