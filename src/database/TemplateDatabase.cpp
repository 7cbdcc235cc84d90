#include "database/TemplateDatabase.h"

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
