// qrl-template-builder SCHEMA CONTENT STOREDQUERIES OUTPUT [SERVERSCRIPT]
//
// Builds the template catalogue database at build time: the schema from Schema.txt (turned into
// SQLite DDL here), then the rows of Content.sql and StoredQueries.sql, compacted, written to
// OUTPUT. Linked against the engine layer so that the indexes are made with its collation.
// SERVERSCRIPT, when given, receives the same schema and rows as one PostgreSQL script, which
// makes a catalogue in an empty server database.

#include "common/DbException.h"
#include "database/DbDatabase.h"
#include "database/JetText.h"
#include "database/PgServerFunctions.h"

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{
struct Column
{
    QString name;
    QString type;
    int length = 0;
    bool required = false;
    bool emptyAllowed = false;
    bool noDefault = false;
    QString defaultValue;
    QString description;
};

struct Table
{
    QString name;
    std::vector<Column> columns;
    QString keyName;
    QStringList keyColumns;
    std::vector<std::pair<QString, QStringList>> indexes;
};

struct Relation
{
    QString name;
    QString oneTable;
    QStringList oneColumns;
    QString manyTable;
    QStringList manyColumns;
    bool enforced = true;
    bool cascadeUpdate = false;
    bool cascadeDelete = false;
};

[[noreturn]] void Fail(const QString& message)
{
    std::fprintf(stderr, "qrl-template-builder: %s\n", qPrintable(message));
    std::exit(1);
}

QString Quote(const QString& name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

QString QuoteList(const QStringList& names)
{
    QStringList quoted;
    for (const QString& name : names)
        quoted << Quote(name);
    return quoted.join(QLatin1String(", "));
}

QString ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        Fail(QStringLiteral("cannot read %1").arg(path));
    return QString::fromUtf8(file.readAll());
}

void ParseSchema(const QString& text, std::vector<Table>& tables, std::vector<Relation>& relations)
{
    static const QRegularExpression relationLine(
        QStringLiteral(R"(^relation\s+(\w+)\s+(\w+)\(([\w,]+)\)\s+(\w+)\(([\w,]+)\)\s+(.*)$)"));
    int lineNumber = 0;
    for (QString line : text.split(QLatin1Char('\n')))
    {
        ++lineNumber;
        QString description;
        if (const qsizetype dashes = line.indexOf(QLatin1String(" -- ")); dashes >= 0)
        {
            description = line.mid(dashes + 4).trimmed();
            line = line.left(dashes);
        }
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")));
        const auto bad = [&] { Fail(QStringLiteral("Schema line %1 not understood: %2").arg(lineNumber).arg(line)); };
        if (words[0] == QLatin1String("table"))
        {
            tables.emplace_back();
            tables.back().name = words.value(1);
            continue;
        }
        if (words[0] == QLatin1String("relation"))
        {
            const QRegularExpressionMatch m = relationLine.match(line);
            if (!m.hasMatch())
                bad();
            Relation r;
            r.name = m.captured(1);
            r.oneTable = m.captured(2);
            r.oneColumns = m.captured(3).split(QLatin1Char(','));
            r.manyTable = m.captured(4);
            r.manyColumns = m.captured(5).split(QLatin1Char(','));
            const QStringList rules = m.captured(6).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            r.enforced = !rules.contains(QLatin1String("not-enforced"));
            r.cascadeUpdate = rules.contains(QLatin1String("cascade-update"));
            r.cascadeDelete = rules.contains(QLatin1String("cascade-delete"));
            relations.push_back(r);
            continue;
        }
        if (tables.empty())
            bad();
        Table& table = tables.back();
        if (words[0] == QLatin1String("key") || words[0] == QLatin1String("index"))
        {
            if (words.size() != 3)
                bad();
            if (words[0] == QLatin1String("key"))
            {
                table.keyName = words[1];
                table.keyColumns = words[2].split(QLatin1Char(','));
            }
            else
                table.indexes.emplace_back(words[1], words[2].split(QLatin1Char(',')));
            continue;
        }
        Column column;
        column.name = words[0];
        column.type = words.value(1);
        column.description = description;
        int i = 2;
        if (column.type == QLatin1String("text"))
        {
            bool ok = false;
            column.length = words.value(i++).toInt(&ok);
            if (!ok)
                bad();
        }
        else if (!QStringList{QStringLiteral("long"), QStringLiteral("yesno"), QStringLiteral("double"),
                              QStringLiteral("datetime"), QStringLiteral("memo")}
                      .contains(column.type))
            bad();
        for (; i < words.size(); ++i)
        {
            if (words[i] == QLatin1String("required"))
                column.required = true;
            else if (words[i] == QLatin1String("empty"))
                column.emptyAllowed = true;
            else if (words[i] == QLatin1String("nodefault"))
                column.noDefault = true;
            else if (words[i] == QLatin1String("default") && i + 1 < words.size())
                column.defaultValue = words[++i];
            else
                bad();
        }
        table.columns.push_back(column);
    }
}

QString RelationConstraint(const Relation& r)
{
    return QStringLiteral("CONSTRAINT %1 FOREIGN KEY (%2) REFERENCES %3 (%4) ON UPDATE %5 ON DELETE %6")
        .arg(Quote(r.name), QuoteList(r.manyColumns), Quote(r.oneTable), QuoteList(r.oneColumns),
             r.cascadeUpdate ? QStringLiteral("CASCADE") : QStringLiteral("NO ACTION"),
             r.cascadeDelete ? QStringLiteral("CASCADE") : QStringLiteral("NO ACTION"));
}

// server: PostgreSQL's types. Yes/No is a small integer holding 0 or 1 there too, so that the
// statements' TRUE (1) and FALSE (0) compare and insert the same on both engines.
QString TableDdl(const Table& table, const std::vector<Relation>& relations, bool server)
{
    QStringList parts;
    QStringList notes;
    for (const Column& c : table.columns)
    {
        const bool isText = c.type == QLatin1String("text") || c.type == QLatin1String("memo");
        const bool isNumber = c.type == QLatin1String("long") || c.type == QLatin1String("double");
        const bool isYesNo = c.type == QLatin1String("yesno");
        QString def = Quote(c.name) + QLatin1Char(' ');
        if (c.type == QLatin1String("long"))
            def += QLatin1String("INTEGER");
        else if (c.type == QLatin1String("double"))
            def += server ? QLatin1String("DOUBLE PRECISION") : QLatin1String("REAL");
        else if (isYesNo)
            def += server ? QLatin1String("SMALLINT") : QLatin1String("BOOLEAN");
        else if (c.type == QLatin1String("datetime"))
            def += server ? QLatin1String("TIMESTAMP(0)") : QLatin1String("DATETIME");
        else
            def += QLatin1String("TEXT");
        if (c.required || isYesNo || table.keyColumns.contains(c.name))
            def += QLatin1String(" NOT NULL");
        QString defaultValue = c.defaultValue;
        if (defaultValue.isEmpty() && !c.noDefault && (isNumber || isYesNo))
            defaultValue = QStringLiteral("0");
        if (!defaultValue.isEmpty())
            def += QLatin1String(" DEFAULT ") + defaultValue;
        const QString prefix = table.name + QLatin1Char('_') + c.name;
        if (isText)
        {
            def += QLatin1String(" COLLATE ") + QLatin1String(JetText::kCollationName);
            // Empty means no bytes. The server's collation takes a text of characters it ignores
            // (a zero-width space, a control character) for equal to '', and a file so named
            // would then be refused there when a catalogue file takes it.
            if (!c.emptyAllowed)
                def += QStringLiteral(" CONSTRAINT %1 CHECK (%2%3 <> '')")
                           .arg(Quote(prefix + QLatin1String("_NotEmpty")), Quote(c.name),
                                server ? QLatin1String(" COLLATE \"C\"") : QLatin1String());
            if (c.length > 0)
                def += QStringLiteral(" CONSTRAINT %1 CHECK (length(%2) <= %3)")
                           .arg(Quote(prefix + QLatin1String("_Length")), Quote(c.name))
                           .arg(c.length);
        }
        if (isYesNo)
            def += QStringLiteral(" CONSTRAINT %1 CHECK (%2 IN (0, 1))").arg(Quote(prefix + QLatin1String("_YesNo")), Quote(c.name));
        if (!c.description.isEmpty())
            def += QLatin1String(" /* ") + c.description + QLatin1String(" */");
        parts << def;
    }
    if (!table.keyColumns.isEmpty())
        parts << QStringLiteral("CONSTRAINT %1 PRIMARY KEY (%2)")
                     .arg(Quote(table.name + QLatin1Char('_') + table.keyName), QuoteList(table.keyColumns));
    for (const Relation& r : relations)
    {
        if (r.manyTable != table.name)
            continue;
        // The server checks that a referred table exists: its relations come after every table.
        if (server && r.enforced)
            continue;
        if (!r.enforced)
        {
            notes << QStringLiteral("/* %1: %2 (%3) refers to %4 (%5), not enforced */")
                         .arg(r.name, r.manyTable, r.manyColumns.join(QLatin1String(", ")), r.oneTable,
                              r.oneColumns.join(QLatin1String(", ")));
            continue;
        }
        parts << RelationConstraint(r);
    }
    QString body = parts.join(QLatin1String(",\n  "));
    for (const QString& note : notes)
        body += QLatin1String("\n  ") + note;
    QString ddl = QStringLiteral("CREATE TABLE %1 (\n  %2\n);\n").arg(Quote(table.name), body);
    for (const auto& [indexName, columns] : table.indexes)
    {
        ddl +=
            QStringLiteral("CREATE INDEX %1 ON %2 (%3)")
                .arg(Quote(table.name + QLatin1Char('_') + indexName), Quote(table.name), QuoteList(columns));
        // A server's index on one Yes/No column holds only the Yes rows. They are the few a query
        // looks a flag up for (the vanished, ghosted or hidden files); for the No rows, nearly all
        // of them, the planner reads the table anyway. Each index entry for a No row only cost
        // every new row an insertion: about an eighth of the server's time on new file rows.
        const auto yesNo = [&](const QString& name)
        {
            return std::any_of(table.columns.cbegin(), table.columns.cend(),
                               [&](const Column& c)
                               { return c.name == name && c.type == QLatin1String("yesno"); });
        };
        if (server && columns.size() == 1 && yesNo(columns.front()))
            ddl += QStringLiteral(" WHERE %1 <> 0").arg(Quote(columns.front()));
        ddl += QLatin1String(";\n");
    }
    return ddl;
}

void WriteServerScript(const std::vector<Table>& tables, const std::vector<Relation>& relations, QString rows,
                       const QString& path)
{
    QString script = PgServerFunctions::Script();
    for (const Table& table : tables)
        script += TableDdl(table, relations, true);
    for (const Relation& r : relations)
        if (r.enforced)
            script +=
                QStringLiteral("ALTER TABLE %1 ADD %2;\n").arg(Quote(r.manyTable), RelationConstraint(r));
    // The template's rows are plain SQL but for the one exact comparison they make.
    rows.replace(QLatin1String("COLLATE BINARY"), QLatin1String("COLLATE \"C\""));
    script += rows;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(script.toUtf8()) < 0)
        Fail(QStringLiteral("cannot write %1").arg(path));
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5 && args.size() != 6)
        Fail(
            QStringLiteral("usage: qrl-template-builder SCHEMA CONTENT STOREDQUERIES OUTPUT [SERVERSCRIPT]"));

    std::vector<Table> tables;
    std::vector<Relation> relations;
    ParseSchema(ReadFile(args[1]), tables, relations);
    QString ddl;
    for (const Table& table : tables)
        ddl += TableDdl(table, relations, false);
    if (args.size() == 6)
        WriteServerScript(tables, relations, ReadFile(args[2]) + ReadFile(args[3]), args[5]);

    const QString output = args[4];
    // Named per process: the build may run two of these at once for one output, and each then
    // renames its own complete file into place.
    const QString partial = output + QStringLiteral(".part%1").arg(QCoreApplication::applicationPid());
    QFile::remove(partial);
    try
    {
        CDbDatabase db;
        db.Create(partial);
        db.ExecuteSqliteScript(QStringLiteral("BEGIN;\n") + ddl + ReadFile(args[2]) + ReadFile(args[3]) +
                               QStringLiteral("\nCOMMIT;"));
        // Every relation must hold for the template's own rows.
        CDbStatement check = db.PrepareSqlite(QStringLiteral("PRAGMA foreign_key_check"));
        if (check.Step())
            Fail(QStringLiteral("the template's rows break a relation in table %1").arg(check.Value(0).ToString()));
        db.ExecuteSqliteScript(QStringLiteral("VACUUM;"));
        db.Close();
    }
    catch (const CDbException& e)
    {
        QFile::remove(partial);
        Fail(QStringLiteral("engine error %1: %2").arg(e.m_nErrorCode).arg(e.m_strDescription));
    }
    // rename(2) replaces the output in one step, also when another run got there first.
    if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(output).constData()) != 0)
        Fail(QStringLiteral("cannot write %1").arg(output));
    return 0;
}
