#include "browser/import/MwImportCommand.h"

#include "browser/JobRunner.h"
#include "browser/MirrowelDoc.h"
#include "browser/import/MwImport.h"
#include "common/DbException.h"
#include "common/UserInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbServices.h"

#include <memory>

namespace
{
const QString kDownloadAddress = QStringLiteral("https://www.brevold.org/quarrane");

// The version of the database at path; nothing (and the person told why) when it cannot be read.
std::optional<double> ImportVersion(CUserInteraction& ui, const QString& path)
{
    try
    {
        CDbDatabase db;
        db.Open(path, EDbOpenMode::ReadOnly);
        const double version = GetDatabaseVersion(&db);
        db.Close();
        return version;
    }
    catch (const CDbException& e)
    {
        ui.MessageBox(e.m_strDescription, QStringLiteral("Database Error"), MsgIcon::Error, MsgButtons::Ok);
        return std::nullopt;
    }
}
} // namespace

QString MwImportDialogCaption()
{
    return QStringLiteral("Import to Current Quarrane Database");
}

QString MwImportDialogFilter()
{
    return QStringLiteral("Quarrane Files (*.qrl)");
}

QString MwImportServerCaption()
{
    return QStringLiteral("Import from Server Catalogue");
}

bool OnMwFileImport(CMirrowelDoc& doc, const std::optional<QString>& chosenPath,
                    std::function<void(const SMwImportResult&)> done)
{
    if (!chosenPath || chosenPath->isEmpty() || !doc.CanWrite())
        return false;
    CUserInteraction& ui = doc.Interaction();
    const std::optional<double> version = ImportVersion(ui, *chosenPath);
    if (!version)
        return false;
    if (*version > CMirrowelDoc::kVersion)
    {
        ui.MessageBox(QStringLiteral("Please download the latest version of Quarrane from\r\n\r\n    ") +
                          kDownloadAddress,
                      QStringLiteral("Database Created from Newer Version of Quarrane"), MsgIcon::Warning,
                      MsgButtons::Ok);
        return false;
    }

    doc.ShowStatus(QStringLiteral("Importing database..."));
    ui.BeginWaitCursor();
    // A job that ends before its body ran (its connection could not be opened) imported nothing.
    auto result = std::make_shared<SMwImportResult>(SMwImportResult{-1, QString(), QString()});
    const bool started = doc.Jobs().Start(
        {QStringLiteral("CMwImport::Import()"), doc.Path(), doc.UserName(), true},
        [path = *chosenPath, result](CJobContext& job)
        {
            CMwImport import(job.Database(), job.Interaction(), [&job] { return job.ShouldContinue(); });
            *result = import.Import(path);
            return result->Succeeded();
        },
        [&doc, &ui, result, done = std::move(done)](bool)
        {
            ui.EndWaitCursor();
            doc.ShowStatus(QString());
            if (!result->Succeeded() && !result->strText.isEmpty())
                ui.MessageBox(result->strText, result->strCaption, MsgIcon::Error, MsgButtons::Ok);
            if (done)
                done(*result);
        });
    if (!started)
    {
        ui.EndWaitCursor();
        doc.ShowStatus(QString());
    }
    return started;
}
