#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// The one exception the database engine layer throws. The code is the Jet-style engine error
// number that every retry policy decides by (3026 disk full, 3343 not a database, the locking
// family ...); the description is the engine's own text, shown to the person and logged.
class CDbException final : public std::exception
{
public:
    CDbException(long nErrorCode, QString strDescription);

    const char* what() const noexcept override { return m_utf8.constData(); }

    long m_nErrorCode;
    QString m_strDescription;

private:
    QByteArray m_utf8;
};
