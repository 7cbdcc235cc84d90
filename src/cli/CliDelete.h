#pragma once

#include "cli/CliOptions.h"

class CMirrowelDoc;
class QTextStream;

// quarrane-cli delete-checked DB [--ghost] [--yes]: deletes (to the trash) or ghosts the files
// the user checked, through the browser's own delete and ghost logic. Of contents that would lose
// every catalogued copy, one copy of each is kept. Without --yes it prints what would go and
// changes nothing. The exit status: done, or failed when a file could not be removed.
int DeleteCheckedCommand(CMirrowelDoc& doc, const CCliOptions& options, QTextStream& out);
