#pragma once

#include <QString>

#include <functional>
#include <optional>

struct SMwImportResult;
class CMirrowelDoc;

// The File > Import command on the open database: the chosen database (nothing when the dialog
// was cancelled) is checked for its version, then imported by a job that writes, so the window
// stays live and Esc stops it. done follows on the document's thread once the job has ended,
// after any message about a failure was shown; the views then show the database afresh.
// False when nothing was started.
bool OnMwFileImport(CMirrowelDoc& doc, const std::optional<QString>& chosenPath,
                    std::function<void(const SMwImportResult&)> done = {});

// What the file dialog of the command shows.
QString MwImportDialogCaption();
QString MwImportDialogFilter();
// The caption of the prompt for the address of a server catalogue to import.
QString MwImportServerCaption();
