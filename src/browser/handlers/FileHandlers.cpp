#include "browser/handlers/FileHandlers.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace
{
const QString kFileTypes = QStringLiteral("FileTypes");
const QString kFileType = QStringLiteral("FileType");
const QString kPlaceholder = QStringLiteral("%1");

QString Flag(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QString NormalisedExtension(QString extension)
{
    while (extension.startsWith(QLatin1Char('.')))
        extension.remove(0, 1);
    return extension.toLower();
}

QString Unquoted(QString text)
{
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        return text.mid(1, text.size() - 2);
    return text;
}
} // namespace

SDdeSettings GetDdeSettings(const SFileHandler& handler)
{
    SDdeSettings settings;
    settings.transactionType = handler.strDdeType == QLatin1String("Poke") ? kXtypPoke : kXtypExecute;
    settings.bUseDde = !handler.strDdeService.isEmpty();
    return settings;
}

bool ExtensionListContains(const QString& list, const QString& extension)
{
    const QString wanted = NormalisedExtension(extension);
    if (wanted.isEmpty())
        return false;
    for (const QString& entry : list.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (NormalisedExtension(entry) == wanted)
            return true;
    return false;
}

QString BuildCommandLine(const SFileHandler& handler, const QString& filePath)
{
    QString path = filePath.trimmed();
    if (!path.isEmpty() && !path.startsWith(QLatin1Char('"')))
        path = QLatin1Char('"') + path + QLatin1Char('"');
    QString application = handler.strApplication.trimmed();
    if (!application.isEmpty() && !application.startsWith(QLatin1Char('"')))
        application = QLatin1Char('"') + application + QLatin1Char('"');
    QString parameters = handler.strCommandLine;
    parameters.replace(QStringLiteral("\"%1\""), kPlaceholder);
    parameters.replace(kPlaceholder, path);
    return application + QLatin1Char(' ') + parameters;
}

std::optional<SLaunchCommand> BuildLaunchCommand(const SFileHandler& handler, const QString& filePath)
{
    SLaunchCommand command;
    command.strProgram = Unquoted(handler.strApplication);
    if (command.strProgram.isEmpty())
        return std::nullopt;
    command.arguments = QProcess::splitCommand(handler.strCommandLine);
    for (QString& argument : command.arguments)
        argument.replace(kPlaceholder, filePath);
    return command;
}

QString FileHandlingXmlPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("Brevold/FileHandling.xml"));
}

CFileHandlerSet::CFileHandlerSet()
{
    EnsureShape();
}

bool CFileHandlerSet::Load(const QString& path)
{
    const bool read = m_doc.Load(path);
    if (!read)
        m_doc.Clear();
    EnsureShape();
    return read;
}

bool CFileHandlerSet::Save(const QString& path) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    return m_doc.Save(path);
}

void CFileHandlerSet::EnsureShape()
{
    CXmlNode& root = m_doc.Root();
    if (!m_doc.Declaration())
    {
        auto declaration = std::make_unique<CXmlNode>(QStringLiteral("xml"));
        declaration->SetProperty(QStringLiteral("version"), QStringLiteral("1.0"));
        declaration->SetProperty(QStringLiteral("encoding"), QStringLiteral("UTF-8"));
        root.InsertChild(0, std::move(declaration));
    }
    // What is written is UTF-8, whatever an older file said it was.
    m_doc.Declaration()->SetProperty(QStringLiteral("encoding"), QStringLiteral("UTF-8"));
    if (!root.FindChild(kFileTypes))
        root.AppendChild(std::make_unique<CXmlNode>(kFileTypes));
}

CXmlNode* CFileHandlerSet::FileTypes() const
{
    return m_doc.Root().FindChild(kFileTypes);
}

CXmlNode* CFileHandlerSet::Element(int index) const
{
    const CXmlNode* types = FileTypes();
    int seen = 0;
    for (int i = 0; i < types->ChildCount(); ++i)
        if (types->Child(i)->Name() == kFileType && seen++ == index)
            return types->Child(i);
    return nullptr;
}

int CFileHandlerSet::Count() const
{
    const CXmlNode* types = FileTypes();
    int count = 0;
    for (int i = 0; i < types->ChildCount(); ++i)
        count += types->Child(i)->Name() == kFileType ? 1 : 0;
    return count;
}

SFileHandler CFileHandlerSet::Handler(int index) const
{
    SFileHandler h;
    const CXmlNode* e = Element(index);
    if (!e)
        return h;
    auto text = [e](const char* name, const QString& fallback)
    {
        const QString key = QString::fromLatin1(name);
        return e->HasProperty(key) ? e->Property(key) : fallback;
    };
    auto flag = [&](const char* name, bool fallback)
    { return text(name, Flag(fallback)) == QLatin1String("1"); };
    h.strName = e->Value();
    h.strApplication = text("Application", h.strApplication);
    h.strCommandLine = text("CommandLine", h.strCommandLine);
    h.strDefaultExtensions = text("DefaultExtensions", {});
    h.strSecondaryExtensions = text("SecondaryExtensions", {});
    h.bKillPrevApp = flag("KillPrevApp", false);
    h.strKillPrevAppTime = text("KillPrevAppTime", h.strKillPrevAppTime);
    h.bWaitForAppExit = flag("WaitForAppExit", false);
    h.bUseDde = flag("UseDDE", false);
    h.strDdeType = text("DDEType", h.strDdeType);
    h.bDdePrelaunchServer = flag("DDEPrelaunchServer", false);
    h.strDdeService = text("DDEService", {});
    h.strDdeTopic = text("DDETopic", {});
    h.strDdeItem = text("DDEItem", {});
    h.strDdeData = text("DDEData", {});
    return h;
}

std::vector<SFileHandler> CFileHandlerSet::Handlers() const
{
    std::vector<SFileHandler> handlers;
    for (int i = 0; i < Count(); ++i)
        handlers.push_back(Handler(i));
    return handlers;
}

int CFileHandlerSet::IndexOf(const QString& name) const
{
    for (int i = 0; i < Count(); ++i)
        if (Element(i)->Value() == name)
            return i;
    return -1;
}

int CFileHandlerSet::StoreHandler(const SFileHandler& h)
{
    int index = IndexOf(h.strName);
    CXmlNode* e = nullptr;
    if (index < 0)
    {
        e = FileTypes()->AppendChild(std::make_unique<CXmlNode>(kFileType));
        index = Count() - 1;
    }
    else
        e = Element(index);
    e->SetValue(h.strName);
    e->SetProperty(QStringLiteral("Application"), h.strApplication);
    e->SetProperty(QStringLiteral("CommandLine"), h.strCommandLine);
    e->SetProperty(QStringLiteral("DefaultExtensions"), h.strDefaultExtensions);
    e->SetProperty(QStringLiteral("SecondaryExtensions"), h.strSecondaryExtensions);
    e->SetProperty(QStringLiteral("KillPrevApp"), Flag(h.bKillPrevApp));
    e->SetProperty(QStringLiteral("KillPrevAppTime"), h.strKillPrevAppTime);
    e->SetProperty(QStringLiteral("WaitForAppExit"), Flag(h.bWaitForAppExit));
    e->SetProperty(QStringLiteral("UseDDE"), Flag(h.bUseDde));
    e->SetProperty(QStringLiteral("DDEType"), h.strDdeType);
    e->SetProperty(QStringLiteral("DDEPrelaunchServer"), Flag(h.bDdePrelaunchServer));
    e->SetProperty(QStringLiteral("DDEService"), h.strDdeService);
    e->SetProperty(QStringLiteral("DDETopic"), h.strDdeTopic);
    e->SetProperty(QStringLiteral("DDEItem"), h.strDdeItem);
    e->SetProperty(QStringLiteral("DDEData"), h.strDdeData);
    return index;
}

void CFileHandlerSet::Remove(int index)
{
    if (CXmlNode* e = Element(index))
        FileTypes()->TakeChild(FileTypes()->IndexOf(e));
}

bool CFileHandlerSet::Move(int index, int direction)
{
    CXmlNode* a = Element(index);
    CXmlNode* b = Element(index + direction);
    if (!a || !b || (direction != -1 && direction != 1))
        return false;
    FileTypes()->SwapChildren(FileTypes()->IndexOf(a), FileTypes()->IndexOf(b));
    return true;
}

std::optional<int> CFileHandlerSet::FindDefaultHandler(const QString& extension) const
{
    for (int i = 0; i < Count(); ++i)
        if (ExtensionListContains(Element(i)->Property(QStringLiteral("DefaultExtensions")), extension))
            return i;
    return std::nullopt;
}

std::vector<int> CFileHandlerSet::OpenWithHandlers(const QString& extension) const
{
    std::vector<int> found;
    for (int i = 0; i < Count(); ++i)
        if (ExtensionListContains(Element(i)->Property(QStringLiteral("SecondaryExtensions")), extension))
            found.push_back(i);
    return found;
}
