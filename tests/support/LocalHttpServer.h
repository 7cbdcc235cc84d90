#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// A web server on 127.0.0.1 that answers every GET with one prepared answer, on the test's own
// event loop (tests wait for Requests() with QTest::qWaitFor). Silent() makes it take connections and never
// answer, as a hung server would.
class CLocalHttpServer final : public QObject
{
public:
    CLocalHttpServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, &CLocalHttpServer::OnConnection);
        m_bListening = m_server.listen(QHostAddress::LocalHost);
    }

    bool IsListening() const { return m_bListening; }
    QUrl Url(const QString& path = QStringLiteral("/products/quarrane/version.rtf")) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }

    void Answer(int status, const QByteArray& body)
    {
        m_status = status;
        m_body = body;
        m_bSilent = false;
    }
    void Silent() { m_bSilent = true; }

    int Connections() const { return m_connections; }
    int Requests() const { return m_requests; }

private:
    void OnConnection()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection())
        {
            ++m_connections;
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this,
                    [this, socket]
                    {
                        m_requestText[socket] += socket->readAll();
                        if (!m_requestText[socket].contains("\r\n\r\n"))
                            return;
                        m_requestText.remove(socket);
                        ++m_requests;
                        if (m_bSilent)
                            return;
                        const QByteArray reason = m_status == 200 ? "OK" : "Not Found";
                        socket->write("HTTP/1.1 " + QByteArray::number(m_status) + ' ' + reason +
                                      "\r\nContent-Type: application/rtf\r\nContent-Length: " +
                                      QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n");
                        socket->write(m_body);
                        socket->disconnectFromHost();
                    });
        }
    }

    QTcpServer m_server;
    bool m_bListening = false;
    bool m_bSilent = false;
    int m_status = 200;
    QByteArray m_body;
    int m_connections = 0;
    int m_requests = 0;
    QHash<QTcpSocket*, QByteArray> m_requestText;
};
