#pragma once

#include <QString>

#include <optional>

class CDbDatabase;

// A user's marks on a catalogue: checked for queries, excluded from duplicate searches.
struct CCatalogueUserSelection
{
    bool bChecked = false;
    bool bExcluded = false;
};

// Writes the marks given of the user's row for a catalogue, making the row when there is none; a
// mark not given keeps its stored value (false in a new row). Runs in a transaction of its own,
// nested in the caller's when there is one; returns the marks now stored. Throws CDbException.
CCatalogueUserSelection WriteCatalogueUserSelection(CDbDatabase& db, qint32 catalogueId,
                                                    const QString& userName, std::optional<bool> checked,
                                                    std::optional<bool> excluded);
