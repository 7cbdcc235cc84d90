#pragma once

#include <QString>

#include <functional>
#include <utility>
#include <vector>

// What the group, catalogue and folder dialogs show and return. The document fills them, a dialog
// (or a script) edits them, and the document checks and stores them: the widgets hold no logic.

// An entry of a parent-group list: the group and its path text (" <No Group>", "/Media/<Films>").
using GroupChoice = std::pair<qint32, QString>;

struct CGroupDialogData
{
    bool bCreate = false;
    QString strGroup;
    qint32 lParentGroupId = 0;
    std::vector<GroupChoice> parents;
};

struct CCatalogueDialogData
{
    bool bCreate = false;
    QString strCatalogue;
    QString strVolume;
    QString strSerial; // "%X"
    QString strLocation;
    qint32 lGroupId = 0;
    std::vector<GroupChoice> parents;
    bool bUpdateTTH = true;
    bool bDeleteDuplicates = false; // the Keep / Delete choice
    qint32 lKeepPriority = 1000;
    bool bExcludeFromDuplicates = false;
    QString strComputerName;
    QString strDriveType;
    QString strUserName;
    // The location the dialog opened with: a different one counts as changed.
    QString strOpenedLocation;

    bool LocationChanged() const { return strLocation != strOpenedLocation; }
};

struct CRelativePathDialogData
{
    bool bCreate = false;
    bool bFolderEditable = true; // the root folder's text cannot be changed
    QString strFolder;
    qint32 lKeepPriority = 1000;
};

// Shows a dialog on the data; true for OK. Called again with the same data when the document
// refuses what was entered (the dialog stays open), until OK passes or the person cancels.
template <typename T> using DialogFunction = std::function<bool(T&)>;

// One file that a file operation could not handle.
struct CFileProblem
{
    QString strPath;
    QString strProblem;
    QString strSolution;
};
