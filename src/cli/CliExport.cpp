#include "cli/CliExport.h"

#include "browser/MirrowelDoc.h"
#include "browser/QueryOutput.h"
#include "browser/QueryRunner.h"
#include "browser/RecordSetList.h"
#include "browser/filelist/FileListExport.h"
#include "browser/filelist/FileListSql.h"
#include "browser/models/FieldViewColumns.h"
#include "cli/CliCommands.h"
#include "cli/CliInteraction.h"
#include "cli/CliOptions.h"
#include "common/DbException.h"
#include "common/FilePath.h"
#include "common/UserInteraction.h"
#include "database/DbDatabase.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

namespace
{
// Keeps what a query run hands to the file list.
class CCapturedQueryOutput final : public CQueryOutput
{
public:
    void Show(qint32, const QString&, const QString& sql, const QString& groupingOrderBy,
              int groupingDepth) override
    {
        m_strSql = sql;
        m_strGroupingOrderBy = groupingOrderBy;
        m_nGroupingDepth = groupingDepth;
    }
    QString m_strSql;
    QString m_strGroupingOrderBy;
    int m_nGroupingDepth = 0;
};

class CExportRun final
{
public:
    explicit CExportRun(const CCliOptions& options) : m_o(options), m_doc(m_ui)
    {
        SetProcessUserInteraction(&m_ui);
        if (!m_o.user.isEmpty())
            m_doc.SetUserName(m_o.user);
    }
    ~CExportRun() { SetProcessUserInteraction(nullptr); }
    CExportRun(const CExportRun&) = delete;
    CExportRun& operator=(const CExportRun&) = delete;

    int Run();

private:
    int ListQuery(CRecordSetList& list);
    int ListFolder(CRecordSetList& list);

    const CCliOptions& m_o;
    CCliInteraction m_ui;
    CMirrowelDoc m_doc;
};

int CExportRun::Run()
{
    if (m_o.arguments.size() != 1)
        return CliUsage(QStringLiteral("export needs the file to write"));
    if (m_o.query.isEmpty() == m_o.catalogue.isEmpty())
        return CliUsage(QStringLiteral("export needs either --query or --catalogue"));
    if (m_o.folder && m_o.catalogue.isEmpty())
        return CliUsage(QStringLiteral("--folder goes with --catalogue"));
    const QString out = m_o.arguments[0];
    std::optional<CFileListExport::EFormat> format;
    if (m_o.formatGiven)
    {
        if (m_o.format == ECliFormat::Json)
            return CliUsage(QStringLiteral("export writes csv or tsv"));
        format =
            m_o.format == ECliFormat::Csv ? CFileListExport::EFormat::Csv : CFileListExport::EFormat::Tsv;
    }
    else
        format = CFileListExport::FormatFromName(out);
    if (!format)
        return CliUsage(
            QStringLiteral("the format of %1 is not known: name it .csv or .tsv, or give --format").arg(out));

    const bool server = CDbDatabase::IsServerAddress(m_o.database);
    const QString database = server ? m_o.database : QFileInfo(m_o.database).absoluteFilePath();
    const QString shown = CDbDatabase::DisplayAddress(database);
    if (!server && !QFileInfo::exists(database))
        return CliFail(QStringLiteral("%1 does not exist").arg(database));
    // A query marks the files it finds, for the user: it writes. A folder is only read.
    const bool writes = !m_o.query.isEmpty();
    if (!m_doc.OpenDatabase(database, writes ? EDbOpenMode::ReadWrite : EDbOpenMode::ReadOnly))
        return CliFail(QStringLiteral("%1 could not be opened").arg(shown));
    if (writes && !m_doc.CanWrite())
        return CliFail(
            QStringLiteral("running a query changes the database, and %1 may only be read").arg(shown));

    try
    {
        CRecordSetList list;
        list.SetUserName(m_doc.UserName());
        if (const int failed = writes ? ListQuery(list) : ListFolder(list))
            return failed;
        QSaveFile file(out);
        if (!file.open(QIODevice::WriteOnly))
            return CliFail(QStringLiteral("%1 could not be written: %2").arg(out, file.errorString()));
        QString error;
        const qint64 rows =
            CFileListExport::FromList(list).Write(*m_doc.Database(), file, *format, nullptr, &error);
        if (rows < 0)
            return CliFail(QStringLiteral("%1 was not written: %2").arg(out, error));
        if (!file.commit())
            return CliFail(QStringLiteral("%1 could not be written: %2").arg(out, file.errorString()));
        if (!m_o.quiet)
            std::fprintf(stderr, "%lld files exported to %s\n", static_cast<long long>(rows),
                         qPrintable(out));
        return kCliDone;
    }
    catch (const CDbException& e)
    {
        return CliFail(CCliInteraction::CommandLineText(e.m_strDescription));
    }
}

int CExportRun::ListQuery(CRecordSetList& list)
{
    CDbDatabase& db = *m_doc.Database();
    const qint32 queryId = m_doc.Queries().QueryIdFromName(m_o.query);
    if (queryId == 0)
        return CliFail(QStringLiteral("there is no query named \"%1\" (quarrane-cli queries DB lists them)")
                           .arg(m_o.query));
    const QString refusal = CliUnrunnableQueryReason(db, queryId, m_o.query);
    if (!refusal.isEmpty())
        return CliFail(refusal);
    CCapturedQueryOutput output;
    m_doc.Queries().SetQueryOutput(&output);
    const bool completed = m_doc.Queries().ExecuteQuery(queryId);
    m_doc.Queries().SetQueryOutput(nullptr);
    if (!completed)
        return CliFail(QStringLiteral("the query \"%1\" did not complete").arg(m_o.query));
    if (output.m_strSql.isEmpty())
        return CliFail(QStringLiteral("the query \"%1\" shows no list to export").arg(m_o.query));
    CFieldViewColumns view;
    view.Load(db, m_doc.UserName(),
              CFieldViewColumns::CurrentViewName(db, m_doc.UserName(), CFieldViewColumns::ListKind::Query));
    view.ApplyTo(list);
    list.DataCtrl_SetSQL(output.m_strSql);
    list.DataCtrl_SetGrouping(output.m_strGroupingOrderBy, output.m_nGroupingDepth);
    return kCliDone;
}

int CExportRun::ListFolder(CRecordSetList& list)
{
    CDbDatabase& db = *m_doc.Database();
    qint32 catalogueId = 0;
    {
        CDbStatement st = db.Prepare(
            QStringLiteral("SELECT CatalogueId FROM Catalogue WHERE Catalogue=? ORDER BY CatalogueId"));
        st.Bind(1, m_o.catalogue);
        if (!st.Step())
            return CliFail(
                QStringLiteral("there is no catalogue named \"%1\" (quarrane-cli catalogues DB lists them)")
                    .arg(m_o.catalogue));
        catalogueId = st.Value(0).ToLong();
        if (st.Step())
            return CliFail(QStringLiteral("more than one catalogue is named \"%1\"").arg(m_o.catalogue));
    }
    qint32 relativePathId = 0;
    const QString folder = m_o.folder ? RelativePathText(*m_o.folder) : QString();
    if (!folder.isEmpty())
    {
        // The folder's row, among those the catalogue's files use.
        CDbStatement st = db.Prepare(QStringLiteral(
            "SELECT RelativePath.RelativePathId FROM RelativePath WHERE RelativePath.RelativePath=? "
            "AND RelativePath.RelativePathId IN (SELECT File.RelativePathId FROM File WHERE "
            "File.CatalogueId=?) ORDER BY RelativePath.RelativePathId"));
        st.Bind(1, folder).Bind(2, catalogueId);
        if (!st.Step())
            return CliFail(
                QStringLiteral("catalogue \"%1\" has no folder %2").arg(m_o.catalogue, *m_o.folder));
        relativePathId = st.Value(0).ToLong();
    }
    CFieldViewColumns view;
    view.Load(db, m_doc.UserName(),
              CFieldViewColumns::CurrentViewName(db, m_doc.UserName(), CFieldViewColumns::ListKind::Folder));
    view.ApplyTo(list);
    const SFolderViewSql sql = FolderViewSql(m_doc.UserName(), catalogueId, relativePathId);
    list.DataCtrl_SetFrom(sql.from);
    list.DataCtrl_SetWhere(sql.where);
    return kCliDone;
}
} // namespace

QString CliUnrunnableQueryReason(CDbDatabase& db, qint32 queryId, const QString& name)
{
    // The building blocks the query browser hides include actions only the window carries out
    // ("Delete Checked Files", "Slide Show 5secs"): run here they would print rows and report
    // success having done nothing of what their names say.
    CDbStatement kind = db.Prepare(QStringLiteral("SELECT Intermediate FROM Query WHERE QueryId=?"));
    kind.Bind(1, queryId);
    if (kind.Step() && kind.Value(0).ToBool())
        return QStringLiteral(
                   "\"%1\" is not a query quarrane-cli can run (quarrane-cli queries DB lists those): "
                   "nothing was run or changed")
            .arg(name);
    CDbStatement steps = db.Prepare(
        QStringLiteral("SELECT Query FROM QueryEntry WHERE QueryId=? AND EntryType=3 ORDER BY QueryEntry"));
    steps.Bind(1, queryId);
    while (steps.Step())
    {
        const QString routine = steps.Value(0).ToString().section(QLatin1Char('('), 0, 0).trimmed();
        if (routine.compare(QLatin1String("DeleteCheckedFiles"), Qt::CaseInsensitive) == 0)
            return QStringLiteral(
                       "\"%1\" deletes files, which quarrane-cli cannot do yet: nothing was run or deleted")
                .arg(name);
    }
    return QString();
}

int RunCliExport(const CCliOptions& options)
{
    CExportRun run(options);
    return run.Run();
}
