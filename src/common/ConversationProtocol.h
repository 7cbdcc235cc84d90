#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The conversation layer: the synchronizer's server and its clients talk over one local socket per
// service and user, keeping the meaning of a DDE conversation (connect to a service and topic,
// advise-start with an item, execute, poke; FACK/FBUSY answers; advise data to linked clients).
//
// Wire format, version 1. Every message is one frame:
//
//     u32  length of the rest of the frame, big-endian (at most kMaxFrameBytes)
//     u8   format version (1)
//     u8   kind (ConversationKind)
//     u32  transaction id, big-endian: chosen by the client, echoed in the answer; 0 in advise data
//     u32  value, big-endian: the answer code of an Answer, the result code of a FinalAdvise, else 0
//     then exactly as many strings as the kind has (see StringCount), each
//     u32  byte length, big-endian, followed by that many bytes of UTF-8
//
// A frame that is longer than the limit, of another version or kind, or whose strings do not fill
// it exactly is malformed: the receiver closes that connection and nothing else is affected.
// Frames may arrive in any number of pieces.

enum class ConversationKind : quint8
{
    Connect = 1,     // client: topic
    AdviseStart = 2, // client: item
    AdviseStop = 3,  // client: item
    Execute = 4,     // client: data
    Poke = 5,        // client: item, data
    Answer = 0x81,   // server: the answer to the client's transaction, value = answer code
    AdviseData = 0x82, // server: topic, item of a link, after progress
    FinalAdvise = 0x83, // server: topic, item of a link whose request has ended, value = result code
};

// Answer codes, with DDE's values.
enum : quint32
{
    kDdeNotProcessed = 0x0000,
    kDdeFBusy = 0x4000,
    kDdeFAck = 0x8000,
};

// Client-side error codes, with DDEML's values, so that the error texts apply unchanged.
enum : quint32
{
    kDmlErrAdvAckTimeout = 0x4000,
    kDmlErrBusy = 0x4001,
    kDmlErrExecAckTimeout = 0x4005,
    kDmlErrNotProcessed = 0x4009,
    kDmlErrNoConvEstablished = 0x400A,
    kDmlErrPokeAckTimeout = 0x400B,
    kDmlErrUnadvAckTimeout = 0x4010,
    kDmlErrServerDied = 0x400E,
};

constexpr quint8 kConversationVersion = 1;
constexpr qsizetype kMaxFrameBytes = 1 << 20;

struct ConversationFrame
{
    ConversationKind kind = ConversationKind::Connect;
    quint32 transactionId = 0;
    quint32 value = 0;
    QStringList strings;
};

int ConversationStringCount(ConversationKind kind);

QByteArray EncodeConversationFrame(const ConversationFrame& frame);

// Collects bytes as they arrive and hands out whole frames.
class CConversationFrameReader final
{
public:
    enum class Result
    {
        Frame,
        NeedMore,
        Malformed,
    };

    void Append(const QByteArray& bytes) { m_buffer.append(bytes); }
    Result Next(ConversationFrame& frame);

private:
    QByteArray m_buffer;
};

// The local socket path of a service for the current user: below $QUARRANE_RUNTIME_DIR when set
// (tests keep their servers apart with it), else $XDG_RUNTIME_DIR/quarrane, else
// <temp>/quarrane-<login name>. The folder is created with access for its owner only; a folder
// that is a link, belongs to another user or is open to others is refused: the result is empty
// and *pError says why.
QString ConversationServerPath(const QString& service, QString* pError = nullptr);

// Whether the process at the other end of a connected local socket runs as the same user as this
// one: a server never serves, and a client never talks to, another user's process.
bool IsSameUserPeer(qintptr socketDescriptor);
