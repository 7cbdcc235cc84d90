#include "database/TemplateDatabase.h"

#include "common/DbException.h"
#include "database/DbDatabase.h"

#include <QFile>
#include <QSaveFile>

QByteArray TemplateDatabaseBytes()
{
    QFile resource(QStringLiteral(":/quarrane/template.qrl"));
    return resource.open(QIODevice::ReadOnly) ? resource.readAll() : QByteArray();
}

bool WriteTemplateDatabase(const QString& path, QString* errorText)
{
    const QByteArray bytes = TemplateDatabaseBytes();
    QSaveFile file(path);
    if (bytes.isEmpty())
    {
        if (errorText)
            *errorText = QStringLiteral("The template database is missing from the program.");
        return false;
    }
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
    {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }
    for (const char* suffix : {"-wal", "-shm", "-journal"})
        QFile::remove(path + QLatin1String(suffix));
    return true;
}

QString ServerTemplateScript()
{
    QFile resource(QStringLiteral(":/quarrane/template-server.sql"));
    return resource.open(QIODevice::ReadOnly) ? QString::fromUtf8(resource.readAll()) : QString();
}

bool CreateServerCatalogue(const QString& address, QString* errorText)
{
    const QString script = ServerTemplateScript();
    try
    {
        if (script.isEmpty())
            throw CDbException(0, QStringLiteral("The template database is missing from the program."));
        CDbDatabase db;
        db.CreateOnServer(address, script);
        return true;
    }
    catch (const CDbException& e)
    {
        if (errorText)
            *errorText = e.m_strDescription;
        return false;
    }
}
