#pragma once

#include "browser/search/FindSession.h"

#include <QObject>
#include <QSet>

#include <functional>
#include <vector>

class CMainFrame;
class CMirrowelDoc;
class CRecordSetList;
class CUserInteraction;

// The window's Find and Query commands: Run, Find..., Find Next (F3), Edit Find, finding by a
// magnet link from the clipboard, and Copy Magnetic Link for the selected files. The commands'
// logic is CFindSession's; this wires it to the window's actions, the Find dialog, the active
// file list and the query browser.
class CQueryFindCommands final : public QObject
{
    Q_OBJECT

public:
    // Shows the Find dialog filled with initial over fields; its answer.
    using DialogRunner =
        std::function<SFindRequest(const std::vector<SSearchField>& fields, const SFindRequest& initial)>;

    CQueryFindCommands(CMainFrame& frame, CMirrowelDoc& doc, CUserInteraction& ui);
    ~CQueryFindCommands() override;

    void SetDialogRunner(DialogRunner runner) { m_fnDialog = std::move(runner); }

    CFindSession& Session() { return m_session; }

    void OnQueryRun();
    void OnFind();
    void OnFindNext();
    void OnEditFind();
    void OnFindFileNameByMagnetLink();
    void OnFindTthByMagnetLink();
    void OnCopyMagneticLink();
    // Copy Magnetic Link, enabled by the table's rule, stays enabled while a selected file has a
    // TTH. The window calls it after applying the rules.
    void UpdateCommandStates();

private:
    void FollowActiveFileList();
    void OpenFind(const SFindRequest& initial);
    void FindByMagnetLink(bool byTth);
    std::vector<SSearchField> SearchableFields();
    std::vector<qint32> SelectedFileIds(int limit) const;
    bool FindInFileList(EFindMode mode, const QString& criterion);

    CMainFrame& m_frame;
    CMirrowelDoc& m_doc;
    CUserInteraction& m_ui;
    CFindSession m_session;
    DialogRunner m_fnDialog;
    QSet<const void*> m_followedLists;
};
