#pragma once

#include "common/ConversationServer.h"

#include <QEventLoop>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// A server on a thread of its own with an event loop, as the synchronizer's GUI thread would be;
// clients block on the test's thread.
class ServerThread final
{
public:
    explicit ServerThread(const QString& service)
    {
        QSemaphore ready;
        m_thread.reset(QThread::create(
            [this, service, &ready]
            {
                CConversationServer server(service);
                m_bListening = server.Listen();
                server.SetHandler(
                    [this](const CConversationServer::Transaction& t)
                    {
                        std::lock_guard lock(m_mutex);
                        m_transactions.push_back(t);
                        if (t.item == QStringLiteral("busy") || (t.kind == ConversationKind::AdviseStart &&
                                                                 m_nBusyAnswers > 0 && m_nBusyAnswers-- > 0))
                            return quint32(kDdeFBusy);
                        return quint32(kDdeFAck);
                    });
                m_pServer = &server;
                ready.release();
                QEventLoop loop;
                loop.exec();
                m_pServer = nullptr;
            }));
        m_thread->start();
        ready.acquire();
    }
    ~ServerThread()
    {
        m_thread->quit();
        m_thread->wait();
    }

    // Runs f on the server's thread and waits for it.
    template <typename F> void OnServer(F f)
    {
        QMetaObject::invokeMethod(
            m_pServer, [this, f] { f(*m_pServer); }, Qt::BlockingQueuedConnection);
    }
    std::vector<CConversationServer::Transaction> Transactions()
    {
        std::lock_guard lock(m_mutex);
        return m_transactions;
    }
    bool Listening() const { return m_bListening; }
    // The next n advise-starts are answered busy, as by a server starting up or ending.
    void AnswerBusy(int n) { m_nBusyAnswers = n; }

private:
    std::unique_ptr<QThread> m_thread;
    CConversationServer* m_pServer = nullptr;
    std::atomic<bool> m_bListening{false};
    std::atomic<int> m_nBusyAnswers{0};
    std::mutex m_mutex;
    std::vector<CConversationServer::Transaction> m_transactions;
};

// A runtime folder of the test's own for as long as it lives, so that its conversation services
// meet no other program's.
class CPrivateRuntimeDir final
{
public:
    CPrivateRuntimeDir() { qputenv("QUARRANE_RUNTIME_DIR", m_dir.path().toUtf8()); }
    ~CPrivateRuntimeDir() { qunsetenv("QUARRANE_RUNTIME_DIR"); }
    CPrivateRuntimeDir(const CPrivateRuntimeDir&) = delete;
    CPrivateRuntimeDir& operator=(const CPrivateRuntimeDir&) = delete;

    bool IsValid() const { return m_dir.isValid(); }
    QString FilePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};
