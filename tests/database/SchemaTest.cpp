#include "DatabaseFixture.h"

#include "common/DbException.h"
#include "database/DbErrors.h"
#include "database/JetSql.h"

#include <sqlite3.h>

#include <QRegularExpression>

#include <QMap>

#include <map>

namespace
{
// The catalogue schema as the product defines it, written out independently of the build's
// schema file. Columns: Name:Type with L Long Integer, B Yes/No, D Double, DT Date/Time, M Memo,
// T<n> Text(n); then "!" required, "e" empty text allowed, "=v" default v, "~" no default.
struct ExpectedTable
{
    const char* name;
    const char* columns;
    const char* primaryKey; // Name(col,col)
    const char* indexes;    // Name(col,col) ...
};

const ExpectedTable kTables[] = {
    {"Catalogue",
     "GroupId:L CatalogueId:L Catalogue:T50 Volume:T20e VolumeSerial:L Location:T4095e DriveType:T10e "
     "LocalMachine:T50 UserName:T50 UpdateTTH:B=1 GhostDuplicates:B DeleteDuplicates:B CatalogueType:T255 "
     "SynchForceUpdateChecksum:B SynchNoModifiedUpdateChecksum:B SynchDeleteDuplicates:B SynchQuit:B "
     "CatalogueKeepPriority:L!=10000",
     "CatalogueId(CatalogueId)", "GroupId(GroupId)"},
    {"CatalogueRelativePaths", "CatalogueId:L RelativePathId:L",
     "CatalogueIdRelativePathIdKey(CatalogueId,RelativePathId)",
     "CatalogueId(CatalogueId) RelativePathId(RelativePathId)"},
    {"CatalogueType", "CatalogueTypeId:L CatalogueType:T50", "CatalogueTypeId(CatalogueTypeId)", ""},
    {"CatalogueUserSelect", "CatalogueId:L User:T50 CatalogueSelect:B ExcludeFromDuplicate:B",
     "CatalogueIdUserKey(CatalogueId,User)", "CatalogueId(CatalogueId) User(User)"},
    {"Category", "CategoryId:L Category:T50 Description:T255", "CategoryId(CategoryId)", ""},
    {"CategoryKeywordFilter", "CategoryId:L KeywordId:L IncludeKeyword:B",
     "CategoryIdKeywordIdKey(CategoryId,KeywordId)", "CategoryId(CategoryId) KeywordId(KeywordId)"},
    {"CategoryRelativePaths", "CategoryId:L RelativePathId:L AutoAssign:B",
     "CategoryIdRelativePathIdKey(CategoryId,RelativePathId)",
     "CategoryId(CategoryId) RelativePathId(RelativePathId)"},
    {"CategoryUsage", "CategoryId:L User:T50 LastUsed:DT", "CategoryIdUserKey(CategoryId,User)",
     "CategoryId(CategoryId) User(User)"},
    {"Collection",
     "CollectionId:L Collection:T255 CollectionType:L CollectionNotes:M NumSeasons:L "
     "NumMoviesEpisodesPerSeason:L",
     "CollectionId(CollectionId)", ""},
    {"CollectionItem",
     "CollectionId:L CollectionItemId:L Index:L Title:T255 Identifier:T255 FileId:L CollectionItemNotes:L "
     "Season:L MoviesEpisode:L Part:L NumParts:L",
     "CollectionItemId(CollectionItemId)", "CollectionId(CollectionId)"},
    {"Field",
     "FieldId:L Field:T50 Type:L TableField:T50 UserEdit:B Searchable:B Displayable:B DefaultWidth:L "
     "Format:T50",
     "FieldId(FieldId)", "Field(Field)"},
    {"File",
     "CatalogueId:L RelativePathId:L FileId:L FileInfoId:L~ SimilarityId:L File:T255 AlternateFile:M "
     "FileSize:L! "
     "FileSizeHigh:L FileSizeDouble:D! LastModified:DT Attributes:T16 New:B=1 Deleted:B Ghost:B DontMark:B "
     "QueryHide:B TTH:T39 Extension:T255",
     "FileId(FileId)",
     "CatalogueId(CatalogueId) CatalogueIdRelativePathIdFileKey(CatalogueId,RelativePathId,File) "
     "Deleted(Deleted) "
     "DontMark(DontMark) FileInfoId(FileInfoId) FileSizeKey(FileSizeHigh,FileSize) Ghost(Ghost) "
     "QueryHide(QueryHide) "
     "RelativePathId(RelativePathId) SimilarityId(SimilarityId) TTH(TTH)"},
    {"FileInfo", "FileInfoId:L Description:T255 Keyword:Me Category:Me Notes:M ContainsError:B",
     "FileInfoId(FileInfoId)", ""},
    {"FileListFieldView", "FileListFieldViewId:L! FileListFieldView:T50! User:T50",
     "FileListFieldViewId(FileListFieldViewId)", "FileListFieldView(FileListFieldView) User(User)"},
    {"FileListFieldViewField", "FileListFieldViewId:L! FieldId:L! Order:L",
     "FileListFieldViewIdFieldIdKey(FileListFieldViewId,FieldId)",
     "FileListFieldViewId(FileListFieldViewId) FileListFieldViewIdOrderKey(FileListFieldViewId,Order)"},
    {"FileListFieldViewFieldUserValues", "User:T50 FileListFieldViewId:L! FieldId:L! Width:L=300",
     "UserFileListFieldViewIdFieldIdKey(User,FileListFieldViewId,FieldId)", ""},
    {"FileUserSelect", "FileId:L! User:T50! Mark:B Query:T50 QueryMark:B", "FileIdUserKey(FileId,User)",
     "FileId(FileId) User(User)"},
    {"Group", "GroupId:L Group:T50 ParentGroupId:L", "GroupId(GroupId)", "ParentGroupId(ParentGroupId)"},
    {"ImportInfo", "ImportOrder:L Index:T50 Table:T50 NameField:T50 Import:B Purge:B",
     "ImportOrder(ImportOrder)", ""},
    {"IndexId", "Index:T50 IndexId:L", "Index(Index)", ""},
    {"Keyword", "KeywordId:L Keyword:T50 Description:T255", "KeywordId(KeywordId)", ""},
    {"KeywordUsage", "KeywordId:L User:T50 LastUsed:DT", "KeywordIdUserKey(KeywordId,User)",
     "KeywordId(KeywordId) User(User)"},
    {"Parameter", "Parameter:T50 Value:T255 Description:T50", "Parameter(Parameter)", ""},
    {"Query",
     "GroupId:L QueryId:L QueryName:T255 OutputQuery:T50 GroupingDepth:L Intermediate:B ReadOnly:B "
     "Description:T255",
     "QueryId(QueryId)", "GroupId(GroupId)"},
    {"QueryEntry", "QueryId:L QueryEntry:L EntryType:L! Query:T255 Comment:T255",
     "QueryIdQueryEntryKey(QueryId,QueryEntry)", "QueryEntry(QueryEntry) QueryId(QueryId)"},
    {"QueryEntryType", "QueryEntryType:L QueryEntryTypeName:T50", "QueryEntryType(QueryEntryType)", ""},
    {"QueryGroup", "GroupId:L Group:T50 ParentGroupId:L", "GroupId(GroupId)", "ParentGroupId(ParentGroupId)"},
    {"RelativePath", "RelativePathId:L RelativePath:T4095 KeepPriority:L=1000",
     "RelativePathId(RelativePathId)", "RelativePath(RelativePath)"},
    {"Rule", "RuleId:L Rule:T255 RuleType:L Condition:T255", "RuleId(RuleId)", ""},
    {"RuleEntry", "RuleId:L RuleEntryId:L RuleEntry:T255", "RuleIdRuleEntryIdKey(RuleId,RuleEntryId)",
     "RuleEntryId(RuleEntryId) RuleId(RuleId)"},
    {"VersionHistory", "Version:D Step:L Action:T255", "VersionStepKey(Version,Step)", ""},
};

// Relations: many-side table(columns) -> one-side table(columns), on update, on delete. The
// relations that are not enforced (GroupCatalogue, RelativePathFile) must not be foreign keys.
const char* const kForeignKeys[] = {
    "CatalogueRelativePaths(CatalogueId)->Catalogue(CatalogueId) NO ACTION CASCADE",
    "CatalogueUserSelect(CatalogueId)->Catalogue(CatalogueId) NO ACTION CASCADE",
    "File(CatalogueId)->Catalogue(CatalogueId) NO ACTION CASCADE",
    "CategoryKeywordFilter(CategoryId)->Category(CategoryId) NO ACTION CASCADE",
    "CategoryRelativePaths(CategoryId)->Category(CategoryId) NO ACTION CASCADE",
    "CategoryUsage(CategoryId)->Category(CategoryId) NO ACTION CASCADE",
    "FileListFieldViewField(FieldId)->Field(FieldId) CASCADE CASCADE",
    "FileUserSelect(FileId)->File(FileId) NO ACTION CASCADE",
    "File(FileInfoId)->FileInfo(FileInfoId) NO ACTION NO ACTION",
    "FileListFieldViewFieldUserValues(FileListFieldViewId,FieldId)->FileListFieldViewField(FileListFieldViewId,FieldId) CASCADE CASCADE",
    "FileListFieldViewField(FileListFieldViewId)->FileListFieldView(FileListFieldViewId) CASCADE CASCADE",
    "CategoryKeywordFilter(KeywordId)->Keyword(KeywordId) NO ACTION CASCADE",
    "KeywordUsage(KeywordId)->Keyword(KeywordId) NO ACTION CASCADE",
    "QueryEntry(QueryId)->Query(QueryId) NO ACTION NO ACTION",
    "CatalogueRelativePaths(RelativePathId)->RelativePath(RelativePathId) NO ACTION NO ACTION",
    "CategoryRelativePaths(RelativePathId)->RelativePath(RelativePathId) NO ACTION CASCADE",
    "RuleEntry(RuleId)->Rule(RuleId) NO ACTION CASCADE",
    "CollectionItem(CollectionId)->Collection(CollectionId) NO ACTION CASCADE",
};

struct ActualColumn
{
    QString name, declType, collation, defaultValue;
    bool notNull = false;
};

class SchemaTest : public BothEnginesFixture
{
protected:
    // Rows of a statement in the engine's own dialect (its catalogue tables), fields joined by "|".
    QStringList EngineRows(const QString& sql)
    {
        QStringList rows;
        CDbStatement st = m_db.PrepareSqlite(sql);
        while (st.Step())
        {
            QStringList fields;
            for (int i = 0; i < st.ColumnCount(); ++i)
                fields << st.Value(i).ToString();
            rows << fields.join(QLatin1Char('|'));
        }
        return rows;
    }

    // A name of the catalogue as the server's catalogue tables take it.
    static QString RegClass(const QString& table) { return QStringLiteral("'\"%1\"'::regclass").arg(table); }

    std::vector<ActualColumn> Columns(const QString& table)
    {
        if (OnServer())
            return ServerColumns(table);
        std::vector<ActualColumn> columns;
        CDbStatement info = m_db.PrepareSqlite(QStringLiteral("SELECT name, type, \"notnull\", dflt_value FROM pragma_table_info(?)"));
        info.Bind(1, table);
        while (info.Step())
        {
            ActualColumn c;
            c.name = info.Value(0).ToString();
            c.declType = info.Value(1).ToString();
            c.notNull = info.Value(2).ToBool();
            c.defaultValue = info.Value(3).ToString();
            const char* collation = nullptr;
            sqlite3_table_column_metadata(m_db.Handle(), nullptr, table.toUtf8().constData(), c.name.toUtf8().constData(),
                                          nullptr, &collation, nullptr, nullptr, nullptr);
            c.collation = QString::fromUtf8(collation);
            columns.push_back(c);
        }
        return columns;
    }

    std::vector<ActualColumn> ServerColumns(const QString& table)
    {
        std::vector<ActualColumn> columns;
        CDbStatement info = m_db.PrepareSqlite(
            QStringLiteral(
                "SELECT att.attname::text, format_type(att.atttypid, att.atttypmod), att.attnotnull::int, "
                "coalesce(pg_get_expr(def.adbin, def.adrelid), ''), coalesce(coll.collname::text, '') "
                "FROM pg_attribute att LEFT JOIN pg_attrdef def ON def.adrelid = att.attrelid AND "
                "def.adnum = att.attnum LEFT JOIN pg_collation coll ON coll.oid = att.attcollation "
                "WHERE att.attrelid = %1 AND att.attnum > 0 AND NOT att.attisdropped ORDER BY att.attnum")
                .arg(RegClass(table)));
        while (info.Step())
            columns.push_back({info.Value(0).ToString(), info.Value(1).ToString(), info.Value(4).ToString(),
                               info.Value(3).ToString(), info.Value(2).ToBool()});
        return columns;
    }

    // The rules of a table's columns by name ("Catalogue_Catalogue_NotEmpty") with their texts.
    QMap<QString, QString> Rules(const QString& table)
    {
        QMap<QString, QString> rules;
        if (OnServer())
        {
            CDbStatement list = m_db.PrepareSqlite(
                QStringLiteral(
                    "SELECT conname::text, pg_get_constraintdef(oid) FROM pg_constraint WHERE conrelid = %1 "
                    "AND contype = 'c'")
                    .arg(RegClass(table)));
            while (list.Step())
                rules.insert(list.Value(0).ToString(), list.Value(1).ToString());
            return rules;
        }
        const QString createSql =
            Rows(QStringLiteral("SELECT sql FROM sqlite_master WHERE name=") + CJetSql::QuoteText(table))
                .value(0);
        static const QRegularExpression rule(
            QStringLiteral(R"re(CONSTRAINT "(\w+)" (CHECK \([^()]*(\([^()]*\)[^()]*)*\)))re"));
        for (auto it = rule.globalMatch(createSql); it.hasNext();)
        {
            const QRegularExpressionMatch m = it.next();
            rules.insert(m.captured(1), m.captured(2));
        }
        return rules;
    }

    QString PrimaryKey(const QString& table)
    {
        if (OnServer())
            return EngineRows(
                       QStringLiteral(
                           "SELECT string_agg(att.attname::text, ',' ORDER BY "
                           "array_position(ind.indkey::int[], "
                           "att.attnum::int)) FROM pg_index ind JOIN pg_attribute att ON att.attrelid = "
                           "ind.indrelid AND att.attnum = ANY(ind.indkey) WHERE ind.indrelid = %1 AND "
                           "ind.indisprimary")
                           .arg(RegClass(table)))
                .value(0);
        std::map<int, QString> byPosition;
        CDbStatement info = m_db.PrepareSqlite(QStringLiteral("SELECT name, pk FROM pragma_table_info(?) WHERE pk > 0"));
        info.Bind(1, table);
        while (info.Step())
            byPosition[info.Value(1).ToLong()] = info.Value(0).ToString();
        QStringList names;
        for (const auto& [position, name] : byPosition)
            names << name;
        return names.join(QLatin1Char(','));
    }

    QString Indexes(const QString& table)
    {
        QStringList indexes;
        if (OnServer())
        {
            for (const QString& row : EngineRows(
                     QStringLiteral(
                         "SELECT cls.relname::text, ind.indisunique::int, (SELECT "
                         "string_agg(att.attname::text, "
                         "',' ORDER BY array_position(ind.indkey::int[], att.attnum::int)) FROM pg_attribute "
                         "att WHERE att.attrelid = ind.indrelid AND att.attnum = ANY(ind.indkey)), "
                         "coalesce(pg_get_expr(ind.indpred, ind.indrelid), '') FROM "
                         "pg_index "
                         "ind JOIN pg_class cls ON cls.oid = ind.indexrelid WHERE ind.indrelid = %1 AND NOT "
                         "ind.indisprimary")
                         .arg(RegClass(table))))
            {
                const QStringList fields = row.split(QLatin1Char('|'));
                EXPECT_EQ(fields.value(1), QStringLiteral("0")) << fields.value(0).toStdString();
                indexes << QStringLiteral("%1(%2)").arg(fields.value(0), fields.value(2)) +
                               (fields.value(3).isEmpty() ? QString()
                                                          : QStringLiteral(" WHERE ") + fields.value(3));
            }
            indexes.sort();
            return indexes.join(QLatin1Char(' '));
        }
        CDbStatement list = m_db.PrepareSqlite(
            QStringLiteral("SELECT name, \"unique\" FROM pragma_index_list(?) WHERE origin = 'c' ORDER BY name"));
        list.Bind(1, table);
        while (list.Step())
        {
            EXPECT_FALSE(list.Value(1).ToBool()) << list.Value(0).ToString().toStdString();
            QStringList columns;
            CDbStatement info = m_db.PrepareSqlite(QStringLiteral("SELECT name FROM pragma_index_info(?) ORDER BY seqno"));
            info.Bind(1, list.Value(0));
            while (info.Step())
                columns << info.Value(0).ToString();
            indexes << QStringLiteral("%1(%2)").arg(list.Value(0).ToString(), columns.join(QLatin1Char(',')));
        }
        return indexes.join(QLatin1Char(' '));
    }

    // Each relation of a table as "Table(columns)->Other(columns) ON-UPDATE ON-DELETE".
    QStringList ForeignKeys(const QString& table)
    {
        QStringList keys;
        if (OnServer())
        {
            const QString columns = QStringLiteral(
                "(SELECT string_agg(att.attname::text, ',' ORDER BY array_position(con.%1, att.attnum)) "
                "FROM pg_attribute att WHERE att.attrelid = con.%2 AND att.attnum = ANY(con.%1))");
            for (const QString& row : EngineRows(
                     QStringLiteral(
                         "SELECT %1, con.confrelid::regclass::text, %2, CASE con.confupdtype WHEN 'c' THEN "
                         "'CASCADE' ELSE 'NO ACTION' END, CASE con.confdeltype WHEN 'c' THEN 'CASCADE' ELSE "
                         "'NO ACTION' END FROM pg_constraint con WHERE con.conrelid = %3 AND con.contype = "
                         "'f'")
                         .arg(columns.arg(QStringLiteral("conkey"), QStringLiteral("conrelid")),
                              columns.arg(QStringLiteral("confkey"), QStringLiteral("confrelid")),
                              RegClass(table))))
            {
                const QStringList f = row.split(QLatin1Char('|'));
                keys << QStringLiteral("%1(%2)->%3(%4) %5 %6")
                            .arg(table, f.value(0), QString(f.value(1)).remove(QLatin1Char('"')), f.value(2),
                                 f.value(3), f.value(4));
            }
            return keys;
        }
        CDbStatement fk = m_db.PrepareSqlite(QStringLiteral(
            "SELECT id, \"table\", group_concat(\"from\"), group_concat(\"to\"), on_update, on_delete "
            "FROM (SELECT * FROM pragma_foreign_key_list(?) ORDER BY id, seq) GROUP BY id"));
        fk.Bind(1, table);
        while (fk.Step())
            keys << QStringLiteral("%1(%2)->%3(%4) %5 %6")
                        .arg(table, fk.Value(2).ToString(), fk.Value(1).ToString(), fk.Value(3).ToString(),
                             fk.Value(4).ToString(), fk.Value(5).ToString());
        return keys;
    }
};
} // namespace

QUARRANE_ON_BOTH_ENGINES(SchemaTest);

TEST_P(SchemaTest, TemplateSchemaIsTheCatalogueSchema)
{
    QStringList expectedTables;
    for (const ExpectedTable& t : kTables)
        expectedTables << QString::fromUtf8(t.name);
    expectedTables << QStringLiteral("StoredQuery");
    expectedTables.sort();
    QStringList actualTables = EngineRows(
        OnServer()
            ? QStringLiteral("SELECT relname::text FROM pg_class WHERE relkind = 'r' AND relnamespace = "
                             "current_schema()::regnamespace")
            : QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"));
    actualTables.sort();
    EXPECT_EQ(actualTables, expectedTables);

    static const QRegularExpression columnPattern(QStringLiteral(R"(^(\w+):(L|B|DT|D|M|T(\d+))(!?)(e?)(~?)(?:=(\d+))?$)"));
    for (const ExpectedTable& t : kTables)
    {
        const QString table = QString::fromUtf8(t.name);
        SCOPED_TRACE(t.name);
        const QString keyText = QString::fromUtf8(t.primaryKey);
        const QString keyColumns = keyText.section(QLatin1Char('('), 1).chopped(1);
        const QStringList keyList = keyColumns.split(QLatin1Char(','));
        const QMap<QString, QString> rules = Rules(table);
        int ruleCount = 0;

        const QStringList columnTexts = QString::fromUtf8(t.columns).split(QLatin1Char(' '));
        const std::vector<ActualColumn> actual = Columns(table);
        ASSERT_EQ(actual.size(), size_t(columnTexts.size()));
        for (int i = 0; i < columnTexts.size(); ++i)
        {
            const QRegularExpressionMatch m = columnPattern.match(columnTexts[i]);
            ASSERT_TRUE(m.hasMatch()) << columnTexts[i].toStdString();
            const QString name = m.captured(1);
            const QString type = m.captured(2);
            const bool isText = type == QLatin1String("M") || type.startsWith(QLatin1Char('T'));
            const bool isNumber = type == QLatin1String("L") || type == QLatin1String("D");
            const bool isYesNo = type == QLatin1String("B");
            const ActualColumn& c = actual[size_t(i)];
            SCOPED_TRACE(name.toStdString());
            EXPECT_EQ(c.name, name);
            // The server's own types: Yes/No holds 0 or 1 in a small integer there too.
            const QString declType = OnServer()
                                         ? (isText                       ? QStringLiteral("text")
                                            : type == QLatin1String("L") ? QStringLiteral("integer")
                                            : type == QLatin1String("D") ? QStringLiteral("double precision")
                                            : isYesNo                    ? QStringLiteral("smallint")
                                                      : QStringLiteral("timestamp(0) without time zone"))
                                     : isText                     ? QStringLiteral("TEXT")
                                     : type == QLatin1String("L") ? QStringLiteral("INTEGER")
                                     : type == QLatin1String("D") ? QStringLiteral("REAL")
                                     : isYesNo                    ? QStringLiteral("BOOLEAN")
                                                                  : QStringLiteral("DATETIME");
            EXPECT_EQ(c.declType, declType);
            EXPECT_EQ(c.notNull, !m.captured(4).isEmpty() || isYesNo || keyList.contains(name));
            QString defaultValue = m.captured(7);
            if (defaultValue.isEmpty() && m.captured(6).isEmpty() && (isNumber || isYesNo))
                defaultValue = QStringLiteral("0");
            EXPECT_EQ(c.defaultValue, defaultValue);
            if (OnServer())
                EXPECT_EQ(c.collation, isText ? QStringLiteral("general") : QString());
            else
                EXPECT_EQ(c.collation, isText ? QStringLiteral("GENERAL") : QStringLiteral("BINARY"));

            // Each rule by its name, which the error texts give, and what it checks (in each
            // engine's own words).
            const QString prefix = QStringLiteral("%1_%2_").arg(table, name);
            const QString quoted = QLatin1Char('"') + name + QLatin1Char('"');
            const QString notEmpty = rules.value(prefix + QStringLiteral("NotEmpty"));
            const QString length = rules.value(prefix + QStringLiteral("Length"));
            const QString yesNo = rules.value(prefix + QStringLiteral("YesNo"));
            EXPECT_EQ(!notEmpty.isEmpty(), isText && m.captured(5).isEmpty());
            EXPECT_EQ(!length.isEmpty(), type.startsWith(QLatin1Char('T')));
            EXPECT_EQ(!yesNo.isEmpty(), isYesNo);
            ruleCount +=
                (notEmpty.isEmpty() ? 0 : 1) + (length.isEmpty() ? 0 : 1) + (yesNo.isEmpty() ? 0 : 1);
            if (!notEmpty.isEmpty())
            {
                // Exact on the server, whose collation takes some non-empty texts for ''.
                EXPECT_TRUE(notEmpty.contains(OnServer()
                                                  ? QStringLiteral("(%1 COLLATE \"C\") <> ''").arg(quoted)
                                                  : quoted + QStringLiteral(" <> ''")))
                    << notEmpty.toStdString();
            }
            if (!length.isEmpty())
            {
                EXPECT_TRUE(length.contains(QStringLiteral("length(%1) <= %2").arg(quoted, m.captured(3))))
                    << length.toStdString();
            }
            if (!yesNo.isEmpty())
            {
                EXPECT_TRUE(yesNo.contains(OnServer() ? quoted + QStringLiteral(" = ANY (ARRAY[0, 1])")
                                                      : quoted + QStringLiteral(" IN (0, 1)")))
                    << yesNo.toStdString();
            }
        }
        EXPECT_EQ(rules.size(), ruleCount) << "rules of no column";
        EXPECT_EQ(PrimaryKey(table), keyColumns);
        QStringList expectedIndexes;
        for (const QString& index : QString::fromUtf8(t.indexes).split(QLatin1Char(' '), Qt::SkipEmptyParts))
        {
            // On the server an index on one Yes/No column holds the Yes rows only.
            const QString column = index.section(QLatin1Char('('), 1).chopped(1);
            const bool yesNoOnly = columnTexts.contains(column + QStringLiteral(":B"));
            expectedIndexes << table + QLatin1Char('_') + index +
                                   (OnServer() && yesNoOnly
                                        ? QStringLiteral(" WHERE (\"%1\" <> 0)").arg(column)
                                        : QString());
        }
        expectedIndexes.sort();
        EXPECT_EQ(Indexes(table), expectedIndexes.join(QLatin1Char(' ')));
    }
}

TEST_P(SchemaTest, RelationsAreForeignKeysWithTheirRules)
{
    QStringList actual;
    for (const ExpectedTable& t : kTables)
        actual << ForeignKeys(QString::fromUtf8(t.name));
    QStringList expected;
    for (const char* fk : kForeignKeys)
        expected << QString::fromUtf8(fk);
    actual.sort();
    expected.sort();
    EXPECT_EQ(actual, expected);
}

TEST_P(SchemaTest, TemplateRowsAreTheConfigurationRows)
{
    EXPECT_EQ(Rows(QStringLiteral("SELECT * FROM [Parameter] ORDER BY Parameter DESC")),
              (QStringList{"Version|1.004|The version of this database", "CompactOnExit|0|Whether to compact this database on exit"}));
    EXPECT_EQ(Rows(QStringLiteral("SELECT * FROM IndexId ORDER BY [Index]")),
              (QStringList{"Action_ActionId|14", "ActionEvent_ActionEventId|1", "ActionLine_LineId|26",
                           "FileListFieldView_FileListFieldViewId|6"}));
    EXPECT_EQ(Rows(QStringLiteral("SELECT * FROM RelativePath")), QStringList{"0|<null>|1000"});
    EXPECT_EQ(Rows(QStringLiteral("SELECT * FROM QueryEntryType ORDER BY QueryEntryType")),
              (QStringList{"1|Condition", "2|SQL Query", "3|Function", "4|(Sub)Query", "5|Execute (Sub)Query"}));
    EXPECT_EQ(Rows(QStringLiteral("SELECT * FROM Field ORDER BY FieldId")),
              (QStringList{"1|Catalogue|2|Catalogue.Catalogue|0|1|1|120|<null>", "2|Volume|2|Catalogue.Volume|0|1|1|0|<null>",
                           "3|Location|2|Catalogue.Location|0|1|1|0|<null>", "4|DriveType|2|Catalogue.DriveType|0|1|1|0|<null>",
                           "5|CatalogueType|2|Catalogue.CatalogueType|1|0|0|0|<null>",
                           "7|FileName/Folder/AlternateFile|2|File.File|0|1|0|0|<null>",
                           "8|Size|6|File.FileSizeDouble|0|1|1|0|%.0f", "9|Attributes|2|File.Attributes|0|0|0|0|<null>",
                           "10|TTH|2|File.TTH|0|1|1|304|<null>", "11|Description|2|FileInfo.Description|1|1|1|300|<null>",
                           "12|Keywords|4|FileInfo.Keyword|1|1|1|300|<null>", "13|Categories|4|FileInfo.Category|1|1|1|300|<null>",
                           "14|Notes|5|FileInfo.Notes|1|1|1|300|<null>", "15|File|2|File.File|0|0|1|300|<null>",
                           "16|Folder|2|RelativePath.RelativePath|0|0|1|120|<null>",
                           "17|Alternate File Name|2|File.AlternateFile|0|0|1|134|<null>",
                           "18|Extension|2|File.Extension|0|1|1|96|<null>", "19|Last Modified|7|File.LastModified|0|1|1|112|<null>"}));
    EXPECT_EQ(Rows(QStringLiteral("SELECT * FROM FileListFieldView ORDER BY FileListFieldViewId")),
              (QStringList{"1|Folder (Default)|<null>", "2|Query (Default)|<null>", "3|Query (Minimal)|<null>",
                           "4|Folder (Minimal)|<null>", "5|Keywords|<null>", "6|Categories|<null>"}));
    // Each view's columns by field name, in Order, and Order from 1 without gaps.
    const QStringList views = {
        "File,Size,Keywords,Categories,Description,Notes,Alternate File Name,TTH,Extension,Last Modified",
        "File,Catalogue,Folder,Size,Keywords,Categories,Description,Notes,Alternate File Name,TTH,Extension,Last Modified",
        "File,Catalogue,Folder,Size,Keywords,Categories,Description,Notes",
        "File,Size,Keywords,Categories,Description,Notes",
        "File,Keywords,Catalogue,Folder,Size,Description,Notes",
        "File,Categories,Catalogue,Folder,Size,Description,Notes",
    };
    int total = 0;
    for (int view = 1; view <= 6; ++view)
    {
        const QStringList rows = Rows(QStringLiteral("SELECT FileListFieldViewField.Order, Field.Field FROM FileListFieldViewField "
                                                     "INNER JOIN Field ON Field.FieldId = FileListFieldViewField.FieldId "
                                                     "WHERE FileListFieldViewId=%1 ORDER BY [Order]").arg(view));
        QStringList expected;
        int order = 0;
        for (const QString& field : views[view - 1].split(QLatin1Char(',')))
            expected << QStringLiteral("%1|%2").arg(++order).arg(field);
        EXPECT_EQ(rows, expected) << view;
        total += int(rows.size());
    }
    EXPECT_EQ(total, 50);
    EXPECT_EQ(Rows(QStringLiteral("SELECT ImportOrder, [Table], [Index], NameField, Import, Purge FROM ImportInfo ORDER BY ImportOrder")),
              (QStringList{"10|KeywordUsage|<null>|<null>|0|1", "20|CategoryUsage|<null>|<null>|0|1",
                           "40|FileUserSelect|<null>|<null>|0|1", "50|Keyword|KeywordId|Keyword|1|0",
                           "60|Category|CategoryId|Category|1|0", "70|Group|GroupId|Group|1|0",
                           "80|Catalogue|CatalogueId|Catalogue|1|0", "90|RelativePath|RelativePathId|<null>|1|0",
                           "100|FileInfo|FileInfoId|<null>|1|0", "110|File|FileId|<null>|1|0",
                           "120|Collection|CollectionId|Collection|1|0", "130|CollectionItem|CollectionItemId|<null>|1|0",
                           "150|FileListFieldView|FileListFieldViewId|FileListFieldView|1|0",
                           "160|FileListFieldViewField|<null>|<null>|1|0", "170|FileListFieldViewFieldUserValues|<null>|<null>|1|0",
                           "180|CatalogueUserSelect|<null>|<null>|1|0"}));
    EXPECT_EQ(Rows(QStringLiteral("SELECT Version, Step FROM VersionHistory WHERE Version=1.004 ORDER BY Step")),
              (QStringList{"1.004|1102", "1.004|1103", "1.004|1104", "1.004|1105", "1.004|1106", "1.004|1107", "1.004|1108"}));
    EXPECT_EQ(Rows(QStringLiteral("SELECT Step FROM VersionHistory WHERE Action LIKE 'AddField(*Searchable*' OR "
                                  "Action LIKE 'AddField(*Displayable*' OR Action LIKE 'AddField(*ExcludeFromDuplicate*'")).size(), 3);
}

TEST_P(SchemaTest, TemplateQueriesAndTheirSteps)
{
    // QueryId|QueryName|OutputQuery|GroupingDepth|Intermediate, then the steps as type:query.
    const QStringList queries = {
        "1|All Files in Checked Catalogues|AllFilesInCheckedCatalogues|0|0|",
        "2|Check All Catalogues|<null>|0|0|2:CheckAllCatalogues",
        "3|Check Unique Files Between Checked and Unchecked Catalogues|AllFilesInCheckedCatalogues|0|0|2:ClearAllQueryMarks "
        "2:QueryMarkAllFilesInCheckedCatalogues 2:UncheckAllFiles 2:QueryMarkUniqueByTTHFileSizeBetweenCheckedAndUncheckCatalogues "
        "2:CheckQueryMarkedFiles",
        "4|Find|<null>|0|1|3:Find",
        "5|Duplicates by File Size Between Checked and All Catalogues|DuplicatesByFileSize|1|1|2:ClearAllQueryMarks "
        "2:QueryMarkDuplicatesByFileSizeBetweenCheckedAndAllCatalogues 2:QueryMarkDuplicatesByFileSizeBetweenCheckedAndAllCatalogues3",
        "6|Check Duplicates For Deletion by TTH Between Checked and All Catalogues|DuplicatesByTTH|1|1|2:ClearAllQueryMarks "
        "2:UncheckAllFiles 2:QueryMarkDuplicatesByTTHBetweenCheckedAndAllCatalogues "
        "2:QueryMarkDuplicatesByTTHBetweenCheckedAndAllCatalogues3 2:CheckQueryMarkedFiles 3:UncheckOneDuplicateFile",
        "7|Check Unedited Duplicates For Deletion Between Checked and All Catalogues|DuplicatesByTTHFileSize|3|0|"
        "2:ClearAllQueryMarks 2:UncheckAllFiles 2:QueryMarkUneditedDuplicatesBetweenCheckedAndAllCatalogues "
        "2:QueryMarkUneditedDuplicatesBetweenCheckedAndAllCatalogues3 2:CheckQueryMarkedFiles 3:UncheckOneDuplicateFile",
        "8|Delete Checked Files|DuplicatesByTTHFileSize|3|1|",
        "9|Uncheck All Files|<null>|0|0|2:UncheckAllFiles",
        "10|Uncheck All Catalogues|<null>|0|0|2:UncheckAllCatalogues",
        "11|Slide Show 5secs|<null>|0|1|",
        "12|File Name Length Greater than  12 in Checked Catalogues (MS-DOS 8+.+3)|FileNameLengthGreaterThan12|0|0|",
        "13|File Name Length Greater than  32 in Checked Catalogues|FileNameLengthGreaterThan32|0|0|",
        "14|File Name Length Greater than  64 in Checked Catalogues|FileNameLengthGreaterThan64|0|0|",
        "15|File Name Length Greater than 101 in Checked Catalogues (Nero)|FileNameLengthGreaterThan101|0|0|",
        "16|File Name Length Greater than 106 in Checked Catalogues (Record Now Max)|FileNameLengthGreaterThan106|0|0|",
        "17|File Name Length Greater than 128 in Checked Catalogues|FileNameLengthGreaterThan128|0|0|",
        "18|File Name Length Greater than 212 in Checked Catalogues|FileNameLengthGreaterThan212|0|0|",
        "19|Check All Files in Checked Catalogues|AllFilesInCheckedCatalogues|0|0|2:CheckAllFilesInCheckedCatalogues",
        "20|Rename File Name to Length of 106 in Checked Catalogues|FileNameLengthGreaterThan106|0|1|",
        "21|Check Duplicates For Deletion Between Checked Catalogues|DuplicatesByTTHFileSize|3|0|2:ClearAllQueryMarks "
        "2:UncheckAllFiles 2:QueryMarkDuplicatesByTTHFileSizeBetweenCheckedCatalogues 2:CheckQueryMarkedFiles 3:UncheckOneDuplicateFile",
        "22|Check Duplicates For Deletion in All Catalogues|DuplicatesByTTHFileSize|3|0|2:ClearAllQueryMarks 2:UncheckAllFiles "
        "2:QueryMarkDuplicatesByTTHFileSizeAllCatalogues 2:CheckQueryMarkedFiles 3:UncheckOneDuplicateFile",
        "23|Check Duplicates For Deletion Between Checked and All Catalogues|DuplicatesByTTHFileSize|3|0|2:ClearAllQueryMarks "
        "2:UncheckAllFiles 2:QueryMarkDuplicatesByTTHFileSizeBetweenCheckedAndAllCatalogues "
        "2:QueryMarkDuplicatesByTTHFileSizeBetweenCheckedAndAllCatalogues3 2:CheckQueryMarkedFiles 3:UncheckOneDuplicateFile",
        "24|Files Without TTH (Excluding Ghosted) in All Catalogues|FilesWithoutTTHExcludingGhostedInAllCatalogues|0|0|",
        "25|Files Without TTH in All Catalogues|FilesWithoutTTHInAllCatalogues|0|0|",
        "26|Check Edited Duplicates For Deletion Between Checked and All Catalogues|DuplicatesByTTHFileSize|3|0|"
        "2:ClearAllQueryMarks 2:UncheckAllFiles 2:QueryMarkEditedDuplicatesBetweenCheckedAndAllCatalogues "
        "2:QueryMarkEditedDuplicatesBetweenCheckedAndAllCatalogues3 2:CheckQueryMarkedFiles 3:UncheckOneDuplicateFile",
    };
    QStringList actual;
    int steps = 0;
    for (const QString& row : Rows(QStringLiteral("SELECT QueryId, QueryName, OutputQuery, GroupingDepth, Intermediate FROM Query ORDER BY QueryId")))
    {
        QStringList entries;
        int number = 0;
        for (const QString& entry : Rows(QStringLiteral("SELECT QueryEntry, EntryType, Query FROM QueryEntry WHERE ((QueryId=%1)) "
                                                        "ORDER BY QueryEntry;").arg(row.section(QLatin1Char('|'), 0, 0))))
        {
            EXPECT_EQ(entry.section(QLatin1Char('|'), 0, 0).toInt(), ++number);
            entries << entry.section(QLatin1Char('|'), 1, 1) + QLatin1Char(':') + entry.section(QLatin1Char('|'), 2, 2);
        }
        steps += number;
        actual << row + QLatin1Char('|') + entries.join(QLatin1Char(' '));
    }
    EXPECT_EQ(actual, queries);
    EXPECT_EQ(steps, 47);
    EXPECT_EQ(Rows(QStringLiteral("SELECT QueryId FROM Query WHERE ReadOnly=False")).size(), 0)
        << "every query is read-only";
    EXPECT_EQ(Rows(QStringLiteral("SELECT QueryId, GroupId FROM Query WHERE GroupId Is Not Null")),
              (QStringList{"24|0", "25|0"}));
    EXPECT_EQ(Rows(QStringLiteral("SELECT QueryId FROM Query WHERE Description Is Null ORDER BY QueryId")),
              (QStringList{"1", "3", "4", "8", "11", "20"}));
    for (int id = 12; id <= 18; ++id)
    {
        const int limit = QList<int>{12, 32, 64, 101, 106, 128, 212}[id - 12];
        EXPECT_EQ(Rows(QStringLiteral("SELECT Description FROM Query WHERE QueryId=%1").arg(id)),
                  QStringList{QStringLiteral("Returns any file within a checked catalogue, with a filename greater than %1 "
                                             "characters in size.").arg(limit)});
    }
    EXPECT_EQ(Rows(QStringLiteral("SELECT Description FROM Query WHERE QueryId=6")),
              QStringList{"Displays and and checks duplicate files for deletion, within checked catalogues, that are determined "
                          "(by their TTH values) to be duplicates of files of all other catalogues within the Quarrane database."});
    EXPECT_EQ(Rows(QStringLiteral("SELECT Description FROM Query WHERE QueryId=7 OR QueryId=26 GROUP BY Description")).size(), 1);
}

// The cascade rules and the refusals that the programs rely on.
TEST_P(SchemaTest, CascadesAndRefusals)
{
    const auto exec = [&](const QString& sql) { return m_db.Execute(sql); };
    const auto code = [&](const QString& sql) -> long {
        try
        {
            m_db.Execute(sql);
        }
        catch (const CDbException& e)
        {
            return e.m_nErrorCode;
        }
        return 0;
    };
    exec(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (1, 'g')"));
    exec(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue) VALUES (1, 1, 'one')"));
    exec(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue) VALUES (1, 2, 'two')"));
    exec(QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (1, 'a\\b')"));
    exec(QStringLiteral("INSERT INTO FileInfo (FileInfoId, Notes) VALUES (1, 'note')"));
    for (int id = 1; id <= 4; ++id)
        exec(QStringLiteral("INSERT INTO [File] (CatalogueId, RelativePathId, FileId, FileInfoId, [File], FileSize, FileSizeDouble) "
                            "VALUES (%1, 1, %2, 1, 'f%2', 0, 0)").arg(id <= 3 ? 1 : 2).arg(id));
    for (int id = 1; id <= 4; ++id)
        exec(QStringLiteral("INSERT INTO FileUserSelect (FileId, [User], Mark) VALUES (%1, 'alice', True)").arg(id));
    exec(QStringLiteral("INSERT INTO CatalogueRelativePaths (CatalogueId, RelativePathId) VALUES (1, 1)"));
    exec(QStringLiteral("INSERT INTO CatalogueRelativePaths (CatalogueId, RelativePathId) VALUES (2, 1)"));
    exec(QStringLiteral("INSERT INTO CatalogueUserSelect (CatalogueId, [User], CatalogueSelect) VALUES (1, 'alice', True)"));

    // One statement removes the catalogue's files, their marks and its folder links.
    EXPECT_EQ(exec(QStringLiteral("DELETE FROM Catalogue WHERE CatalogueId=1")), 1);
    EXPECT_EQ(Rows(QStringLiteral("SELECT FileId FROM [File]")), QStringList{"4"});
    EXPECT_EQ(Rows(QStringLiteral("SELECT FileId FROM FileUserSelect")), QStringList{"4"});
    EXPECT_EQ(Rows(QStringLiteral("SELECT CatalogueId FROM CatalogueRelativePaths")), QStringList{"2"});
    EXPECT_EQ(Rows(QStringLiteral("SELECT CatalogueId FROM CatalogueUserSelect")), QStringList());
    EXPECT_EQ(Rows(QStringLiteral("SELECT FileInfoId FROM FileInfo")), QStringList{"1"});

    // A FileInfo row in use and a RelativePath row a catalogue names cannot go.
    EXPECT_EQ(code(QStringLiteral("DELETE FROM FileInfo WHERE FileInfoId=1")), DbErrors::kRelatedRecords);
    EXPECT_EQ(code(QStringLiteral("DELETE FROM RelativePath WHERE RelativePathId=1")), DbErrors::kRelatedRecords);
    EXPECT_EQ(Rows(QStringLiteral("SELECT FileInfoId FROM FileInfo")), QStringList{"1"});
    // A group can go while catalogues name it.
    EXPECT_EQ(exec(QStringLiteral("DELETE FROM [Group] WHERE GroupId=1")), 1);
    EXPECT_EQ(Rows(QStringLiteral("SELECT GroupId FROM Catalogue")), QStringList{"1"});
    // Deleting a file removes its marks; a keyword its usage rows.
    exec(QStringLiteral("DELETE FROM [File] WHERE FileId=4"));
    EXPECT_EQ(Rows(QStringLiteral("SELECT FileId FROM FileUserSelect")), QStringList());
    exec(QStringLiteral("INSERT INTO Keyword (KeywordId, Keyword) VALUES (1, 'k')"));
    exec(QStringLiteral("INSERT INTO KeywordUsage (KeywordId, [User], LastUsed) VALUES (1, 'alice', #1/2/2024 3:04:05#)"));
    exec(QStringLiteral("DELETE FROM Keyword"));
    EXPECT_EQ(Rows(QStringLiteral("SELECT * FROM KeywordUsage")), QStringList());
    // Renumbering a field carries its view columns along (import relies on cascade update).
    exec(QStringLiteral("UPDATE Field SET FieldId=1000 WHERE FieldId=15"));
    EXPECT_EQ(Rows(QStringLiteral("SELECT FieldId FROM FileListFieldViewField WHERE FieldId=15 OR FieldId=1000 GROUP BY FieldId")),
              QStringList{"1000"});

    // Empty text is refused where the schema refuses it and accepted where it is allowed.
    EXPECT_EQ(code(QStringLiteral("INSERT INTO Keyword (KeywordId, Keyword) VALUES (2, '')")), DbErrors::kZeroLengthString);
    EXPECT_EQ(code(QStringLiteral("UPDATE Catalogue SET Catalogue='' WHERE CatalogueId=2")), DbErrors::kZeroLengthString);
    EXPECT_EQ(code(QStringLiteral("INSERT INTO FileUserSelect (FileId, [User]) VALUES (1, '')")), DbErrors::kZeroLengthString);
    EXPECT_EQ(code(QStringLiteral("UPDATE Catalogue SET Volume='', Location='', DriveType='' WHERE CatalogueId=2")), 0);
    EXPECT_EQ(code(QStringLiteral("INSERT INTO FileInfo (FileInfoId, Keyword, Category) VALUES (2, '', '')")), 0);
}
