#pragma once

#include "browser/handlers/FileOpener.h"

#include <optional>
#include <vector>

class CDbDatabase;
class CRecordSetList;

// The open request of a catalogued file: its catalogue's location and medium, its folder and
// name. Nothing when the file, its catalogue or its folder cannot be read (the failure is logged).
std::optional<SOpenRequest> ReadOpenRequest(CDbDatabase& db, qint32 fileId);

// Which files of the list a slide show walks.
enum class ESlideFiles
{
    All,
    Selected,
    Checked,
};

// The keys (FileIds) of the list's rows a slide show walks, in list order: all rows, the given
// rows (positions, in any order), or the rows this user has checked.
std::vector<qint32> SlideCandidates(CRecordSetList& list, ESlideFiles which, std::vector<int> selectedRows,
                                    CDbDatabase* db, const QString& userName);
