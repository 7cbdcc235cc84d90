#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <unordered_map>
#include <vector>

class CPgConnection;
struct sqlite3;
struct sqlite3_stmt;

// Inside the engine layer only: one open SQLite connection (or server connection), shared by the
// database object and the statements prepared on it, so that a statement never outlives the
// handle it runs on.
class CDbConnection final
{
public:
    struct StmtDeleter
    {
        void operator()(sqlite3_stmt* stmt) const;
    };
    using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtDeleter>;

    explicit CDbConnection(sqlite3* db) : m_db(db) {}
    explicit CDbConnection(std::unique_ptr<CPgConnection> server);
    ~CDbConnection();
    CDbConnection(const CDbConnection&) = delete;
    CDbConnection& operator=(const CDbConnection&) = delete;

    sqlite3* Handle() const { return m_db; }
    // The server connection of a catalogue on a server; nullptr for a file.
    CPgConnection* Server() const { return m_server.get(); }
    bool IsOpen() const { return m_db != nullptr || m_server != nullptr; }
    void Close();

    // A prepared statement for SQLite text: an idle one from the cache, else a new one.
    StmtPtr Acquire(const QString& sqliteSql);
    // Gives a statement back for reuse (reset, bindings cleared).
    void Release(const QString& sqliteSql, StmtPtr stmt);
    int CachedStatementCount() const;

    // The name GetUserName() returns in SQL run on this connection (UTF-8, kept alive here).
    QByteArray m_userNameUtf8;

private:
    sqlite3* m_db = nullptr;
    std::unique_ptr<CPgConnection> m_server;
    struct TextHash
    {
        size_t operator()(const QString& text) const { return qHash(text); }
    };
    std::unordered_map<QString, std::vector<StmtPtr>, TextHash> m_idle;
};
