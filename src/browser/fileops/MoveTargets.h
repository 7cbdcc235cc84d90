#pragma once

#include <QString>

#include <vector>

class CDbDatabase;

// Where Move/Copy To can send files: every catalogue, by name, with the folders its files lie
// in (the root folder, 0, first, as "\").
struct CMoveTargetFolder
{
    qint32 lRelativePathId = 0;
    QString strRelativePath;
};

struct CMoveTargetCatalogue
{
    qint32 lCatalogueId = 0;
    QString strCatalogue;
    std::vector<CMoveTargetFolder> folders;
};

// Throws CDbException.
std::vector<CMoveTargetCatalogue> MoveTargets(CDbDatabase& db);
