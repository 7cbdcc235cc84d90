#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class CConversationClient;
class CUserInteraction;

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

    // Waits for the final notice of the last command line sent; its result, or nothing when the
    // synchronizer went away or the time ran out.
    std::optional<quint32> WaitForLastFinal(int timeoutMs);
    int SentCount() const { return m_nSent; }

private:
    CUserInteraction& m_ui;
    QString m_strProgramPath;
    std::vector<std::unique_ptr<CConversationClient>> m_clients;
    int m_nSent = 0;
};
