#pragma once

class CDbDatabase;

// A transaction for as long as it lives: Commit() makes it durable, anything else (an exception,
// an early return) rolls it back. Never throws from its destructor.
class CDbTransaction final
{
public:
    explicit CDbTransaction(CDbDatabase& db, bool immediate = true);
    ~CDbTransaction();
    CDbTransaction(const CDbTransaction&) = delete;
    CDbTransaction& operator=(const CDbTransaction&) = delete;

    void Commit();

private:
    CDbDatabase& m_db;
    bool m_bOpen = true;
};
