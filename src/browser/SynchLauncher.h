#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CConversationClient;
class CUserInteraction;
class QThread;

// Hands a command line to the synchronizer. The document talks to this, so that tests can see
// exactly what would be sent without starting anything.
class CSynchLauncher : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~CSynchLauncher() override = default;

    // True when the command line reached the synchronizer.
    virtual bool Send(const QString& topic, const QString& commandLine) = 0;
    // Sends without holding the caller while the synchronizer starts, where the launcher can;
    // sent is called on the caller's thread with Send's answer. By default, Send in place.
    virtual void Post(const QString& topic, const QString& commandLine, std::function<void(bool)> sent)
    {
        const bool done = Send(topic, commandLine);
        if (sent)
            sent(done);
    }

signals:
    // Advise data from the synchronizer about one of our command lines.
    void adviseReceived(const QString& topic, const QString& item, bool final, quint32 result);
};

// The real one: starts quarranesynch from our own folder first, then advise-starts the command
// line on its topic and keeps the conversation, to hear of progress and of the end.
class CDdeSynchLauncher final : public CSynchLauncher
{
    Q_OBJECT

public:
    CDdeSynchLauncher(CUserInteraction& ui, QString programPath, QObject* parent = nullptr);
    ~CDdeSynchLauncher() override;

    bool Send(const QString& topic, const QString& commandLine) override;
    // In the background mode the program is started and waited for (up to 40 s) on a worker
    // thread, and the command line handed over once it answers; otherwise as Send.
    void Post(const QString& topic, const QString& commandLine, std::function<void(bool)> sent) override;
    void SetStartInBackground(bool background) { m_bStartInBackground = background; }

    // Waits for the final notice of the last command line sent; its result, or nothing when the
    // synchronizer went away or the time ran out.
    std::optional<quint32> WaitForLastFinal(int timeoutMs);
    // Whether the conversation of the last command line is still open: a wait that ran out of
    // time may be tried again while it is.
    bool IsLastConnected() const;
    int SentCount() const { return m_nSent; }

private:
    CUserInteraction& m_ui;
    QString m_strProgramPath;
    bool Hand(const QString& topic, const QString& commandLine, bool bStartFirst);

    std::vector<std::unique_ptr<CConversationClient>> m_clients;
    std::vector<QThread*> m_starters;
    int m_nSent = 0;
    bool m_bStartInBackground = false;
};
