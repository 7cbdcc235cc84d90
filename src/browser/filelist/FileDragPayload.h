#pragma once

#include "browser/DragPayloads.h"

#include <optional>
#include <vector>

class CDbDatabase;

// What a drag of the file list's selection carries: the files in list order, the file that had
// the focus, and where the first of them lies (its catalogue, that catalogue's group, its folder),
// which is what the catalogue browser compares a drop target with. Nothing when there is nothing
// to drag or the first file cannot be read (it was deleted meanwhile, or the engine failed).
std::optional<CFileIdListPayload> MakeFileIdListPayload(CDbDatabase& db, const QString& databasePath,
                                                        const std::vector<qint32>& fileIds,
                                                        qint32 focusFileId);
