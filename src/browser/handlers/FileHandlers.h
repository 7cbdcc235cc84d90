#pragma once

#include "browser/handlers/XmlDocument.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// One file handler: which application opens which extensions, and how.
struct SFileHandler
{
    QString strName;
    QString strApplication;
    QString strCommandLine = QStringLiteral("%1");
    QString strDefaultExtensions;
    QString strSecondaryExtensions;
    bool bKillPrevApp = false;
    QString strKillPrevAppTime = QStringLiteral("0.0");
    bool bWaitForAppExit = true;
    bool bUseDde = false;
    QString strDdeType = QStringLiteral("Execute");
    bool bDdePrelaunchServer = true;
    QString strDdeService;
    QString strDdeTopic;
    QString strDdeItem;
    QString strDdeData;

    bool operator==(const SFileHandler&) const = default;
};

// The DDE transaction a handler asks for.
constexpr unsigned kXtypExecute = 0x4050;
constexpr unsigned kXtypPoke = 0x4090;
struct SDdeSettings
{
    unsigned transactionType = kXtypExecute;
    bool bUseDde = false; // a service is named
};
SDdeSettings GetDdeSettings(const SFileHandler& handler);

// Whether a blank-separated list of extensions holds this one: case and leading dots ignored.
bool ExtensionListContains(const QString& list, const QString& extension);

// "app" "file" parameters as a line of text (what the options page and logs show): the file path
// and the application quoted, a placeholder already in quotes taking the quoted path unchanged.
QString BuildCommandLine(const SFileHandler& handler, const QString& filePath);

// What is started for a handler: the program and its arguments, never a shell. The parameters are
// split like a command line (blanks outside double quotes); each "%1" in them becomes the file
// path, so a path reaches the program as the one argument it was, whatever characters it holds.
// Nothing without an application (such a handler only speaks DDE).
struct SLaunchCommand
{
    QString strProgram;
    QStringList arguments;
};
std::optional<SLaunchCommand> BuildLaunchCommand(const SFileHandler& handler, const QString& filePath);

// FileHandling.xml in the user's configuration folder ("Brevold" below the desktop's config home).
QString FileHandlingXmlPath();

// The handlers as FileHandling.xml keeps them: a "FileType" element per handler below
// "FileTypes", in the user's order; the element's text is the name, every setting a property.
// Properties the program does not know are kept as they were.
class CFileHandlerSet final
{
public:
    CFileHandlerSet();

    // Reads the file; a missing or unreadable file gives an empty set (false), which the first
    // Save creates.
    bool Load(const QString& path);
    bool Save(const QString& path) const;
    const CXmlDocument& Document() const { return m_doc; }

    int Count() const;
    SFileHandler Handler(int index) const;
    std::vector<SFileHandler> Handlers() const;
    // The position of the handler of that name; -1 when none.
    int IndexOf(const QString& name) const;

    // Stores the handler over the one of its name, or appends it; returns its position.
    int StoreHandler(const SFileHandler& handler);
    void Remove(int index);
    // Swaps with the neighbour above (-1) or below (+1); false where no move is possible.
    bool Move(int index, int direction);

    // The first handler, in file order, that is the default for the extension.
    std::optional<int> FindDefaultHandler(const QString& extension) const;
    // The handlers offered in "Open With" for the extension, in file order.
    std::vector<int> OpenWithHandlers(const QString& extension) const;

private:
    void EnsureShape();
    CXmlNode* FileTypes() const;
    CXmlNode* Element(int index) const;

    CXmlDocument m_doc;
};
