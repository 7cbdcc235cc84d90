#pragma once

#include "common/ConversationProtocol.h"

#include <QHash>
#include <QObject>

#include <optional>

class QLocalSocket;

// The client side of a conversation. Calls block until answered or timed out, so they work with
// or without a running event loop; advise data that arrives meanwhile is kept and signalled.
class CConversationClient final : public QObject
{
    Q_OBJECT

public:
    struct Advise
    {
        QString topic;
        QString item;
        bool final;
        quint32 result;
    };

    explicit CConversationClient(QObject* parent = nullptr);
    ~CConversationClient() override;

    // Connects to a service and topic; false (LastError() says why) when nobody serves it.
    bool Connect(const QString& service, const QString& topic, int timeoutMs = 5000);
    bool IsConnected() const;
    void Disconnect();

    // Each returns the server's answer code (kDdeFAck, kDdeFBusy ...), or nothing when the
    // transaction could not be completed (LastError() says why).
    std::optional<quint32> AdviseStart(const QString& item, int timeoutMs = 5000);
    std::optional<quint32> AdviseStop(const QString& item, int timeoutMs = 5000);
    std::optional<quint32> Execute(const QString& data, int timeoutMs = 5000);
    std::optional<quint32> Poke(const QString& item, const QString& data, int timeoutMs = 5000);

    // Waits for the final notice of an advise link; its result code, or nothing on time-out or
    // when the server went away.
    std::optional<quint32> WaitForFinalAdvise(int timeoutMs);

    // Advise data received so far and not yet taken.
    QList<Advise> TakeAdvises();

    // The DDEML-style code of the last failure (kDmlErrNoConvEstablished ...), 0 when none.
    quint32 LastError() const { return m_lastError; }
    // Why the last Connect failed, when there is more to say than the code (a refused socket
    // folder, a peer of another user); empty otherwise.
    QString LastErrorText() const { return m_strLastErrorText; }

signals:
    void adviseReceived(const CConversationClient::Advise& advise);

private:
    std::optional<quint32> Transact(ConversationKind kind, const QStringList& strings, int timeoutMs,
                                    quint32 timeoutError);
    void ReadAvailable();
    void LogRefusal() const;

    static constexpr qsizetype kMaxKeptAdvises = 256;

    QLocalSocket* m_pSocket;
    CConversationFrameReader m_reader;
    quint32 m_nextTransactionId = 1;
    QHash<quint32, quint32> m_answers;
    QList<Advise> m_advises;
    bool m_bBroken = false;
    quint32 m_lastError = 0;
    QString m_strLastErrorText;
};
