#include "database/FileIdentity.h"

#include "database/DbDatabase.h"
#include "database/DbStatement.h"

#include <QRegularExpression>

QString FileIdentity::Text(quint64 device, quint64 inode)
{
    return QString::number(device) + QLatin1Char(':') + QString::number(inode);
}

void FileIdentity::EnsureTable(CDbDatabase& db)
{
    db.ExecuteSqliteScript(QStringLiteral(
        "CREATE TABLE IF NOT EXISTS \"FileIdentity\" (\n"
        "  \"FileId\" INTEGER NOT NULL CONSTRAINT \"FileIdentity_FileId\" PRIMARY KEY\n"
        "    REFERENCES \"File\" (\"FileId\") ON UPDATE CASCADE ON DELETE CASCADE,\n"
        "  \"Identity\" TEXT NOT NULL /* device:inode of a file with several names */\n"
        ");\n"
        "CREATE INDEX IF NOT EXISTS \"FileIdentity_Identity\" ON \"FileIdentity\" (\"Identity\");"));
}

bool FileIdentity::HasTable(CDbDatabase& db)
{
    CDbStatement table = db.PrepareSqlite(
        db.IsServer()
            ? QStringLiteral("SELECT 1 FROM pg_class WHERE relkind = 'r' AND relname = 'FileIdentity' AND "
                             "relnamespace = current_schema()::regnamespace")
            : QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'FileIdentity'"));
    return table.Step();
}

int FileIdentity::ColumnLengthLimit(CDbDatabase& db, const QString& table, const QString& column,
                                    int fallback)
{
    // The table's rules as text: its statement in a file, its check constraints on a server.
    CDbStatement schema = db.PrepareSqlite(
        db.IsServer()
            ? QStringLiteral(
                  "SELECT string_agg(pg_get_constraintdef(c.oid), ' ') FROM pg_constraint c JOIN pg_class t "
                  "ON t.oid = c.conrelid WHERE c.contype = 'c' AND t.relname = ?::text COLLATE \"C\" AND "
                  "t.relnamespace = current_schema()::regnamespace HAVING count(*) > 0")
            : QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?"));
    schema.Bind(1, table);
    if (!schema.Step())
        return fallback;
    const QRegularExpression check(
        QStringLiteral("length\\(\\s*\\(?\\s*\"?%1\"?\\s*\\)?(::text)?\\s*\\)\\s*<=\\s*(?<limit>\\d+)")
            .arg(QRegularExpression::escape(column)),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = check.match(schema.Value(0).ToString());
    bool ok = false;
    const int limit = match.hasMatch() ? match.captured(QStringLiteral("limit")).toInt(&ok) : 0;
    return ok && limit > 0 ? limit : fallback;
}
