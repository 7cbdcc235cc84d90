#pragma once

class CMirrowelDoc;
struct CCliOptions;

// quarrane-cli import DB OTHER: merges the catalogue database OTHER into DB, as File > Import
// does, and waits for it. The exit status.
int RunCliImport(CMirrowelDoc& doc, const CCliOptions& options);
