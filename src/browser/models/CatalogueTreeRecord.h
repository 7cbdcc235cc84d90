#pragma once

#include <QMetaType>
#include <QtGlobal>

// What an item of the catalogue browser stands for: the record it carries for the views, the
// commands and (with the database path added) the drag payload.
struct CCatalogueTreeRecord
{
    enum Kind : qint32
    {
        KindNone = 0,
        KindGroup = 1,
        KindCatalogue = 2,
        KindFolder = 3,
    };

    qint32 nKind = KindNone;
    qint32 lGroupId = 0;        // the group, or the catalogue's group
    qint32 lCatalogueId = 0;    // catalogue and folder items
    qint32 lRelativePathId = 0; // folder items
    bool bChildrenLoaded = false;

    bool operator==(const CCatalogueTreeRecord&) const = default;
};

Q_DECLARE_METATYPE(CCatalogueTreeRecord)
