// quarrane-cli: the browser's document operations for scripts and tests.
#include "browser/CatalogueStore.h"
#include "browser/CatalogueUserSelection.h"
#include "browser/MirrowelDoc.h"
#include "browser/QueryOutput.h"
#include "browser/QueryRunner.h"
#include "browser/SqlText.h"
#include "browser/SynchLauncher.h"
#include "browser/SynchLink.h"
#include "browser/VolumeIdentity.h"
#include "common/DbException.h"
#include "common/DdeSender.h"
#include "common/ErrorLog.h"
#include "common/ProductVersion.h"
#include "common/UnattendedInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbQueryDef.h"
#include "database/DbRetryPolicy.h"
#include "database/DbTransaction.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <optional>

namespace
{
const char* const kUsage =
    "Usage:\n"
    "  quarrane-cli new DB\n"
    "  quarrane-cli add-catalogue DB --name NAME --location PATH [--group ID] [--update-tth]\n"
    "                             [--delete-duplicates] [--no-wait]\n"
    "  quarrane-cli synchronize DB CATALOGUE_ID [--no-wait]\n"
    "  quarrane-cli update-tth DB CATALOGUE_ID [--no-wait]\n"
    "  quarrane-cli catalogues DB\n"
    "  quarrane-cli check-catalogues DB (--all | --none | CATALOGUE_ID...)\n"
    "  quarrane-cli run-query DB \"QUERY NAME\"   (prints the query's result)\n"
    "  quarrane-cli checked DB                  (prints the checked files)\n"
    "Common options: --user NAME (act for another user's marks), --help, --version\n"
    "Without --no-wait, the commands that start the synchronizer wait until it has done the work\n"
    "and fail when it reports a problem. Exit status: 0 done, 1 failed (the reason on stderr),\n"
    "2 wrong usage.\n";

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;
// How long a waiting command waits for the synchronizer: a large catalogue takes hours.
constexpr int kWaitMs = 7 * 24 * 3600 * 1000;

int Usage(const QString& problem)
{
    std::fprintf(stderr, "quarrane-cli: %s\n%s", qPrintable(problem), kUsage);
    return kUsageError;
}

int Fail(const QString& message)
{
    std::fprintf(stderr, "quarrane-cli: %s\n", qPrintable(message));
    return kFailed;
}

struct Options
{
    QStringList positional;
    QString name;
    QString location;
    std::optional<qint32> group;
    bool updateTTH = false;
    bool deleteDuplicates = false;
    bool noWait = false;
    bool all = false;
    bool none = false;
    QString user;
};

std::optional<qint32> ParseId(const QString& text)
{
    bool ok = false;
    const qint32 id = text.toInt(&ok);
    return ok && id > 0 ? std::optional<qint32>(id) : std::nullopt;
}

// The synchronizer we start works unattended and offscreen when nobody is at a display, and ends
// once it has nothing left to do.
void PrepareSynchronizerEnvironment()
{
    qputenv("QUARRANE_SYNCH_UNATTENDED", "1");
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

int WaitForSynchronizer(CDdeSynchLauncher& launcher, bool noWait)
{
    if (noWait || launcher.SentCount() == 0)
        return kDone;
    const std::optional<quint32> result = launcher.WaitForLastFinal(kWaitMs);
    if (!result)
        return Fail(QStringLiteral("the synchronizer ended before reporting the result"));
    if (*result != 0)
        return Fail(QStringLiteral("the synchronizer reported result %1").arg(*result));
    return kDone;
}

// Prints rows tab-separated under a header of their column names.
void PrintRows(CDbStatement& rows)
{
    QTextStream out(stdout);
    out << rows.ColumnNames().join(QLatin1Char('\t')) << '\n';
    while (rows.Step())
    {
        for (int c = 0; c < rows.ColumnCount(); ++c)
            out << (c ? "\t" : "") << rows.Value(c).ToString();
        out << '\n';
    }
}

// A stored query's SQL run for the user, as a query view would show it.
void PrintQuery(CDbDatabase& db, const QString& sql, const QString& userName)
{
    CDbQueryDef query = db.CreateQueryDef(SubstituteUserName(sql, userName));
    for (const QString& parameter : query.ParameterNames())
        if (parameter.toLower() == QStringLiteral("paramusername"))
            query.SetParameter(QStringLiteral("ParamUserName"), CDbValue(userName));
    CDbStatement rows = query.OpenRecordset();
    PrintRows(rows);
}

class CStdoutQueryOutput final : public CQueryOutput
{
public:
    CStdoutQueryOutput(CDbDatabase& db, QString userName) : m_db(db), m_strUserName(std::move(userName)) {}
    void Show(qint32, const QString&, const QString& sql, const QString&, int) override
    {
        PrintQuery(m_db, sql, m_strUserName);
        shown = true;
    }
    bool shown = false;

private:
    CDbDatabase& m_db;
    QString m_strUserName;
};

int ListCatalogues(CDbDatabase& db)
{
    QTextStream out(stdout);
    out << "CatalogueId\tCatalogue\tVolume\tVolumeSerial\tLocation\tDriveType\tGroupId\tFiles\n";
    CDbStatement st = db.Prepare(QStringLiteral(
        "SELECT Catalogue.CatalogueId, Catalogue.Catalogue, Catalogue.Volume, Catalogue.VolumeSerial, "
        "Catalogue.Location, Catalogue.DriveType, Catalogue.GroupId, (SELECT Count(*) FROM File WHERE "
        "File.CatalogueId = Catalogue.CatalogueId AND File.Deleted=FALSE AND File.Ghost=FALSE) FROM Catalogue "
        "ORDER BY Catalogue.CatalogueId"));
    while (st.Step())
        out << st.Value(0).ToLong() << '\t' << st.Value(1).ToString() << '\t' << st.Value(2).ToString() << '\t'
            << SerialText(st.Value(3).ToLong()) << '\t' << st.Value(4).ToString() << '\t' << st.Value(5).ToString()
            << '\t' << st.Value(6).ToLong() << '\t' << st.Value(7).ToLong() << '\n';
    return kDone;
}

int CheckCatalogues(CMirrowelDoc& doc, const Options& options)
{
    CDbDatabase& db = *doc.Database();
    QList<qint32> chosen;
    for (const QString& text : options.positional.mid(2))
    {
        const std::optional<qint32> id = ParseId(text);
        if (!id)
            return Usage(QStringLiteral("not a catalogue identifier: %1").arg(text));
        chosen.append(*id);
    }
    if (options.all + options.none + !chosen.isEmpty() != 1)
        return Usage(QStringLiteral("check-catalogues takes --all, --none or catalogue identifiers"));

    QList<qint32> catalogues;
    CDbStatement st = db.Prepare(QStringLiteral("SELECT CatalogueId FROM Catalogue"));
    while (st.Step())
        catalogues.append(st.Value(0).ToLong());
    st.Reset();
    for (qint32 id : chosen)
        if (!catalogues.contains(id))
            return Fail(QStringLiteral("there is no catalogue %1").arg(id));

    const bool written = doc.RetryPolicy().Run(QStringLiteral("quarrane-cli check-catalogues"), [&] {
        CDbTransaction transaction(db);
        for (qint32 id : catalogues)
            WriteCatalogueUserSelection(db, id, doc.UserName(), options.all || chosen.contains(id),
                                        std::nullopt);
        transaction.Commit();
    });
    return written ? kDone : Fail(QStringLiteral("the marks could not be written"));
}
} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    SetErrorLogProgramName(QStringLiteral("Quarrane"));
    Options options;
    const QStringList arguments = app.arguments().mid(1);
    for (qsizetype i = 0; i < arguments.size(); ++i)
    {
        const QString& a = arguments[i];
        auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= arguments.size())
                return std::nullopt;
            return arguments[++i];
        };
        if (a == QStringLiteral("--help"))
        {
            std::printf("%s", kUsage);
            return kDone;
        }
        if (a == QStringLiteral("--version"))
        {
            std::printf("%s\n", qPrintable(ProductVersionLine(QStringLiteral("Quarrane"))));
            return kDone;
        }
        if (a == QStringLiteral("--name") || a == QStringLiteral("--location") || a == QStringLiteral("--group") ||
            a == QStringLiteral("--user"))
        {
            const std::optional<QString> v = value();
            if (!v)
                return Usage(QStringLiteral("%1 needs a value").arg(a));
            if (a == QStringLiteral("--name"))
                options.name = *v;
            else if (a == QStringLiteral("--location"))
                options.location = *v;
            else if (a == QStringLiteral("--user"))
                options.user = *v;
            else
            {
                bool ok = false;
                options.group = v->toInt(&ok);
                if (!ok || *options.group < 0)
                    return Usage(QStringLiteral("not a group identifier: %1").arg(*v));
            }
        }
        else if (a == QStringLiteral("--update-tth"))
            options.updateTTH = true;
        else if (a == QStringLiteral("--delete-duplicates"))
            options.deleteDuplicates = true;
        else if (a == QStringLiteral("--no-wait"))
            options.noWait = true;
        else if (a == QStringLiteral("--all"))
            options.all = true;
        else if (a == QStringLiteral("--none"))
            options.none = true;
        else if (a.startsWith(QStringLiteral("--")))
            return Usage(QStringLiteral("unknown option %1").arg(a));
        else
            options.positional.append(a);
    }
    if (options.positional.size() < 2)
        return Usage(QStringLiteral("a command and a database are needed"));
    const QString command = options.positional[0];
    const QString database = QFileInfo(options.positional[1]).absoluteFilePath();

    CUnattendedInteraction ui;
    SetProcessUserInteraction(&ui);
    CMirrowelDoc doc(ui);
    if (!options.user.isEmpty())
        doc.SetUserName(options.user);
    CDdeSynchLauncher launcher(ui, SynchronizerProgramPath());
    doc.Synch().SetSynchLauncher(&launcher);

    if (command == QStringLiteral("new"))
    {
        if (options.positional.size() != 2)
            return Usage(QStringLiteral("new takes a database only"));
        if (QFileInfo::exists(database))
            return Fail(QStringLiteral("%1 exists already").arg(database));
        return doc.NewDatabase(database) ? kDone : Fail(QStringLiteral("%1 could not be created").arg(database));
    }

    const QStringList known = {"add-catalogue", "synchronize",  "update-tth", "catalogues",
                               "check-catalogues", "run-query", "checked"};
    if (!known.contains(command))
        return Usage(QStringLiteral("unknown command %1").arg(command));
    if (!QFileInfo::exists(database))
        return Fail(QStringLiteral("%1 does not exist").arg(database));
    if (!doc.OpenDatabase(database))
        return Fail(QStringLiteral("%1 could not be opened").arg(database));

    try
    {
        if (command == QStringLiteral("catalogues"))
            return options.positional.size() == 2 ? ListCatalogues(*doc.Database())
                                                  : Usage(QStringLiteral("catalogues takes a database only"));
        if (command == QStringLiteral("check-catalogues"))
            return CheckCatalogues(doc, options);
        if (command == QStringLiteral("checked"))
        {
            if (options.positional.size() != 2)
                return Usage(QStringLiteral("checked takes a database only"));
            PrintQuery(*doc.Database(), doc.Database()->OpenQueryDef(QStringLiteral("CheckedFiles")).Sql(),
                       doc.UserName());
            return kDone;
        }
        if (command == QStringLiteral("run-query"))
        {
            if (options.positional.size() != 3)
                return Usage(QStringLiteral("run-query needs a query name"));
            const qint32 queryId = doc.Queries().QueryIdFromName(options.positional[2]);
            if (queryId == 0)
                return Fail(QStringLiteral("there is no query named \"%1\"").arg(options.positional[2]));
            CStdoutQueryOutput output(*doc.Database(), doc.UserName());
            doc.Queries().SetQueryOutput(&output);
            const bool completed = doc.Queries().ExecuteQuery(queryId);
            doc.Queries().SetQueryOutput(nullptr);
            return completed ? kDone : Fail(QStringLiteral("the query did not complete"));
        }
        if (command == QStringLiteral("add-catalogue"))
        {
            if (options.name.isEmpty() || options.location.isEmpty() || options.positional.size() != 2)
                return Usage(QStringLiteral("add-catalogue needs --name and --location"));
            if (!options.noWait)
                PrepareSynchronizerEnvironment();
            qint32 group = options.group.value_or(0);
            int shown = 0;
            const qint32 id =
                doc.Catalogues().NewCatalogue(group, QString(),
                                              [&](CCatalogueDialogData& data)
                                              {
                                                  if (shown++ > 0)
                                                      return false; // refused once: the reason is on stderr
                                                  doc.Catalogues().SetCatalogueDialogLocation(
                                                      data, QFileInfo(options.location).absoluteFilePath());
                                                  data.strCatalogue = options.name;
                                                  data.lGroupId = group;
                                                  data.bUpdateTTH = options.updateTTH;
                                                  data.bDeleteDuplicates = options.deleteDuplicates;
                                                  return true;
                                              });
            if (id <= 0)
                return Fail(QStringLiteral("the catalogue was not created"));
            std::printf("%d\n", id);
            std::fflush(stdout);
            return WaitForSynchronizer(launcher, options.noWait);
        }
        // synchronize and update-tth
        if (options.positional.size() != 3)
            return Usage(QStringLiteral("%1 needs a catalogue identifier").arg(command));
        const std::optional<qint32> id = ParseId(options.positional[2]);
        if (!id)
            return Usage(QStringLiteral("not a catalogue identifier: %1").arg(options.positional[2]));
        if (doc.Catalogues().GetCatalogueNameFromCatalogueId(*id).isEmpty())
            return Fail(QStringLiteral("there is no catalogue %1").arg(*id));
        if (!options.noWait)
            PrepareSynchronizerEnvironment();
        if (command == QStringLiteral("synchronize"))
            doc.Catalogues().SynchronizeCatalogue(*id);
        else
            doc.Catalogues().UpdateCatalogueTTH(*id);
        if (launcher.SentCount() == 0)
            return Fail(QStringLiteral("the synchronizer could not be reached"));
        return WaitForSynchronizer(launcher, options.noWait);
    }
    catch (const CDbException& e)
    {
        return Fail(e.m_strDescription);
    }
}
