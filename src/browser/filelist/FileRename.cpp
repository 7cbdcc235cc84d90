#include "browser/filelist/FileRename.h"

#include "browser/RecordSetList.h"
#include "browser/RecordSetRowEditor.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/FileOperations.h"
#include "common/FilePath.h"
#include "common/MediaLocation.h"
#include "database/DbDatabase.h"
#include "platform/Volume.h"

#include <QFileInfo>

QString CFileRename::ExtensionOf(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return QString();
    QString extension = name.mid(dot + 1);
    while (!extension.isEmpty() && extension.back().isSpace())
        extension.chop(1);
    return extension;
}

CFileRename::EResult CFileRename::Rename(CRecordSetList& list, int row, const QString& newName)
{
    m_strProblem.clear();
    m_strSolution.clear();
    const QString name = newName.trimmed();
    // The record's own name, not the row's: a page read before an earlier rename of the same file
    // would name a file that is no longer there.
    QString oldName = list.DataCtrl_GetFieldValue(row, QStringLiteral("File.File")).ToString();
    try
    {
        CDbStatement current = m_db.Prepare(QStringLiteral("SELECT File FROM [File] WHERE FileId=?"));
        current.Bind(1, list.Key(row));
        if (current.Step())
            oldName = current.Value(0).ToString();
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMirrowelView::OnEndlabeledit() - FileRecSet.Open"));
        return EResult::RecordFailed;
    }
    if (name.isEmpty() || name == oldName || !list.DataCtrl_IsRowValid(row))
        return EResult::Unchanged;
    // A separator would move the file elsewhere rather than rename it.
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name == QLatin1String(".") ||
        name == QLatin1String(".."))
    {
        m_strProblem = QStringLiteral("A file name cannot contain a folder separator");
        return EResult::InvalidName;
    }

    const qint32 catalogueId = list.DataCtrl_GetFieldValue(row, QStringLiteral("File.CatalogueId")).ToLong();
    const qint32 relativePathId =
        list.DataCtrl_GetFieldValue(row, QStringLiteral("File.RelativePathId")).ToLong();
    QString location;
    QString volume;
    QString driveType;
    qint32 serial = 0;
    QString relativePath;
    try
    {
        CDbStatement catalogue = m_db.Prepare(
            QStringLiteral("SELECT Catalogue.CatalogueId, Catalogue.Volume, Catalogue.VolumeSerial, "
                           "Catalogue.Location, Catalogue.DriveType FROM [Catalogue] WHERE CatalogueId=?"));
        catalogue.Bind(1, catalogueId);
        if (!catalogue.Step())
            return EResult::RecordFailed;
        volume = catalogue.Value(1).ToString();
        serial = catalogue.Value(2).ToLong();
        location = catalogue.Value(3).ToString();
        driveType = catalogue.Value(4).ToString();
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CMirrowelView::OnEndlabeledit() - CatalogueRecSet.Open"));
        return EResult::RecordFailed;
    }
    if (relativePathId != 0)
    {
        try
        {
            CDbStatement folder = m_db.Prepare(QStringLiteral(
                "SELECT RelativePath.RelativePathId, RelativePath.RelativePath FROM [RelativePath] WHERE "
                "RelativePathId=?"));
            folder.Bind(1, relativePathId);
            if (folder.Step())
                relativePath = folder.Value(1).ToString();
        }
        catch (const CDbException& e)
        {
            LOG_EXCEPTION(e, QString(),
                          QStringLiteral("CMirrowelView::OnEndlabeledit() - RelativePathRecSet.Open"));
            return EResult::RecordFailed;
        }
    }

    QString folder = CatalogueFilePath(location, relativePath);
    if (LocateMediaWithPrompt(m_ui, folder, serial, volume, qMax(0, DriveTypeFromName(driveType))) != 0)
        return EResult::MediumMissing;
    const QString source = CatalogueFilePath(folder, QString(), oldName);
    const QString destination = CatalogueFilePath(folder, QString(), name);
    if (ValidatePathName(destination, &m_strProblem) != 0)
        return EResult::InvalidName;
    // Moving onto another file would send that file to the trash behind its record's back.
    const QFileInfo target(destination);
    if (target.exists() &&
        !(QFileInfo(source).exists() && target.canonicalFilePath() == QFileInfo(source).canonicalFilePath()))
    {
        m_strProblem = QStringLiteral("A file named \"%1\" already exists in this folder").arg(name);
        m_strSolution = QStringLiteral("Choose another name");
        return EResult::Exists;
    }
    if (MoveFileTo(source, destination, MOVE_DEST_FILE, &m_strProblem, &m_strSolution) != 0)
        return EResult::RenameFailed;

    std::unique_ptr<CRecordSetRowEditor> editor = list.DataCtrl_Edit(row);
    bool written = false;
    if (editor)
    {
        editor->SetFieldValue(QStringLiteral("File.File"), CDbValue(name));
        const QString extension = ExtensionOf(name);
        editor->SetFieldValue(QStringLiteral("File.Extension"),
                              extension.isEmpty() ? CDbValue::Null() : CDbValue(extension));
        written = editor->Update();
        if (!written)
            editor->CancelUpdate();
    }
    if (!written)
    {
        QString problem;
        QString solution;
        MoveFileTo(destination, source, MOVE_DEST_FILE, &problem, &solution);
        return EResult::RecordFailed;
    }
    return EResult::Renamed;
}
