#include "gui/browser/query/QueryFindCommands.h"

#include "browser/MirrowelDoc.h"
#include "browser/RecordSetList.h"
#include "browser/search/MagnetLink.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/UserInteraction.h"
#include "gui/browser/MainFrame.h"
#include "gui/browser/NavigatorWnd.h"
#include "gui/browser/filelist/FileListTabs.h"
#include "gui/browser/filelist/MirrowelQueryView.h"
#include "gui/browser/query/FindDialog.h"
#include "gui/browser/query/QueryBrowserTreeCtrl.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QItemSelectionModel>
#include <QTableView>

namespace
{
// Reading the TTHs of a huge selection to enable one command would hold the window: beyond this
// many files the command stays enabled and says so when none of them has one.
constexpr int kMagnetCheckLimit = 2000;

SQueryFieldParam PresetRow(const SSearchField& field, const QString& op, const QString& value)
{
    SQueryFieldParam param;
    param.field = field;
    param.strOperator = op;
    param.strValue = value;
    return param;
}
} // namespace

CQueryFindCommands::CQueryFindCommands(CMainFrame& frame, CMirrowelDoc& doc, CUserInteraction& ui)
    : QObject(&frame), m_frame(frame), m_doc(doc), m_ui(ui),
      m_session(
          ui, [this](EFindMode mode, const QString& criterion) { return FindInFileList(mode, criterion); },
          [this](const QString& title, const QString& sql, const QString& condition)
          { m_frame.FileListTabs()->ShowSearch(title, sql, condition); })
{
    const std::pair<EMwCommand, void (CQueryFindCommands::*)()> handlers[] = {
        {EMwCommand::QueryRun, &CQueryFindCommands::OnQueryRun},
        {EMwCommand::QueryFind, &CQueryFindCommands::OnFind},
        {EMwCommand::EditFind, &CQueryFindCommands::OnFind},
        {EMwCommand::QueryFindNext, &CQueryFindCommands::OnFindNext},
        {EMwCommand::EditFindNext, &CQueryFindCommands::OnFindNext},
        {EMwCommand::FileListEditFind, &CQueryFindCommands::OnEditFind},
        {EMwCommand::QueryFindFileNameByMagnetLink, &CQueryFindCommands::OnFindFileNameByMagnetLink},
        {EMwCommand::EditFindFileNameByMagnetLink, &CQueryFindCommands::OnFindFileNameByMagnetLink},
        {EMwCommand::QueryFindTthByMagnetLink, &CQueryFindCommands::OnFindTthByMagnetLink},
        {EMwCommand::EditFindTthByMagnetLink, &CQueryFindCommands::OnFindTthByMagnetLink},
        {EMwCommand::FileListCopyMagneticLink, &CQueryFindCommands::OnCopyMagneticLink},
    };
    for (const auto& [id, handler] : handlers)
        if (QAction* action = frame.Action(id))
            connect(action, &QAction::triggered, this, handler);
    // The Edit menu repeats the Query menu's commands with the same keys: there the keys only
    // show, so that a key press is never ambiguous between the two.
    for (const EMwCommand id :
         {EMwCommand::EditFind, EMwCommand::EditFindNext, EMwCommand::EditFindFileNameByMagnetLink,
          EMwCommand::EditFindTthByMagnetLink})
        if (QAction* action = frame.Action(id))
            action->setShortcutContext(Qt::WidgetShortcut);

    if (auto* tree = qobject_cast<CQueryBrowserTreeCtrl*>(frame.Navigator()->QueryView()))
        connect(tree, &CQueryBrowserTreeCtrl::runRequested, this, &CQueryFindCommands::OnQueryRun);
    connect(&doc, &CMirrowelDoc::closing, this, [this] { m_session.Clear(); });
    connect(&frame, &CMainFrame::commandStatesUpdated, this, &CQueryFindCommands::UpdateCommandStates);
    FollowActiveFileList();
    connect(&frame, &CMainFrame::activeFileListChanged, this, &CQueryFindCommands::FollowActiveFileList);
    UpdateCommandStates();
}

void CQueryFindCommands::FollowActiveFileList()
{
    // Copy Magnetic Link follows the selection of the list shown; a list that goes (its tab
    // closed) takes its remembered criterion with it.
    if (QItemSelectionModel* selection = m_frame.FileListView()->selectionModel())
        connect(selection, &QItemSelectionModel::selectionChanged, &m_frame, &CMainFrame::UpdateCommandStates,
                Qt::UniqueConnection);
    CRecordSetList* list = &m_frame.FileList();
    if (m_followedLists.contains(list))
        return;
    m_followedLists.insert(list);
    connect(list, &QObject::destroyed, this,
            [this, list]
            {
                m_session.Forget(list);
                m_followedLists.remove(list);
            });
}

CQueryFindCommands::~CQueryFindCommands() = default;

void CQueryFindCommands::OnQueryRun()
{
    if (auto* tree = qobject_cast<CQueryBrowserTreeCtrl*>(m_frame.Navigator()->QueryView()))
        tree->Run(m_doc.Queries());
}

std::vector<SSearchField> CQueryFindCommands::SearchableFields()
{
    std::vector<SSearchField> fields;
    if (!m_doc.IsOpen())
        return fields;
    try
    {
        fields = LoadSearchableFields(*m_doc.Database());
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(),
                      QStringLiteral("CMwQueryFieldParamDialog::OnInitDialog() - FieldRecSet.Open"));
    }
    return fields;
}

void CQueryFindCommands::OpenFind(const SFindRequest& initial)
{
    if (!m_doc.IsOpen())
        return;
    const std::vector<SSearchField> fields = SearchableFields();
    SFindRequest request;
    if (m_fnDialog)
        request = m_fnDialog(fields, initial);
    else
    {
        CFindDialog dialog(fields, initial, &m_frame);
        dialog.exec();
        request = dialog.Request();
    }
    // A search needs a name for its view.
    if (request.strTitle.isEmpty() &&
        (request.mode == EFindMode::SearchAll || request.mode == EFindMode::SearchChecked))
        request.strTitle = QStringLiteral("Search");
    m_session.Execute(request, m_doc.Database(), &m_frame.FileList());
}

void CQueryFindCommands::OnFind()
{
    OpenFind({});
}

void CQueryFindCommands::OnFindNext()
{
    if (m_session.HasCriterion(&m_frame.FileList()))
        m_session.FindNext(&m_frame.FileList());
    else if (CMirrowelView* view = m_frame.ActiveFileListView(); view && !view->FindCriterion().isEmpty())
        view->FindNext();
    else
        OnFind();
}

void CQueryFindCommands::OnEditFind()
{
    // The search shown in the active tab, else the last one.
    const auto* queryView = qobject_cast<const CMirrowelQueryView*>(m_frame.ActiveFileListView());
    const QString title = queryView ? queryView->QueryName() : m_session.LastSearchTitle();
    SFindRequest request = m_session.SearchRequest(title);
    request.mode = EFindMode::Cancel;
    OpenFind(request);
}

void CQueryFindCommands::OnFindFileNameByMagnetLink()
{
    FindByMagnetLink(false);
}

void CQueryFindCommands::OnFindTthByMagnetLink()
{
    FindByMagnetLink(true);
}

void CQueryFindCommands::FindByMagnetLink(bool byTth)
{
    if (!m_doc.IsOpen())
        return;
    const std::optional<SMagnetLink> link = ParseMagnetLink(QGuiApplication::clipboard()->text());
    if (!link)
    {
        m_ui.MessageBox(kMagnetNotFoundText, kMagnetNotFoundCaption, MsgIcon::Information, MsgButtons::Ok);
        return;
    }
    const std::vector<SSearchField> fields = SearchableFields();
    SFindRequest initial;
    const QString words = MagnetNameSearchText(link->strName);
    const SSearchField* field =
        FindSearchField(fields, byTth ? QStringLiteral("TTH") : kFileNameFolderAlternateFile);
    if (field && (byTth || !words.isEmpty()))
        initial.conditions.push_back(PresetRow(
            *field, byTth ? QStringLiteral("=") : QStringLiteral("Contains"), byTth ? link->strTth : words));
    OpenFind(initial);
}

std::vector<qint32> CQueryFindCommands::SelectedFileIds(int limit) const
{
    std::vector<qint32> ids;
    QTableView* view = m_frame.FileListView();
    QItemSelectionModel* selection = view ? view->selectionModel() : nullptr;
    if (!selection)
        return ids;
    CRecordSetList& list = m_frame.FileList();
    for (const QModelIndex& index : selection->selectedRows())
    {
        if (limit >= 0 && static_cast<int>(ids.size()) >= limit)
            break;
        const qint32 key = list.Key(index.row());
        if (key > 0)
            ids.push_back(key);
    }
    return ids;
}

void CQueryFindCommands::OnCopyMagneticLink()
{
    if (!m_doc.IsOpen())
        return;
    QString links;
    try
    {
        links = MagnetLinksOfFiles(*m_doc.Database(), SelectedFileIds(-1));
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMirrowelView::OnCopyMagneticLink() - File.Open"));
        return;
    }
    if (links.isEmpty())
        m_ui.SetStatusText(QStringLiteral("None of the selected files has a TTH"));
    else
        QGuiApplication::clipboard()->setText(links);
}

void CQueryFindCommands::UpdateCommandStates()
{
    QAction* copy = m_frame.Action(EMwCommand::FileListCopyMagneticLink);
    if (!copy || !copy->isEnabled())
        return;
    bool any = false;
    const std::vector<qint32> ids = SelectedFileIds(kMagnetCheckLimit + 1);
    if (static_cast<int>(ids.size()) > kMagnetCheckLimit)
        any = true;
    else if (!ids.empty())
    {
        try
        {
            any = !MagnetLinksOfFiles(*m_doc.Database(), ids).isEmpty();
        }
        catch (const CDbException&)
        {
            // Whether a link exists is asked again when the selection changes; the copy logs.
            any = true;
        }
    }
    copy->setEnabled(any);
}

bool CQueryFindCommands::FindInFileList(EFindMode mode, const QString& criterion)
{
    CMirrowelView* view = m_frame.ActiveFileListView();
    if (!view)
        return false;
    view->setFocus();
    return mode == EFindMode::FindNext ? view->FindNext(criterion) : view->FindFirst(criterion);
}
