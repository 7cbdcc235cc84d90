#pragma once

#include "browser/DragPayloads.h"
#include "browser/models/CatalogueTreeRecord.h"

#include <QString>

class CCatalogueTreeModel;
class CMirrowelDoc;

// What the catalogue browser does to the database beyond its dialogs: deleting groups and
// catalogues after asking, and moving groups and catalogues by drag and drop, with the rules that
// keep the group hierarchy free of cycles. It asks through the document's interaction and keeps
// the tree model in step; no widgets.
class CCatalogueTreeEdits final
{
public:
    CCatalogueTreeEdits(CMirrowelDoc& doc, CCatalogueTreeModel& model);
    CCatalogueTreeEdits(const CCatalogueTreeEdits&) = delete;
    CCatalogueTreeEdits& operator=(const CCatalogueTreeEdits&) = delete;

    // Asks, then moves the group's direct child groups and catalogues to the top level (deeper
    // levels keep their parents), deletes the group and reloads the tree. False when the person
    // said No or the write was given up.
    bool DeleteGroup(qint32 groupId);
    // Asks, then deletes the catalogue (its files, folder links and marks go with it) and removes
    // its item.
    bool DeleteCatalogue(qint32 catalogueId);

    // Whether a dragged group or catalogue may be dropped on a target group (0: empty space, the
    // top level): same database, and the drop changes something without making a cycle.
    bool CanDropItem(const CCatalogueDragPayload& payload, const CCatalogueTreeRecord& target) const;
    // Moves the dragged group (its ParentGroupId) or catalogue (its GroupId) to the target group
    // and shows it there. False when the drop is refused or the write was given up.
    bool MoveTreeItemTo(const CCatalogueDragPayload& payload, const CCatalogueTreeRecord& target);

    // Whether selected files of the file list may be dropped on a catalogue or folder item: same
    // database, and another catalogue or folder than the one they lie in.
    bool CanDropFiles(const CFileIdListPayload& payload, const CCatalogueTreeRecord& target) const;

    // True when candidate is group or lies anywhere below it.
    bool IsGroupOrDescendant(qint32 groupId, qint32 candidate) const;

private:
    qint32 ParentOfGroup(qint32 groupId) const;
    qint32 GroupOfCatalogue(qint32 catalogueId) const;

    CMirrowelDoc& m_doc;
    CCatalogueTreeModel& m_model;
};
