#pragma once

#include "browser/handlers/FileHandlers.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class CUserInteraction;

// What opening a catalogued file needs: its path as catalogued and the medium it lives on.
struct SOpenRequest
{
    QString strPath;
    qint32 nVolumeSerial = 0;
    QString strVolume;
};

// A file whose opening runs code: Windows programs and screen savers, and here also shell
// scripts, desktop entries and anything with an execute permission.
bool IsUnsafeFile(const QString& path);

// Opens catalogued files: finds the medium, asks before running anything executable, and starts
// the handler's application with the file as one argument (or talks to it by DDE), or lets the
// desktop's association open it. Nothing here goes through a shell.
class CFileOpener final
{
public:
    CFileOpener(const CFileHandlerSet& handlers, CUserInteraction& ui);

    // Opens the file with the handler at that position, or the extension's default handler.
    // Returns the started process's id; -1 when nothing was started (or the opening went by DDE
    // or to the desktop's association, which leave no process of the file's own to follow).
    qint64 OpenFile(const SOpenRequest& request, std::optional<int> handler = std::nullopt);

    // Shows the file selected in the file manager, or at least its folder.
    bool OpenContainingFolder(const SOpenRequest& request);

    // Starts a program detached with the person's settings; its id, or -1 with the failure told.
    qint64 RunCommand(const SLaunchCommand& command);
    // Hands the file to a handler's DDE server, starting the server first or when it does not
    // answer; the launch command may be empty when only a running server is wanted.
    bool SendDdeMessage(const std::optional<SLaunchCommand>& launch, bool bPrelaunch, const QString& service,
                        const QString& topic, const QString& item, const QString& data,
                        unsigned transactionType);

    // The program that opens a file or folder with the desktop's association ("xdg-open").
    void SetDesktopOpener(const QString& program) { m_strDesktopOpener = program; }
    // Asks the file manager to show a file selected; false when none answers.
    void SetFileManagerShow(std::function<bool(const QString& path)> show)
    {
        m_showInFileManager = std::move(show);
    }
    // How long a started DDE server may take to answer.
    void SetServerStartWait(int ms) { m_nServerStartWaitMs = ms; }

private:
    bool Locate(SOpenRequest& request);
    qint64 OpenWithDesktop(const QString& path);

    const CFileHandlerSet& m_handlers;
    CUserInteraction& m_ui;
    QString m_strDesktopOpener = QStringLiteral("xdg-open");
    std::function<bool(const QString&)> m_showInFileManager;
    int m_nServerStartWaitMs = 40000;
};
