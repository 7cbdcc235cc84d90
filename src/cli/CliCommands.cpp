#include "cli/CliCommands.h"

#include "browser/CatalogueStore.h"
#include "browser/CatalogueUserSelection.h"
#include "browser/MediaPresence.h"
#include "browser/MirrowelDoc.h"
#include "browser/QueryOutput.h"
#include "browser/QueryRunner.h"
#include "browser/SqlText.h"
#include "browser/SynchLauncher.h"
#include "browser/SynchLink.h"
#include "browser/VolumeIdentity.h"
#include "cli/CliCheck.h"
#include "cli/CliDelete.h"
#include "cli/CliExport.h"
#include "cli/CliImport.h"
#include "cli/CliInteraction.h"
#include "cli/CliOptions.h"
#include "cli/CliSearch.h"
#include "cli/CliTable.h"
#include "common/DbException.h"
#include "common/DdeSender.h"
#include "common/ErrorLog.h"
#include "common/FileOperations.h"
#include "common/FilePath.h"
#include "database/DbDatabase.h"
#include "database/DbQueryDef.h"
#include "database/DbRetryPolicy.h"
#include "database/DbTransaction.h"
#include "database/TemplateDatabase.h"
#include "platform/ProgramInfo.h"
#include "platform/VolumeTable.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocale>
#include <QTextStream>

#include <cstdio>
#include <optional>

namespace
{
// How long a waiting command waits for the synchronizer: a large catalogue takes hours.
constexpr qint64 kWaitMs = qint64(7) * 24 * 3600 * 1000;
constexpr int kProgressMs = 1000;
// The synchronizer's result when it could not read some of the files it was to catalogue or hash.
constexpr quint32 kSynchFilesUnread = 30;

std::optional<qint32> ParseId(const QString& text)
{
    bool ok = false;
    const qint32 id = text.toInt(&ok);
    return ok && id > 0 ? std::optional<qint32>(id) : std::nullopt;
}

QString ByteText(double bytes)
{
    return QLocale::c().formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeTraditionalFormat);
}

class CCommandRun final
{
public:
    explicit CCommandRun(const CCliOptions& options)
        : m_o(options), m_strDatabase(CDbDatabase::IsServerAddress(options.database)
                                          ? options.database
                                          : QFileInfo(options.database).absoluteFilePath()),
          m_doc(m_ui), m_launcher(m_ui, SynchronizerProgramPath()), m_out(stdout)
    {
        SetProcessUserInteraction(&m_ui);
        if (!m_o.user.isEmpty())
            m_doc.SetUserName(m_o.user);
        m_doc.Synch().SetSynchLauncher(&m_launcher);
    }
    ~CCommandRun() { SetProcessUserInteraction(nullptr); }
    CCommandRun(const CCommandRun&) = delete;
    CCommandRun& operator=(const CCommandRun&) = delete;

    int Run();

private:
    int New();
    int Catalogues();
    int CheckCatalogues();
    int Checked();
    int RunQuery();
    int Queries();
    int Sql();
    int Check();
    int Repair();
    int RepairOnServer();
    int AddCatalogue();
    int SynchronizeOrUpdate();

    int NeedArguments(int count, const QString& what)
    {
        return m_o.arguments.size() == count ? kCliDone
                                             : CliUsage(QStringLiteral("%1 %2").arg(m_o.command, what));
    }
    void PrepareSynchronizerEnvironment();
    int WaitForSynchronizer(qint32 catalogueId);
    QStringList UnhashedFiles(qint32 catalogueId);
    void ShowProgress(qint32 catalogueId, const QElapsedTimer& elapsed);
    void Say(const QString& text)
    {
        if (!m_o.quiet)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    int PrintQuery(const QString& sql);

    const CCliOptions& m_o;
    QString m_strDatabase;
    CCliInteraction m_ui;
    CMirrowelDoc m_doc;
    CDdeSynchLauncher m_launcher;
    QTextStream m_out;
};

class CPrintingQueryOutput final : public CQueryOutput
{
public:
    explicit CPrintingQueryOutput(std::function<void(const QString&)> print) : m_fnPrint(std::move(print)) {}
    void Show(qint32, const QString&, const QString& sql, const QString&, int) override { m_fnPrint(sql); }

private:
    std::function<void(const QString&)> m_fnPrint;
};

int CCommandRun::Run()
{
    if (m_o.command == QLatin1String("new"))
        return New();
    if (m_o.command == QLatin1String("check"))
        return Check();
    if (m_o.command == QLatin1String("repair"))
        return Repair();

    if (!CDbDatabase::IsServerAddress(m_strDatabase) && !QFileInfo::exists(m_strDatabase))
        return CliFail(QStringLiteral("%1 does not exist").arg(m_strDatabase));
    if (!m_doc.OpenDatabase(m_strDatabase, IsReadOnlyCliCommand(m_o.command) ? EDbOpenMode::ReadOnly
                                                                             : EDbOpenMode::ReadWrite))
        return CliFail(
            QStringLiteral("%1 could not be opened").arg(CDbDatabase::DisplayAddress(m_strDatabase)));
    if (!IsReadOnlyCliCommand(m_o.command) && !m_doc.CanWrite())
        return CliFail(QStringLiteral("%1 %2 changes the database, and %3 may only be read")
                           .arg(QStringLiteral("quarrane-cli"), m_o.command, m_strDatabase));
    try
    {
        if (m_o.command == QLatin1String("catalogues"))
            return Catalogues();
        if (m_o.command == QLatin1String("check-catalogues"))
            return CheckCatalogues();
        if (m_o.command == QLatin1String("checked"))
            return Checked();
        if (m_o.command == QLatin1String("run-query"))
            return RunQuery();
        if (m_o.command == QLatin1String("queries"))
            return Queries();
        if (m_o.command == QLatin1String("sql"))
            return Sql();
        if (m_o.command == QLatin1String("search"))
            return RunCliSearch(m_doc, m_o, m_out);
        if (m_o.command == QLatin1String("add-catalogue"))
            return AddCatalogue();
        if (m_o.command == QLatin1String("import"))
            return RunCliImport(m_doc, m_o);
        if (m_o.command == QLatin1String("delete-checked"))
            return DeleteCheckedCommand(m_doc, m_o, m_out);
        return SynchronizeOrUpdate();
    }
    catch (const CDbException& e)
    {
        return CliFail(CCliInteraction::CommandLineText(e.m_strDescription));
    }
}

int CCommandRun::New()
{
    if (const int usage = NeedArguments(0, QStringLiteral("takes a database only")))
        return usage;
    if (CDbDatabase::IsServerAddress(m_strDatabase))
    {
        QString error;
        return CreateServerCatalogue(m_strDatabase, &error) ? kCliDone : CliFail(error);
    }
    if (QFileInfo::exists(m_strDatabase))
        return CliFail(QStringLiteral("%1 exists already").arg(m_strDatabase));
    return m_doc.NewDatabase(m_strDatabase)
               ? kCliDone
               : CliFail(QStringLiteral("%1 could not be created").arg(m_strDatabase));
}

int CCommandRun::Catalogues()
{
    if (const int usage = NeedArguments(0, QStringLiteral("takes a database only")))
        return usage;
    CDbStatement st = m_doc.Database()->Prepare(QStringLiteral(
        "SELECT Catalogue.CatalogueId, Catalogue.Catalogue, Catalogue.Volume, Catalogue.VolumeSerial, "
        "Catalogue.Location, Catalogue.DriveType, Catalogue.GroupId, (SELECT Count(*) FROM File WHERE "
        "File.CatalogueId = Catalogue.CatalogueId AND File.Deleted=FALSE AND File.Ghost=FALSE) FROM "
        "Catalogue "
        "ORDER BY Catalogue.CatalogueId"));
    CCliTableWriter writer(m_out, m_o.format,
                           {"CatalogueId", "Catalogue", "Volume", "VolumeSerial", "Location", "DriveType",
                            "GroupId", "Files", "Online"});
    while (st.Step())
    {
        // Online: the catalogue's medium is mounted now, wherever it is mounted.
        const CCatalogueMedium medium{st.Value(0).ToLong(), st.Value(1).ToString(), st.Value(4).ToString(),
                                      st.Value(3).ToLong(), st.Value(2).ToString(), st.Value(5).ToString()};
        writer.Row({st.Value(0), st.Value(1), st.Value(2), CDbValue(SerialText(st.Value(3).ToLong())),
                    st.Value(4), st.Value(5), st.Value(6), st.Value(7),
                    CDbValue(IsCatalogueMediumOnline(ProcessVolumeTable(), medium))});
    }
    return kCliDone;
}

int CCommandRun::CheckCatalogues()
{
    CDbDatabase& db = *m_doc.Database();
    QList<qint32> chosen;
    for (const QString& text : m_o.arguments)
    {
        const std::optional<qint32> id = ParseId(text);
        if (!id)
            return CliUsage(QStringLiteral("not a catalogue identifier: %1").arg(text));
        chosen.append(*id);
    }
    if (m_o.all + m_o.none + !chosen.isEmpty() != 1)
        return CliUsage(QStringLiteral("check-catalogues takes --all, --none or catalogue identifiers"));

    QList<qint32> catalogues;
    {
        CDbStatement st = db.Prepare(QStringLiteral("SELECT CatalogueId FROM Catalogue"));
        while (st.Step())
            catalogues.append(st.Value(0).ToLong());
    }
    for (qint32 id : chosen)
        if (!catalogues.contains(id))
            return CliFail(QStringLiteral("there is no catalogue %1").arg(id));

    const bool written = m_doc.RetryPolicy().Run(QStringLiteral("quarrane-cli check-catalogues"),
                                                 [&]
                                                 {
                                                     CDbTransaction transaction(db);
                                                     for (qint32 id : catalogues)
                                                         WriteCatalogueUserSelection(
                                                             db, id, m_doc.UserName(),
                                                             m_o.all || chosen.contains(id), std::nullopt);
                                                     transaction.Commit();
                                                 });
    return written ? kCliDone : CliFail(QStringLiteral("the marks could not be written"));
}

// A stored query's SQL run for the user, as a query view would show it.
int CCommandRun::PrintQuery(const QString& sql)
{
    const QString userName = m_doc.UserName();
    CDbQueryDef query = m_doc.Database()->CreateQueryDef(SubstituteUserName(sql, userName));
    for (const QString& parameter : query.ParameterNames())
        if (parameter.compare(QLatin1String("ParamUserName"), Qt::CaseInsensitive) == 0)
            query.SetParameter(QStringLiteral("ParamUserName"), CDbValue(userName));
    CDbStatement rows = query.OpenRecordset();
    return PrintCliRows(m_out, m_o.format, rows, m_o.allColumns);
}

int CCommandRun::Checked()
{
    if (const int usage = NeedArguments(0, QStringLiteral("takes a database only")))
        return usage;
    PrintQuery(m_doc.Database()->OpenQueryDef(QStringLiteral("CheckedFiles")).Sql());
    return kCliDone;
}

int CCommandRun::RunQuery()
{
    if (const int usage = NeedArguments(1, QStringLiteral("needs a query name")))
        return usage;
    const QString name = m_o.arguments[0];
    const qint32 queryId = m_doc.Queries().QueryIdFromName(name);
    if (queryId == 0)
        return CliFail(
            QStringLiteral("there is no query named \"%1\" (quarrane-cli queries DB lists them)").arg(name));
    // Let go of the statements that decide it before the script runs: a statement still open
    // would keep the script's own steps from changing the tables it reads.
    if (const QString refusal = CliUnrunnableQueryReason(*m_doc.Database(), queryId, name);
        !refusal.isEmpty())
        return CliFail(refusal);
    CPrintingQueryOutput output([this](const QString& sql) { PrintQuery(sql); });
    m_doc.Queries().SetQueryOutput(&output);
    const bool completed = m_doc.Queries().ExecuteQuery(queryId);
    m_doc.Queries().SetQueryOutput(nullptr);
    return completed ? kCliDone : CliFail(QStringLiteral("the query \"%1\" did not complete").arg(name));
}

int CCommandRun::Queries()
{
    if (const int usage = NeedArguments(0, QStringLiteral("takes a database only")))
        return usage;
    CDbDatabase& db = *m_doc.Database();
    CCliTableWriter writer(m_out, m_o.format, {"Group", "Query"});
    // Depth first, as the query browser shows them: a level's groups (each with what it holds),
    // then its queries, both by name.
    std::function<void(qint32, const QString&, int)> addGroup =
        [&](qint32 groupId, const QString& path, int depth)
    {
        if (depth > 64) // a cycle of groups
            return;
        QList<std::pair<qint32, QString>> groups;
        {
            CDbStatement st =
                db.Prepare(QStringLiteral("SELECT QueryGroup.GroupId, QueryGroup.Group FROM [QueryGroup] "
                                          "WHERE ( QueryGroup.ParentGroupId=? ) ORDER BY QueryGroup.Group;"));
            st.Bind(1, groupId);
            while (st.Step())
                groups.append({st.Value(0).ToLong(), st.Value(1).ToString()});
        }
        for (const auto& [id, name] : groups)
            if (id != groupId)
                addGroup(id, path + QLatin1Char('/') + name, depth + 1);
        CDbStatement st = db.Prepare(
            groupId == 0 ? QStringLiteral("SELECT QueryId, QueryName FROM [Query] WHERE (GroupId Is Null AND "
                                          "Intermediate=FALSE) OR (GroupId=0) ORDER BY QueryName;")
                         : QStringLiteral("SELECT QueryId, QueryName FROM [Query] WHERE (GroupId=? AND "
                                          "Intermediate=FALSE) ORDER BY QueryName;"));
        if (groupId != 0)
            st.Bind(1, groupId);
        while (st.Step())
            writer.Row({CDbValue(path.isEmpty() ? QStringLiteral("/") : path), st.Value(1)});
    };
    addGroup(0, QString(), 0);
    return kCliDone;
}

int CCommandRun::Sql()
{
    if (const int usage = NeedArguments(1, QStringLiteral("needs one SQL statement")))
        return usage;
    CDbStatement rows = m_doc.Database()->PrepareSqlite(m_o.arguments[0]);
    // Every column as the statement names it, values as stored.
    const QStringList names = rows.ColumnNames();
    QList<CCliColumn> columns;
    for (int c = 0; c < names.size(); ++c)
        columns.append({names[c], CCliColumn::EKind::Plain, c});
    CCliTableWriter writer(m_out, m_o.format, names);
    while (rows.Step())
        writer.Row(PickCliRow(rows, columns));
    return kCliDone;
}

int CCommandRun::Check()
{
    if (const int usage = NeedArguments(0, QStringLiteral("takes a database only")))
        return usage;
    const bool server = CDbDatabase::IsServerAddress(m_strDatabase);
    const QString shown = CDbDatabase::DisplayAddress(m_strDatabase);
    if (!server && !QFileInfo::exists(m_strDatabase))
        return CliFail(QStringLiteral("%1 does not exist").arg(m_strDatabase));
    QList<CCliCheckResult> results;
    try
    {
        CDbDatabase db;
        db.Open(m_strDatabase, EDbOpenMode::ReadOnly);
        results = CheckCatalogueDatabase(db);
    }
    catch (const CDbException& e)
    {
        return CliFail(QStringLiteral("%1\nTry: quarrane-cli repair DB").arg(e.m_strDescription));
    }
    bool failed = false;
    for (const CCliCheckResult& result : results)
    {
        failed = failed || !result.problems.isEmpty();
        if (result.problems.isEmpty() && !m_o.quiet)
            m_out << result.name << ": ok\n";
        for (const QString& problem : result.problems)
            m_out << result.name << ": " << problem << '\n';
        if (!m_o.quiet)
            for (const QString& note : result.notes)
                m_out << result.name << ": note: " << note << '\n';
    }
    m_out.flush();
    if (failed)
        std::fprintf(stderr, "quarrane-cli: %s has problems (above); %s\n", qPrintable(shown),
                     server ? "quarrane-cli repair DB adds the server functions it lacks; the rest is the "
                              "catalogue owner's to mend"
                            : "quarrane-cli repair DB rebuilds what SQLite can");
    return failed ? kCliFailed : kCliDone;
}

int CCommandRun::Repair()
{
    if (const int usage = NeedArguments(0, QStringLiteral("takes a database only")))
        return usage;
    if (CDbDatabase::IsServerAddress(m_strDatabase))
        return RepairOnServer();
    if (!QFileInfo::exists(m_strDatabase))
        return CliFail(QStringLiteral("%1 does not exist").arg(m_strDatabase));
    if (!m_doc.CompactDatabase(m_strDatabase))
        return CliFail(QStringLiteral("%1 was not repaired; it is as it was").arg(m_strDatabase));
    Say(QStringLiteral("%1 repaired and compacted; the file as it was is in the trash").arg(m_strDatabase));
    return kCliDone;
}

// A server keeps its storage whole and compact itself (autovacuum): there is no file to rebuild.
// Opening the catalogue for writing adds the functions an earlier build left out; the rules it
// made too strict are mended here only, as the tables are locked meanwhile.
int CCommandRun::RepairOnServer()
{
    const QString shown = CDbDatabase::DisplayAddress(m_strDatabase);
    try
    {
        CDbDatabase db;
        db.Open(m_strDatabase);
        db.MendOutdatedServerRules();
        const QStringList missing = db.MissingServerFunctions();
        if (!missing.isEmpty())
            return CliFail(QStringLiteral("%1 still lacks the server functions %2: this login may not create "
                                          "functions there; run the same command as the catalogue's owner")
                               .arg(shown, missing.join(QStringLiteral(", "))));
    }
    catch (const CDbException& e)
    {
        return CliFail(QStringLiteral("%1 was not repaired: %2").arg(shown, e.m_strDescription));
    }
    Say(QStringLiteral("%1 has everything this version needs; the server keeps its own storage compact")
            .arg(shown));
    return kCliDone;
}

// The synchronizer we start works unattended and offscreen when nobody is at a display, and ends
// once it has nothing left to do.
void CCommandRun::PrepareSynchronizerEnvironment()
{
    qputenv("QUARRANE_SYNCH_UNATTENDED", "1");
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void CCommandRun::ShowProgress(qint32 catalogueId, const QElapsedTimer& elapsed)
{
    try
    {
        CDbStatement st = m_doc.Database()->Prepare(
            QStringLiteral("SELECT Count(*), Sum(FileSizeDouble), Sum(IIf(Len(TTH)=39, 1, 0)) FROM File "
                           "WHERE CatalogueId=? AND Deleted=FALSE"));
        st.Bind(1, catalogueId);
        if (!st.Step())
            return;
        const double seconds = qMax<double>(1, elapsed.elapsed() / 1000.0);
        const double bytes = st.Value(1).ToDouble();
        std::fprintf(stderr, "\r%s files, %s, %s hashed, %s/s   ",
                     qPrintable(QString::number(st.Value(0).ToLong())), qPrintable(ByteText(bytes)),
                     qPrintable(QString::number(st.Value(2).ToLong())),
                     qPrintable(ByteText(bytes / seconds)));
        std::fflush(stderr);
    }
    catch (const CDbException&)
    {
        // The synchronizer holds the database for a moment: the next tick shows it.
    }
}

int CCommandRun::WaitForSynchronizer(qint32 catalogueId)
{
    if (m_o.noWait || m_launcher.SentCount() == 0)
        return kCliDone;
    const bool progress = !m_o.quiet && StandardErrorIsTerminal();
    QElapsedTimer elapsed;
    elapsed.start();
    std::optional<quint32> result;
    QDeadlineTimer deadline(kWaitMs);
    while (!deadline.hasExpired())
    {
        result = m_launcher.WaitForLastFinal(kProgressMs);
        if (result || !m_launcher.IsLastConnected())
            break;
        if (progress)
            ShowProgress(catalogueId, elapsed);
    }
    // The last figures stay on the terminal: what was catalogued, however short the wait.
    if (progress && result)
    {
        ShowProgress(catalogueId, elapsed);
        std::fprintf(stderr, "\n");
    }
    if (!result)
    {
        std::fprintf(stderr, "quarrane-cli: the synchronizer ended before it reported how the work went\n");
        return kCliSynchronizerProblem;
    }
    if (*result != 0)
    {
        const QStringList unread = *result == kSynchFilesUnread ? UnhashedFiles(catalogueId) : QStringList();
        if (!unread.isEmpty())
            std::fprintf(stderr, "quarrane-cli: %s could not be read:\n  %s\n",
                         qPrintable(unread.size() == 1 ? QStringLiteral("1 file")
                                                       : QStringLiteral("%1 files").arg(unread.size())),
                         qPrintable(unread.join(QStringLiteral("\n  "))));
        else
            std::fprintf(
                stderr, "quarrane-cli: %s (details in %s)\n", qPrintable(SynchronizerResultText(*result)),
                qPrintable(
                    QFileInfo(ErrorLogPath()).dir().filePath(QStringLiteral("QuarraneSynchError.log"))));
        return kCliSynchronizerProblem;
    }
    return kCliDone;
}

QStringList CCommandRun::UnhashedFiles(qint32 catalogueId)
{
    // The synchronizer names the files it could not read only in its log; what it could not hash
    // is what the catalogue still holds without a TTH once a request that hashes has ended.
    QStringList paths;
    try
    {
        const bool hashing =
            m_o.command == QLatin1String("update-tth") ||
            m_doc
                .Lookup(QStringLiteral("SELECT UpdateTTH FROM Catalogue WHERE CatalogueId=?"),
                        CDbValue(catalogueId), QStringLiteral("quarrane-cli"))
                .ToBool();
        if (!hashing)
            return paths;
        CDbStatement st = m_doc.Database()->Prepare(QStringLiteral(
            "SELECT Catalogue.Location, RelativePath.RelativePath, File.File FROM (File INNER JOIN Catalogue "
            "ON File.CatalogueId = Catalogue.CatalogueId) LEFT JOIN RelativePath ON File.RelativePathId = "
            "RelativePath.RelativePathId WHERE File.CatalogueId=? AND File.Deleted=FALSE AND "
            "File.Ghost=FALSE AND (File.TTH Is Null OR File.TTH='') ORDER BY RelativePath.RelativePath, "
            "File.File"));
        st.Bind(1, catalogueId);
        while (st.Step())
            paths.append(
                CatalogueFilePath(st.Value(0).ToString(), st.Value(1).ToString(), st.Value(2).ToString()));
    }
    catch (const CDbException&)
    {
        // The result's own words say enough.
    }
    return paths;
}

int CCommandRun::AddCatalogue()
{
    if (m_o.name.trimmed().isEmpty() || m_o.location.isEmpty() || !m_o.arguments.isEmpty())
        return CliUsage(QStringLiteral("add-catalogue needs --name and --location"));
    const QString location = QFileInfo(m_o.location).absoluteFilePath();
    const QFileInfo info(location);
    if (info.exists() && !info.isDir())
        return CliFail(QStringLiteral("the location %1 is not a folder").arg(location));
    if (!info.exists() && !m_o.createLocation)
        return CliFail(
            QStringLiteral("the location %1 does not exist (--create-location creates it)").arg(location));

    // Two catalogues of one name cannot be told apart in a list or a query's result.
    const QString name = m_o.name.trimmed();
    if (!m_o.allowSameName)
    {
        CDbStatement same = m_doc.Database()->Prepare(QStringLiteral(
            "SELECT CatalogueId, Catalogue FROM Catalogue WHERE Catalogue=? ORDER BY CatalogueId"));
        same.Bind(1, CDbValue(name));
        if (same.Step())
            return CliFail(
                QStringLiteral("catalogue %1 is named \"%2\" already (--allow-same-name adds another)")
                    .arg(same.Value(0).ToLong())
                    .arg(same.Value(1).ToString()));
    }

    if (!info.exists())
    {
        QString problem;
        QString solution;
        if (CreateFolderPath(location, &problem, &solution) != 0)
            return CliFail(QStringLiteral("the location %1 could not be created: %2").arg(location, problem));
    }

    PrepareSynchronizerEnvironment();
    qint32 group = m_o.group.value_or(0);
    int shown = 0;
    const qint32 id =
        m_doc.Catalogues().NewCatalogue(group, QString(),
                                        [&](CCatalogueDialogData& data)
                                        {
                                            if (shown++ > 0)
                                                return false; // refused once: the reason is on stderr
                                            m_doc.Catalogues().SetCatalogueDialogLocation(data, location);
                                            data.strCatalogue = name;
                                            data.lGroupId = group;
                                            data.bUpdateTTH = m_o.updateTTH;
                                            data.bDeleteDuplicates = m_o.deleteDuplicates;
                                            return true;
                                        });
    if (id <= 0)
        return CliFail(QStringLiteral("the catalogue was not created"));
    std::printf("%d\n", id);
    std::fflush(stdout);
    if (m_launcher.SentCount() == 0)
        return CliFail(
            QStringLiteral("catalogue %1 was created, but the synchronizer could not be reached to fill it; "
                           "quarrane-cli synchronize DB %1 tries again")
                .arg(id));
    return WaitForSynchronizer(id);
}

int CCommandRun::SynchronizeOrUpdate()
{
    if (m_o.arguments.size() != 1)
        return CliUsage(QStringLiteral("%1 needs a catalogue identifier").arg(m_o.command));
    const std::optional<qint32> id = ParseId(m_o.arguments[0]);
    if (!id)
        return CliUsage(QStringLiteral("not a catalogue identifier: %1").arg(m_o.arguments[0]));
    if (m_doc.Catalogues().GetCatalogueNameFromCatalogueId(*id).isEmpty())
        return CliFail(QStringLiteral("there is no catalogue %1").arg(*id));
    PrepareSynchronizerEnvironment();
    if (m_o.command == QLatin1String("synchronize"))
        m_doc.Catalogues().SynchronizeCatalogue(*id);
    else
        m_doc.Catalogues().UpdateCatalogueTTH(*id);
    if (m_launcher.SentCount() == 0)
        return CliFail(QStringLiteral("the synchronizer could not be reached"));
    return WaitForSynchronizer(*id);
}
} // namespace

QString SynchronizerResultText(quint32 result)
{
    // One table for every result the synchronizer reports for a request.
    static const std::pair<quint32, const char*> words[] = {
        {0, ""},
        {2, "the synchronizer did not find the catalogue's folder or one of its files"},
        {3, "the synchronizer left out files or folders it could not read or store; its log names each"},
        {30, "the synchronizer could not read some files; they are not catalogued or not hashed"},
        {4313, "the synchronizer refused the database: it was made by another version of Quarrane"},
    };
    for (const auto& [number, text] : words)
        if (number == result)
            return QString::fromLatin1(text);
    return QStringLiteral("the synchronizer did not finish the work (its result was %1)").arg(result);
}

int RunCliCommand(const CCliOptions& options)
{
    SetErrorLogProgramName(QStringLiteral("Quarrane"));
    if (options.command == QLatin1String("export"))
        return RunCliExport(options);
    CCommandRun run(options);
    return run.Run();
}

int CliUsage(const QString& problem)
{
    std::fprintf(stderr, "quarrane-cli: %s\n(quarrane-cli --help tells how to use it)\n",
                 qPrintable(problem));
    return kCliUsage;
}

int CliFail(const QString& message)
{
    std::fprintf(stderr, "quarrane-cli: %s\n", qPrintable(message));
    return kCliFailed;
}
