// A conversation peer for tests that run it as another user:
//
//   conversation_peer serve PATH   listens at PATH, answers every frame with FACK, prints
//                                  "listening" once ready and "received N" for every N bytes read
//   conversation_peer send PATH    connects to PATH, sends a connect and an execute frame and
//                                  prints "answered" when an answer comes back, else "dropped"
#include "common/ConversationProtocol.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>

#include <cstdio>

namespace
{
int Serve(const QString& path)
{
    QLocalServer server;
    QLocalServer::removeServer(path);
    server.setSocketOptions(QLocalServer::WorldAccessOption);
    if (!server.listen(path))
    {
        std::fprintf(stderr, "cannot listen at %s: %s\n", qPrintable(path), qPrintable(server.errorString()));
        return 1;
    }
    std::printf("listening\n");
    std::fflush(stdout);
    QObject::connect(&server, &QLocalServer::newConnection,
                     [&server]
                     {
                         while (QLocalSocket* socket = server.nextPendingConnection())
                         {
                             auto* reader = new CConversationFrameReader;
                             QObject::connect(
                                 socket, &QLocalSocket::readyRead, socket,
                                 [socket, reader]
                                 {
                                     const QByteArray bytes = socket->readAll();
                                     std::printf("received %lld\n", static_cast<long long>(bytes.size()));
                                     std::fflush(stdout);
                                     reader->Append(bytes);
                                     ConversationFrame frame;
                                     while (reader->Next(frame) == CConversationFrameReader::Result::Frame)
                                         socket->write(EncodeConversationFrame(
                                             {ConversationKind::Answer, frame.transactionId, kDdeFAck, {}}));
                                 });
                             QObject::connect(socket, &QLocalSocket::disconnected, socket,
                                              [socket, reader]
                                              {
                                                  delete reader;
                                                  socket->deleteLater();
                                              });
                         }
                     });
    return QCoreApplication::exec();
}

int Send(const QString& path)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(5000))
    {
        std::printf("unreachable\n");
        return 0;
    }
    socket.write(EncodeConversationFrame({ConversationKind::Connect, 1, 0, {QStringLiteral("CmdLine")}}));
    socket.write(EncodeConversationFrame({ConversationKind::Execute, 2, 0, {QStringLiteral("-Database=x")}}));
    socket.flush();
    CConversationFrameReader reader;
    while (socket.waitForReadyRead(3000))
    {
        reader.Append(socket.readAll());
        ConversationFrame frame;
        if (reader.Next(frame) == CConversationFrameReader::Result::Frame &&
            frame.kind == ConversationKind::Answer)
        {
            std::printf("answered\n");
            return 0;
        }
    }
    std::printf("dropped\n");
    return 0;
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString path = QString::fromLocal8Bit(argv[2]);
    if (qstrcmp(argv[1], "serve") == 0)
        return Serve(path);
    if (qstrcmp(argv[1], "send") == 0)
        return Send(path);
    return 2;
}
