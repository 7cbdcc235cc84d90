#pragma once

#include "PostgresServer.h"
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"

#include <QString>

// The test program's server catalogues, for GoogleTest and Qt Test programs alike.

// Why a test cannot have the test program's server; empty when it can.
inline QString ServerSkipReason()
{
    if (!CDbDatabase::ServerSupportAvailable())
        return QStringLiteral("PostgreSQL is not installed (built without libpq)");
    return CTestPostgresServer::Instance().Available() ? QString() : CTestPostgresServer::Instance().Reason();
}

// A fresh catalogue on the server of the test program: a copy of a catalogue created once, since
// creating the schema and its queries takes longer than copying it. Empty when the tests cannot
// have a server (*skipReason says why) or the catalogue could not be made (*error says why).
inline QString NewServerCatalogue(QString* skipReason, QString* error)
{
    *skipReason = ServerSkipReason();
    if (!skipReason->isEmpty())
        return QString();
    CTestPostgresServer& server = CTestPostgresServer::Instance();
    // On the run's shared server, the first test process to make the catalogue leaves it under
    // one name for the others.
    const QString shared = server.AddressOf(QStringLiteral("quarrane_catalogue"));
    if (server.Shared())
    {
        const QString copy = server.CopyDatabase(shared);
        if (!copy.isEmpty())
            return copy;
    }
    static QString creationError;
    static QString original = [&server]
    {
        const QString address = server.NewDatabase();
        if (address.isEmpty())
            creationError = QStringLiteral("createdb failed");
        else if (!CreateServerCatalogue(address, &creationError))
            return QString();
        return address;
    }();
    if (server.Shared() && !original.isEmpty() && original != shared &&
        server.RenameDatabase(original, QStringLiteral("quarrane_catalogue")))
        original = shared;
    const QString copy = original.isEmpty() ? QString() : server.CopyDatabase(original);
    if (copy.isEmpty())
        *error = original.isEmpty() ? creationError : QStringLiteral("createdb could not copy the catalogue");
    return copy;
}
