// Groups, catalogues and folders of the document, and handing catalogues to the synchronizer.
#include "browser/CatalogueStore.h"

#include "browser/CatalogueUserSelection.h"
#include "browser/MirrowelDoc.h"
#include "browser/SynchLink.h"

#include "browser/VolumeIdentity.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/FileFormat.h"
#include "common/FileOperations.h"
#include "common/FilePath.h"
#include "common/SynchCommandLine.h"
#include "common/UserInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbTransaction.h"
#include "platform/ProgramInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace
{
constexpr int kMaxGroupDepth = 256; // a damaged database may hold a cycle of parents

// The columns' limits: texts longer than these would be refused by the database.
constexpr int kNameLength = 50;
constexpr int kVolumeLength = 20;
constexpr int kLocationLength = 255;
constexpr int kDriveTypeLength = 10;

// A value for a synchronizer command line, in the quote it cannot contain.
QString QuotedValue(const QString& value)
{
    const QChar quote = value.contains(QLatin1Char('"')) ? QLatin1Char('\'') : QLatin1Char('"');
    return quote + value + quote;
}

// The last component of a location, the proposed name of a catalogue made there.
QString LastComponent(const QString& location)
{
    return QFileInfo(QDir::cleanPath(location)).fileName();
}
} // namespace

CCatalogueStore::CCatalogueStore(CMirrowelDoc& doc) : m_doc(doc), m_ui(doc.Interaction())
{
    m_fnFileProblems = [this](const QString& header, const std::vector<CFileProblem>& problems)
    {
        QString text = header;
        for (const CFileProblem& p : problems)
            text += QStringLiteral("\r\n\r\n") + p.strPath + QStringLiteral("\r\n    ") + p.strProblem +
                    QStringLiteral("\r\n    ") + p.strSolution;
        m_ui.MessageBox(text, QStringLiteral("File Problems"), MsgIcon::Warning, MsgButtons::Ok);
    };
}

CDbDatabase& CCatalogueStore::Db()
{
    return *m_doc.Database();
}

std::vector<GroupChoice> CCatalogueStore::GroupParentChoices(qint32 excludedGroupId)
{
    std::vector<GroupChoice> choices{{0, QStringLiteral(" <No Group>")}};
    if (!m_doc.IsOpen())
        return choices;
    QHash<qint32, std::pair<QString, qint32>> groups; // id -> name, parent
    std::vector<qint32> order;
    try
    {
        CDbStatement st =
            Db().Prepare(QStringLiteral("SELECT Group.GroupId, Group.Group, Group.ParentGroupId "
                                        "FROM [Group]"));
        while (st.Step())
        {
            const qint32 id = st.Value(0).ToLong();
            groups.insert(id, {st.Value(1).ToString(), st.Value(2).ToLong()});
            order.push_back(id);
        }
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CGroupPropertiesDialog::OnInitDialog()"));
        return choices;
    }

    for (qint32 id : order)
    {
        // The path from the top; a group below the excluded one is left out with it.
        QStringList ancestors;
        bool excluded = id == excludedGroupId;
        qint32 parent = groups.value(id).second;
        for (int depth = 0; parent != 0 && groups.contains(parent) && depth < kMaxGroupDepth; ++depth)
        {
            excluded = excluded || parent == excludedGroupId;
            ancestors.prepend(groups.value(parent).first);
            parent = groups.value(parent).second;
        }
        if (excluded)
            continue;
        QString text;
        for (const QString& ancestor : ancestors)
            text += QLatin1Char('/') + ancestor;
        choices.push_back({id, text + QStringLiteral("/<") + groups.value(id).first + QLatin1Char('>')});
    }
    return choices;
}

namespace
{
bool IsChoice(const std::vector<GroupChoice>& choices, qint32 id)
{
    return std::any_of(choices.begin(), choices.end(), [id](const GroupChoice& c) { return c.first == id; });
}
} // namespace

bool CCatalogueStore::ShowGroupDialog(CGroupDialogData& data, const DialogFunction<CGroupDialogData>& dialog,
                                      const QString& caption)
{
    for (;;)
    {
        if (!dialog(data))
            return false;
        data.strGroup = data.strGroup.trimmed();
        if (data.strGroup.isEmpty())
            return false;
        const bool parentAllowed = IsChoice(data.parents, data.lParentGroupId);
        if (data.strGroup.size() <= kNameLength && parentAllowed)
            return true;
        m_ui.MessageBox(
            parentAllowed
                ? QStringLiteral("A group name can be at most %1 characters long.").arg(kNameLength)
                : QStringLiteral("A group cannot be placed inside itself or inside one of its own groups."),
            caption, MsgIcon::Warning, MsgButtons::Ok);
    }
}

bool CCatalogueStore::NewGroup(qint32& parentGroupId, qint32& newGroupId,
                               const DialogFunction<CGroupDialogData>& dialog)
{
    newGroupId = 0;
    if (!m_doc.CanWrite())
        return false;
    CGroupDialogData data;
    data.bCreate = true;
    data.lParentGroupId = parentGroupId;
    data.parents = GroupParentChoices();
    if (!ShowGroupDialog(data, dialog, QStringLiteral("Create New Group")))
        return false;
    const qint32 id = m_doc.GetNewRecSetId(QStringLiteral("Group_GroupId"));
    if (id < 0)
        return false;
    if (!m_doc.Write(QStringLiteral("CMirrowelDoc::NewGroup() - RecSetGroup.Open"),
                     [&]
                     {
                         Db().Execute(
                             QStringLiteral(
                                 "INSERT INTO [Group] (GroupId, [Group], ParentGroupId) VALUES (?, ?, ?)"),
                             {CDbValue(id), CDbValue(data.strGroup), CDbValue(data.lParentGroupId)});
                     }))
        return false;
    parentGroupId = data.lParentGroupId;
    newGroupId = id;
    return true;
}

bool CCatalogueStore::GroupProperties(qint32 groupId, const DialogFunction<CGroupDialogData>& dialog)
{
    if (!m_doc.CanWrite())
        return false;
    CGroupDialogData data;
    try
    {
        CDbStatement st =
            Db().Prepare(QStringLiteral("SELECT ParentGroupId, Group FROM [Group] WHERE Group.GroupId=?"));
        st.Bind(1, groupId);
        if (!st.Step())
            return false;
        data.lParentGroupId = st.Value(0).ToLong();
        data.strGroup = st.Value(1).ToString();
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMirrowelDoc::GroupProperties()"));
        return false;
    }
    // The group itself and everything below it cannot become its parent.
    data.parents = GroupParentChoices(groupId);
    if (!ShowGroupDialog(data, dialog, QStringLiteral("Group Properties")))
        return false;
    return m_doc.Write(
        QStringLiteral("CMirrowelDoc::GroupProperties() : ParentGroup(%1), Group(%2)")
            .arg(data.lParentGroupId)
            .arg(data.strGroup),
        [&]
        {
            Db().Execute(QStringLiteral("UPDATE [Group] SET ParentGroupId=?, [Group]=? WHERE GroupId=?"),
                         {CDbValue(data.lParentGroupId), CDbValue(data.strGroup), CDbValue(groupId)});
        });
}

void CCatalogueStore::SetCatalogueDialogLocation(CCatalogueDialogData& data, const QString& location)
{
    data.strLocation = location.trimmed();
    if (data.strCatalogue.isEmpty())
        data.strCatalogue = LastComponent(data.strLocation);
    const CVolumeIdentity identity = ReadVolumeIdentity(data.strLocation);
    data.strVolume = identity.strLabel;
    data.strSerial = identity.bReadable ? SerialText(identity.lSerial) : QString();
    data.strDriveType = identity.strDriveType;
    data.strComputerName = ComputerName();
    data.strUserName = m_doc.UserName();
}

bool CCatalogueStore::ValidateCatalogueDialog(qint32 catalogueId, CCatalogueDialogData& data)
{
    data.strCatalogue = data.strCatalogue.trimmed();
    if (data.strCatalogue.isEmpty() || data.strCatalogue.size() > kNameLength)
    {
        m_ui.MessageBox(QStringLiteral("A catalogue needs a name of 1 to %1 characters.").arg(kNameLength),
                        QStringLiteral("Catalogue Properties"), MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    if (!IsChoice(GroupParentChoices(), data.lGroupId))
        data.lGroupId = 0;
    if (!data.LocationChanged() || data.strLocation.isEmpty())
        return true;

    QString problem;
    const int invalid = ValidatePathName(data.strLocation, &problem);
    if (invalid != 0 || data.strLocation.size() > kLocationLength)
    {
        if (problem.isEmpty())
            problem = SystemErrorText(invalid != 0 ? invalid : 206);
        m_ui.MessageBox(problem, QStringLiteral("Invalid Location name"), MsgIcon::Error, MsgButtons::Ok);
        return false;
    }
    if (!QFileInfo::exists(data.strLocation))
    {
        // Its "root": the folder that would hold it. Without one there is nothing to create it in
        // (an unplugged medium); the catalogue is still made, and left empty.
        const QString parent = QFileInfo(QDir::cleanPath(data.strLocation)).absolutePath();
        if (!QFileInfo(parent).isDir())
            m_ui.MessageBox(SystemErrorText(3), QStringLiteral("Catalogue Properties"), MsgIcon::Error,
                            MsgButtons::Ok);
        else if (CreateFolderPath(data.strLocation, &problem, nullptr) != 0)
        {
            m_ui.MessageBox(problem, QStringLiteral("Catalogue Properties - creating location"),
                            MsgIcon::Error, MsgButtons::Ok);
            return false;
        }
    }

    // Relocating a catalogue: its files must be found where the new location says they are.
    if (catalogueId != 0 && m_doc.IsOpen())
    {
        QString expected;
        try
        {
            CDbStatement st = Db().Prepare(QStringLiteral(
                "SELECT RelativePath.RelativePath, File.File FROM RelativePath RIGHT JOIN File ON "
                "RelativePath.RelativePathId = File.RelativePathId WHERE (((File.CatalogueId)=?) AND "
                "(File.Deleted=False) AND (File.Ghost=False))"));
            st.Bind(1, catalogueId);
            if (st.Step())
                expected =
                    CatalogueFilePath(data.strLocation, st.Value(0).ToString(), st.Value(1).ToString());
        }
        catch (const CDbException& e)
        {
            LOG_EXCEPTION(e, QString(), QStringLiteral("CCataloguePropertiesDialog::OnOK()"));
        }
        if (!expected.isEmpty() && !QFileInfo::exists(expected))
        {
            m_ui.MessageBox(
                QStringLiteral("The file:\r\n\r\n    %1\r\n\r\ncannot be found at the expected physical "
                               "location on the disk\r\n\r\nThe catalogue relocation may be incorrect")
                    .arg(expected),
                QStringLiteral("Catalogue Properties - checking relocation"), MsgIcon::Warning,
                MsgButtons::Ok);
            return false;
        }
    }
    return true;
}

void CCatalogueStore::WriteCatalogueUserSelect(qint32 catalogueId, bool exclude)
{
    m_doc.Write(QStringLiteral("CMirrowelDoc::WriteCatalogueUserSelect()"), [&]
                { WriteCatalogueUserSelection(Db(), catalogueId, m_doc.UserName(), std::nullopt, exclude); });
}

qint32 CCatalogueStore::NewCatalogue(qint32& parentGroupId, const QString& initialLocation,
                                     const DialogFunction<CCatalogueDialogData>& dialog)
{
    if (!m_doc.CanWrite())
        return 0;
    CCatalogueDialogData data;
    data.bCreate = true;
    data.lGroupId = parentGroupId;
    data.parents = GroupParentChoices();
    data.lKeepPriority = 1000;
    data.strComputerName = ComputerName();
    data.strUserName = m_doc.UserName();
    if (!initialLocation.isEmpty())
    {
        const CVolumeIdentity identity = ReadVolumeIdentity(initialLocation);
        data.strLocation = initialLocation;
        data.strVolume = identity.strLabel;
        data.strSerial = identity.bReadable ? SerialText(identity.lSerial) : QString();
        data.strDriveType = identity.strDriveType;
        data.strCatalogue = identity.bIsVolumeRoot && !identity.strLabel.isEmpty()
                                ? identity.strLabel
                                : LastComponent(initialLocation);
    }
    // A new catalogue's location counts as changed whatever it is, so that it is checked.
    data.strOpenedLocation.clear();
    for (;;)
    {
        if (!dialog(data))
            return 0;
        if (data.strLocation.trimmed().isEmpty())
            return 0;
        if (ValidateCatalogueDialog(0, data))
            break;
    }

    const CVolumeIdentity identity = ReadVolumeIdentity(data.strLocation);
    const qint32 id = m_doc.GetNewRecSetId(QStringLiteral("Catalogue_CatalogueId"));
    if (id < 0)
        return 0;
    if (!m_doc.Write(
            QStringLiteral("CMirrowelDoc::NewCatalogue() - CatalogueRecSet.Open"),
            [&]
            {
                Db().Execute(
                    QStringLiteral(
                        "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                        "Location, "
                        "DriveType, LocalMachine, UserName, UpdateTTH, GhostDuplicates, DeleteDuplicates) "
                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, FALSE, ?)"),
                    {CDbValue(data.lGroupId), CDbValue(id), CDbValue(data.strCatalogue),
                     CDbValue(identity.strLabel.left(kVolumeLength)), CDbValue(identity.lSerial),
                     CDbValue(data.strLocation), CDbValue(identity.strDriveType.left(kDriveTypeLength)),
                     CDbValue(ComputerName().left(kNameLength)), CDbValue(m_doc.UserName().left(kNameLength)),
                     CDbValue(data.bUpdateTTH), CDbValue(data.bUpdateTTH && data.bDeleteDuplicates)});
            }))
        return 0;
    WriteCatalogueUserSelect(id, data.bExcludeFromDuplicates);
    parentGroupId = data.lGroupId;

    if (!identity.bReadable && !QFileInfo::exists(data.strLocation))
        return id;
    QString line =
        QStringLiteral("-Database=%1 -CatalogueID=%2 -AddFiles").arg(QuotedValue(m_doc.Path())).arg(id);
    if (data.bUpdateTTH)
        line += QStringLiteral(" -UpdateTTH");
    if (data.bUpdateTTH && data.bDeleteDuplicates)
        line += QStringLiteral(" -DeleteDuplicates");
    m_doc.Synch().Send(QStringLiteral("AddFiles"), line, id);
    return id;
}

bool CCatalogueStore::CatalogueProperties(qint32 catalogueId, int& stateImage,
                                          const DialogFunction<CCatalogueDialogData>& dialog)
{
    if (!m_doc.CanWrite())
        return false;
    CCatalogueDialogData data;
    bool selected = false;
    try
    {
        CDbStatement st =
            Db().Prepare(QStringLiteral("SELECT GroupId, Catalogue, Volume, VolumeSerial, Location, "
                                        "DriveType, LocalMachine, UserName, UpdateTTH, "
                                        "GhostDuplicates, DeleteDuplicates, CatalogueKeepPriority FROM "
                                        "Catalogue WHERE Catalogue.CatalogueId=?"));
        st.Bind(1, catalogueId);
        if (!st.Step())
            return false;
        data.lGroupId = st.Value(0).ToLong();
        data.strCatalogue = st.Value(1).ToString();
        data.strVolume = st.Value(2).ToString();
        data.strSerial = SerialText(st.Value(3).ToLong());
        data.strLocation = data.strOpenedLocation = st.Value(4).ToString();
        data.strDriveType = st.Value(5).ToString();
        data.strComputerName = st.Value(6).ToString();
        data.strUserName = st.Value(7).ToString();
        data.bUpdateTTH = st.Value(8).ToBool();
        data.bDeleteDuplicates = st.Value(10).ToBool();
        data.lKeepPriority = st.Value(11).ToLong();
        CDbStatement select =
            Db().Prepare(QStringLiteral("SELECT CatalogueSelect, ExcludeFromDuplicate FROM "
                                        "CatalogueUserSelect WHERE CatalogueId=? AND [User]=?"));
        select.Bind(1, catalogueId).Bind(2, m_doc.UserName());
        if (select.Step())
        {
            selected = select.Value(0).ToBool();
            data.bExcludeFromDuplicates = select.Value(1).ToBool();
        }
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(),
                      QStringLiteral("CMirrowelDoc::CatalogueProperties() - CatalogueRecSet.Open"));
        return false;
    }
    data.parents = GroupParentChoices();
    for (;;)
    {
        if (!dialog(data))
            return false;
        if (ValidateCatalogueDialog(catalogueId, data))
            break;
    }

    const bool moved = data.LocationChanged();
    const CVolumeIdentity identity = moved ? ReadVolumeIdentity(data.strLocation) : CVolumeIdentity();
    if (!m_doc.Write(
            QStringLiteral("CMirrowelDoc::CatalogueProperties() : Updating %1").arg(data.strCatalogue),
            [&]
            {
                CDbTransaction transaction(Db());
                Db().Execute(
                    QStringLiteral("UPDATE Catalogue SET GroupId=?, Catalogue=?, UpdateTTH=?, "
                                   "DeleteDuplicates=?, CatalogueKeepPriority=? WHERE CatalogueId=?"),
                    {CDbValue(data.lGroupId), CDbValue(data.strCatalogue), CDbValue(data.bUpdateTTH),
                     CDbValue(data.bUpdateTTH && data.bDeleteDuplicates), CDbValue(data.lKeepPriority),
                     CDbValue(catalogueId)});
                if (moved)
                    Db().Execute(
                        QStringLiteral(
                            "UPDATE Catalogue SET Volume=?, VolumeSerial=?, Location=?, DriveType=?, "
                            "LocalMachine=?, UserName=? WHERE CatalogueId=?"),
                        {CDbValue(identity.strLabel.left(kVolumeLength)), CDbValue(identity.lSerial),
                         CDbValue(data.strLocation), CDbValue(identity.strDriveType.left(kDriveTypeLength)),
                         CDbValue(ComputerName().left(kNameLength)),
                         CDbValue(m_doc.UserName().left(kNameLength)), CDbValue(catalogueId)});
                transaction.Commit();
            }))
        return false;
    WriteCatalogueUserSelect(catalogueId, data.bExcludeFromDuplicates);
    stateImage = (selected ? 2 : 1) + (data.bExcludeFromDuplicates ? 6 : 0);
    return true;
}

bool CCatalogueStore::ValidateRelativePathDialog(qint32 catalogueId, const CRelativePathDialogData& data,
                                                 const QString& openedFolder, qint32 relativePathId,
                                                 qint32& existingId)
{
    existingId = 0;
    if (!data.bFolderEditable)
        return true;
    QString problem;
    if (ValidatePathName(data.strFolder, &problem) != 0)
    {
        m_ui.MessageBox(problem.isEmpty() ? SystemErrorText(206) : problem,
                        QStringLiteral("Invalid Relative Path name"), MsgIcon::Error, MsgButtons::Ok);
        return false;
    }
    // Folder rows are told apart by their exact text: "Films" and "films" may both exist.
    if (data.strFolder == openedFolder)
        return true;
    try
    {
        CDbStatement st = Db().Prepare(QStringLiteral(
            "SELECT RelativePathId FROM [RelativePath] WHERE (RelativePathId<>? AND RelativePath=? AND "
            "StrComp(RelativePath, ?, 0)=0)"));
        st.Bind(1, relativePathId).Bind(2, data.strFolder).Bind(3, data.strFolder);
        if (st.Step())
        {
            existingId = st.Value(0).ToLong();
            return true;
        }
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMwRelativePathPropertiesDialog::OnOK()"));
        return false;
    }
    const QString location = [&]
    {
        CDbStatement st =
            Db().Prepare(QStringLiteral("SELECT Location FROM [Catalogue] WHERE CatalogueId=?"));
        st.Bind(1, catalogueId);
        return st.Step() ? st.Value(0).ToString() : QString();
    }();
    const QString folder = CatalogueFilePath(location, data.strFolder);
    if (!QFileInfo(folder).isDir() && CreateFolderPath(folder, nullptr, nullptr) != 0)
    {
        m_ui.MessageBox(QStringLiteral("The path ") + data.strFolder +
                            QStringLiteral(" could not be created."),
                        QStringLiteral("Problem creating relative path"), MsgIcon::Error, MsgButtons::Ok);
        return false;
    }
    return true;
}

qint32 CCatalogueStore::NewRelativePath(qint32 catalogueId, QString& folder,
                                        const DialogFunction<CRelativePathDialogData>& dialog)
{
    if (!m_doc.CanWrite())
        return 0;
    CRelativePathDialogData data;
    data.bCreate = true;
    data.lKeepPriority = 1000;
    qint32 existingId = 0;
    for (;;)
    {
        if (!dialog(data))
            return 0;
        data.strFolder.replace(QLatin1Char('/'), QLatin1Char('\\'));
        if (data.strFolder.isEmpty())
            return 0;
        if (ValidateRelativePathDialog(catalogueId, data, QString(), 0, existingId))
            break;
    }
    qint32 id = existingId;
    if (id == 0)
    {
        id = m_doc.GetNewRecSetId(QStringLiteral("RelativePath_RelativePathId"));
        if (id < 0)
            return 0;
    }
    if (!m_doc.Write(
            QStringLiteral("CMirrowelDoc::NewRelativePath()"),
            [&]
            {
                if (existingId != 0)
                    Db().Execute(
                        QStringLiteral("UPDATE [RelativePath] SET KeepPriority=? WHERE RelativePathId=?"),
                        {CDbValue(data.lKeepPriority), CDbValue(id)});
                else
                    Db().Execute(QStringLiteral("INSERT INTO [RelativePath] (RelativePathId, RelativePath, "
                                                "KeepPriority) VALUES (?, ?, ?)"),
                                 {CDbValue(id), CDbValue(data.strFolder), CDbValue(data.lKeepPriority)});
            }))
        return 0;
    folder = data.strFolder;
    return id;
}

bool CCatalogueStore::RelativePathProperties(qint32 catalogueId, qint32& relativePathId, QString& newFolder,
                                             const DialogFunction<CRelativePathDialogData>& dialog)
{
    if (!m_doc.CanWrite())
        return false;
    CRelativePathDialogData data;
    QString location;
    try
    {
        CDbStatement st =
            Db().Prepare(QStringLiteral("SELECT RelativePathId, RelativePath, KeepPriority FROM "
                                        "[RelativePath] WHERE RelativePath.RelativePathId=?"));
        st.Bind(1, relativePathId);
        if (!st.Step())
            return false;
        data.strFolder = st.Value(1).ToString();
        data.lKeepPriority = st.Value(2).ToLong();
        CDbStatement loc =
            Db().Prepare(QStringLiteral("SELECT Location FROM [Catalogue] WHERE CatalogueId=?"));
        loc.Bind(1, catalogueId);
        location = loc.Step() ? loc.Value(0).ToString() : QString();
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMirrowelDoc::RelativePathProperties()"));
        return false;
    }
    data.bFolderEditable = relativePathId != 0;
    const QString oldFolder = data.strFolder;
    qint32 existingId = 0;
    for (;;)
    {
        if (!dialog(data))
            return false;
        data.strFolder.replace(QLatin1Char('/'), QLatin1Char('\\'));
        if (ValidateRelativePathDialog(catalogueId, data, oldFolder, relativePathId, existingId))
            break;
    }

    bool renamed = true;
    if (data.bFolderEditable && data.strFolder != oldFolder)
    {
        struct Entry
        {
            qint32 fileId;
            QString name;
        };
        std::vector<Entry> files;
        bool sharedWithOthers = false;
        try
        {
            CDbStatement st =
                Db().Prepare(QStringLiteral("SELECT FileId, File FROM File WHERE (((File.CatalogueId)=?) AND "
                                            "((File.RelativePathId)=?) AND "
                                            "(File.Deleted=False) AND (File.Ghost=False))"));
            st.Bind(1, catalogueId).Bind(2, relativePathId);
            while (st.Step())
                files.push_back({st.Value(0).ToLong(), st.Value(1).ToString()});
            CDbStatement others = Db().Prepare(
                QStringLiteral("SELECT Count(*) FROM File WHERE RelativePathId=? AND CatalogueId<>?"));
            others.Bind(1, relativePathId).Bind(2, catalogueId);
            sharedWithOthers = others.Step() && others.Value(0).ToLong() > 0;
        }
        catch (const CDbException& e)
        {
            LOG_EXCEPTION(e, QString(), QStringLiteral("CMirrowelDoc::RelativePathProperties()"));
            return false;
        }

        std::vector<CFileProblem> problems;
        std::vector<const Entry*> moved;
        for (const Entry& file : files)
        {
            CFileProblem problem;
            problem.strPath = CatalogueFilePath(location, oldFolder, file.name);
            if (MoveFileTo(problem.strPath, CatalogueFilePath(location, data.strFolder, file.name),
                           MOVE_DEST_FILE, &problem.strProblem, &problem.strSolution) != 0)
                problems.push_back(problem);
            else
                moved.push_back(&file);
        }
        if (!problems.empty())
        {
            // The folder keeps its name, so the files that did move go back where their records say.
            for (const Entry* file : moved)
                MoveFileTo(CatalogueFilePath(location, data.strFolder, file->name),
                           CatalogueFilePath(location, oldFolder, file->name), MOVE_DEST_FILE, nullptr,
                           nullptr);
            m_fnFileProblems(QStringLiteral("There were problems moving the following files:"), problems);
            renamed = false;
        }
        else
        {
            // A folder row is shared by every catalogue with that folder text: when another
            // catalogue uses it, this catalogue's files move to a row of their own instead.
            qint32 target = existingId;
            if (target == 0 && sharedWithOthers)
            {
                target = m_doc.GetNewRecSetId(QStringLiteral("RelativePath_RelativePathId"));
                if (target < 0 ||
                    !m_doc.Write(
                        QStringLiteral("CMirrowelDoc::RelativePathProperties()"),
                        [&]
                        {
                            Db().Execute(
                                QStringLiteral("INSERT INTO [RelativePath] (RelativePathId, RelativePath, "
                                               "KeepPriority) VALUES (?, ?, ?)"),
                                {CDbValue(target), CDbValue(data.strFolder), CDbValue(data.lKeepPriority)});
                        }))
                    return false;
            }
            m_doc.Write(
                QStringLiteral("CMirrowelDoc::RelativePathProperties() : Updating File RelativePath(%1)")
                    .arg(target != 0 ? target : relativePathId),
                [&]
                {
                    CDbTransaction transaction(Db());
                    if (target != 0)
                        Db().Execute(
                            QStringLiteral("UPDATE File SET RelativePathId=? WHERE CatalogueId=? AND "
                                           "RelativePathId=?"),
                            {CDbValue(target), CDbValue(catalogueId), CDbValue(relativePathId)});
                    else
                        Db().Execute(QStringLiteral("UPDATE [RelativePath] SET RelativePath=? WHERE "
                                                    "RelativePathId=?"),
                                     {CDbValue(data.strFolder), CDbValue(relativePathId)});
                    transaction.Commit();
                });
            if (target != 0)
                relativePathId = target;
            newFolder = data.strFolder;
            RemoveEmptyFolders(CatalogueFilePath(location, oldFolder), true, nullptr, nullptr);
        }
    }
    m_doc.Write(QStringLiteral("CMirrowelDoc::RelativePathProperties()"),
                [&]
                {
                    Db().Execute(
                        QStringLiteral("UPDATE [RelativePath] SET KeepPriority=? WHERE RelativePathId=?"),
                        {CDbValue(data.lKeepPriority), CDbValue(relativePathId)});
                });
    return renamed;
}

void CCatalogueStore::SynchronizeCatalogue(qint32 catalogueId)
{
    if (!m_doc.IsOpen())
        return;
    bool updateTTH = false;
    try
    {
        CDbStatement st =
            Db().Prepare(QStringLiteral("SELECT UpdateTTH FROM Catalogue WHERE Catalogue.CatalogueId=?"));
        st.Bind(1, catalogueId);
        updateTTH = st.Step() && st.Value(0).ToBool();
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(),
                      QStringLiteral("CMirrowelDoc::SynchronizeCatalogue() - CatalogueRecSet.Open"));
        return;
    }
    QString line = QStringLiteral("-Database=%1 -CatalogueID=\"%2\" -AddFiles -MarkDeleted")
                       .arg(QuotedValue(m_doc.Path()))
                       .arg(catalogueId);
    if (updateTTH)
        line += QStringLiteral(" -UpdateTTH");
    m_doc.Synch().Send(QStringLiteral("Synchronize"), line, catalogueId);
}

void CCatalogueStore::UpdateCatalogueTTH(qint32 catalogueId)
{
    if (!m_doc.IsOpen())
        return;
    const QString name = GetCatalogueNameFromCatalogueId(catalogueId);
    // The synchronizer finds a catalogue by name with LIKE: a name with both quotes, or with a
    // pattern character, could name another catalogue, so such a one goes by its identifier.
    const bool byName = !(name.contains(QLatin1Char('"')) && name.contains(QLatin1Char('\''))) &&
                        !name.contains(QRegularExpression(QStringLiteral("[*?#\\[]")));
    const QString line = byName ? QStringLiteral("-Database=%1 -Catalogue=%2 -UpdateTTH")
                                      .arg(QuotedValue(m_doc.Path()), QuotedValue(name))
                                : QStringLiteral("-Database=%1 -CatalogueID=\"%2\" -UpdateTTH")
                                      .arg(QuotedValue(m_doc.Path()))
                                      .arg(catalogueId);
    m_doc.Synch().Send(QStringLiteral("UpdateTTH"), line, catalogueId);
}

// ---------------------------------------------------------------------------------------------
// Lookups by identifier

QString CCatalogueStore::GetGroupNameFromGroupId(qint32 groupId)
{
    return m_doc
        .Lookup(QStringLiteral("SELECT Group.Group FROM [Group] WHERE (Group.GroupId=?)"), groupId,
                QStringLiteral("CMirrowelDoc::GetGroupNameFromGroupId()"))
        .ToString();
}

qint32 CCatalogueStore::GetParentGroupFromGroup(qint32 groupId)
{
    return m_doc
        .Lookup(QStringLiteral("SELECT Group.ParentGroupId FROM [Group] WHERE (Group.GroupId=?)"), groupId,
                QStringLiteral("CMirrowelDoc::GetParentGroupFromGroup()"))
        .ToLong();
}

qint32 CCatalogueStore::GetParentGroupFromCatalogueId(qint32 catalogueId)
{
    return m_doc
        .Lookup(QStringLiteral("SELECT Catalogue.GroupId FROM [Catalogue] WHERE (Catalogue.CatalogueId=?)"),
                catalogueId, QStringLiteral("CMirrowelDoc::GetParentGroupFromCatalogueId()"))
        .ToLong();
}

qint32 CCatalogueStore::GetCatalogueIdFromCatalogueName(const QString& name)
{
    return m_doc
        .Lookup(QStringLiteral("SELECT Catalogue.CatalogueId FROM [Catalogue] WHERE (Catalogue.Catalogue=?)"),
                name, QStringLiteral("CMirrowelDoc::GetCatalogueIdFromCatalogueName()"))
        .ToLong();
}

qint32 CCatalogueStore::GetCatalogueIdFromFileId(qint32 fileId)
{
    return m_doc
        .Lookup(QStringLiteral("SELECT File.CatalogueId FROM [File] WHERE (File.FileId=?)"), fileId,
                QStringLiteral("CMirrowelDoc::GetCatalogueIdFromFileId()"))
        .ToLong();
}

qint32 CCatalogueStore::GetRelativePathIdFromFileId(qint32 fileId)
{
    return m_doc
        .Lookup(QStringLiteral("SELECT File.RelativePathId FROM [File] WHERE (File.FileId=?)"), fileId,
                QStringLiteral("CMirrowelDoc::GetRelativePathIdFromFileId()"))
        .ToLong();
}

QString CCatalogueStore::GetCatalogueNameFromCatalogueId(qint32 catalogueId)
{
    return m_doc
        .Lookup(QStringLiteral("SELECT Catalogue.Catalogue FROM [Catalogue] WHERE (Catalogue.CatalogueId=?)"),
                catalogueId, QStringLiteral("CMirrowelDoc::GetCatalogueNameFromCatalogueId()"))
        .ToString();
}
