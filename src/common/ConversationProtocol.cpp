#include "common/ConversationProtocol.h"

#include "platform/PrivateFolder.h"
#include "platform/ProgramInfo.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

int ConversationStringCount(ConversationKind kind)
{
    switch (kind)
    {
    case ConversationKind::Connect:
    case ConversationKind::AdviseStart:
    case ConversationKind::AdviseStop:
    case ConversationKind::Execute:
        return 1;
    case ConversationKind::Poke:
    case ConversationKind::AdviseData:
    case ConversationKind::FinalAdvise:
        return 2;
    case ConversationKind::Answer:
        return 0;
    }
    return -1;
}

namespace
{
void AppendU32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

quint32 ReadU32(const char* p)
{
    return qFromBigEndian<quint32>(p);
}

bool KnownKind(quint8 kind)
{
    return ConversationStringCount(static_cast<ConversationKind>(kind)) >= 0;
}
} // namespace

QByteArray EncodeConversationFrame(const ConversationFrame& frame)
{
    QByteArray body;
    body.append(static_cast<char>(kConversationVersion));
    body.append(static_cast<char>(frame.kind));
    AppendU32(body, frame.transactionId);
    AppendU32(body, frame.value);
    for (const QString& s : frame.strings)
    {
        const QByteArray utf8 = s.toUtf8();
        AppendU32(body, static_cast<quint32>(utf8.size()));
        body.append(utf8);
    }
    QByteArray out;
    AppendU32(out, static_cast<quint32>(body.size()));
    return out + body;
}

CConversationFrameReader::Result CConversationFrameReader::Next(ConversationFrame& frame)
{
    if (m_buffer.size() < 4)
        return Result::NeedMore;
    const quint32 length = ReadU32(m_buffer.constData());
    if (length > kMaxFrameBytes || length < 10)
        return Result::Malformed;
    if (m_buffer.size() < 4 + static_cast<qsizetype>(length))
        return Result::NeedMore;

    const char* p = m_buffer.constData() + 4;
    const char* end = p + length;
    if (static_cast<quint8>(p[0]) != kConversationVersion || !KnownKind(static_cast<quint8>(p[1])))
        return Result::Malformed;
    frame.kind = static_cast<ConversationKind>(static_cast<quint8>(p[1]));
    frame.transactionId = ReadU32(p + 2);
    frame.value = ReadU32(p + 6);
    frame.strings.clear();
    p += 10;
    for (int i = 0; i < ConversationStringCount(frame.kind); ++i)
    {
        if (end - p < 4)
            return Result::Malformed;
        const quint32 size = ReadU32(p);
        p += 4;
        if (size > static_cast<quint32>(end - p))
            return Result::Malformed;
        frame.strings.append(QString::fromUtf8(p, size));
        p += size;
    }
    if (p != end)
        return Result::Malformed;
    m_buffer.remove(0, 4 + length);
    return Result::Frame;
}

QString ConversationServerPath(const QString& service, QString* pError)
{
    QString folder = qEnvironmentVariable("QUARRANE_RUNTIME_DIR");
    if (folder.isEmpty())
    {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        folder = !runtime.isEmpty() && QDir(runtime).exists()
                     ? runtime + QStringLiteral("/quarrane")
                     : QDir::tempPath() + QStringLiteral("/quarrane-") + CurrentLoginName();
    }
    // Whoever can reach the folder can put a socket of their own in place of ours.
    if (!EnsurePrivateFolder(folder, pError))
        return QString();
    return QDir(folder).filePath(service);
}

bool IsSameUserPeer(qintptr socketDescriptor)
{
    const std::optional<uint> peer = LocalSocketPeerUserId(socketDescriptor);
    return peer && *peer == CurrentUserId();
}
