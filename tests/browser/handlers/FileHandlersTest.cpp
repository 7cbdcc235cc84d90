#include "browser/handlers/FileHandlers.h"

#include "TestFiles.h"

#include <QBuffer>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{
SFileHandler MakeHandler(const QString& name, const QString& defaults, const QString& secondary = {})
{
    SFileHandler h;
    h.strName = name;
    h.strApplication = QStringLiteral("/usr/bin/") + name;
    h.strDefaultExtensions = defaults;
    h.strSecondaryExtensions = secondary;
    return h;
}

// Saves the set and reads the file into again.
void Reread(const CFileHandlerSet& set, CFileHandlerSet& again)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("FileHandling.xml"));
    EXPECT_TRUE(set.Save(path));
    EXPECT_TRUE(again.Load(path));
}
} // namespace

TEST(XmlDocumentTest, WritesDeclarationIndentedElementsAndEscapedQuotes)
{
    CXmlDocument doc;
    CXmlNode* decl = doc.Root().AppendChild(std::make_unique<CXmlNode>(QStringLiteral("xml")));
    decl->SetProperty(QStringLiteral("version"), QStringLiteral("1.0"));
    CXmlNode* top = doc.Root().AppendChild(std::make_unique<CXmlNode>(QStringLiteral("FileTypes")));
    CXmlNode* a = top->AppendChild(std::make_unique<CXmlNode>(QStringLiteral("FileType")));
    a->SetValue(QStringLiteral("Say \"hi\""));
    a->SetProperty(QStringLiteral("CommandLine"), QStringLiteral("\"%1\" /play"));
    a->SetProperty(QStringLiteral("CommandLine"), QStringLiteral("\"%1\" /x")); // replaces, keeps its place
    a->SetProperty(QStringLiteral("Empty"), QString());
    top->AppendChild(std::make_unique<CXmlNode>(QStringLiteral("Blank")));
    CXmlNode* nested = top->AppendChild(std::make_unique<CXmlNode>(QStringLiteral("Group")));
    nested->AppendChild(std::make_unique<CXmlNode>(QStringLiteral("Leaf")))
        ->SetValue(QStringLiteral("a < b"));

    const QByteArray expected =
        "<?xml version=\"1.0\"?>\r\n"
        "<FileTypes>\r\n"
        "    <FileType CommandLine=\"%22%1%22 /x\" Empty=\"\">Say %22hi%22</FileType>\r\n"
        "    <Blank/>\r\n"
        "    <Group>\r\n"
        "        <Leaf>a %3C b</Leaf>\r\n"
        "    </Group>\r\n"
        "</FileTypes>\r\n";
    EXPECT_EQ(doc.ToBytes(), expected);

    CXmlDocument back;
    back.FromBytes(expected);
    EXPECT_EQ(back.ToBytes(), expected);
    const CXmlNode* types = back.Root().FindChild(QStringLiteral("FileTypes"));
    ASSERT_NE(types, nullptr);
    EXPECT_EQ(types->Value(), QString()) << "the indentation before a child is no value";
    ASSERT_EQ(types->ChildCount(), 3);
    EXPECT_EQ(types->Child(0)->Value(), QStringLiteral("Say \"hi\""));
    EXPECT_EQ(types->Child(0)->Property(QStringLiteral("CommandLine")), QStringLiteral("\"%1\" /x"));
    EXPECT_EQ(types->Child(2)->Child(0)->Value(), QStringLiteral("a < b"));
    EXPECT_EQ(back.Declaration()->Property(QStringLiteral("version")), QStringLiteral("1.0"));
}

TEST(XmlDocumentTest, ReaderSkipsTabsAndLineBreaksEverywhereAndReadsAcrossBlocks)
{
    CXmlDocument doc;
    doc.FromBytes(
        "<?xml version=\"1.0\"?>\n<Fi\tle\r\nTypes>\n\t<FileType App=\"a\tb\nc\">Na\tme  x</FileType>\n"
        "<FileType Other=\"two words\" />\n</FileTypes>");
    const CXmlNode* types = doc.Root().FindChild(QStringLiteral("FileTypes"));
    ASSERT_NE(types, nullptr);
    ASSERT_EQ(types->ChildCount(), 2);
    EXPECT_EQ(types->Child(0)->Property(QStringLiteral("App")), QStringLiteral("abc"));
    EXPECT_EQ(types->Child(0)->Value(), QStringLiteral("Name  x")) << "blanks stay in element text";
    EXPECT_EQ(types->Child(1)->Property(QStringLiteral("Other")), QStringLiteral("two words"));

    // Far more than one block of the reader, with a value spanning a block boundary.
    CFileHandlerSet many;
    for (int i = 0; i < 300; ++i)
        many.StoreHandler(MakeHandler(QStringLiteral("handler %1").arg(i), QStringLiteral("e%1").arg(i)));
    CFileHandlerSet back;
    Reread(many, back);
    ASSERT_EQ(back.Count(), 300);
    EXPECT_EQ(back.Handlers(), many.Handlers());
}

TEST(FileHandlerSetTest, TypedTabsAndLineBreaksAreWrittenButDroppedOnReading)
{
    CFileHandlerSet set;
    SFileHandler h = MakeHandler(QStringLiteral("Quote \"me\""), QStringLiteral("mp3"));
    h.strCommandLine = QStringLiteral("--a\t\"%1\"\r\n--b");
    set.StoreHandler(h);
    EXPECT_TRUE(set.Document().ToBytes().contains("Quote %22me%22"));
    EXPECT_TRUE(set.Document().ToBytes().contains("--a\t%22%1%22\r\n--b"));

    CFileHandlerSet back;
    Reread(set, back);
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.Handler(0).strName, QStringLiteral("Quote \"me\""));
    EXPECT_EQ(back.Handler(0).strCommandLine, QStringLiteral("--a\"%1\"--b"));
    EXPECT_EQ(back.IndexOf(QStringLiteral("Quote \"me\"")), 0);
}

TEST(FileHandlerSetTest, FirstDefaultHandlerWinsAndMovingChangesIt)
{
    CFileHandlerSet set;
    set.StoreHandler(
        MakeHandler(QStringLiteral("first"), QStringLiteral(".MP3 .ogg"), QStringLiteral("flac")));
    set.StoreHandler(
        MakeHandler(QStringLiteral("second"), QStringLiteral("mp3"), QStringLiteral("mp3 flac")));
    set.StoreHandler(MakeHandler(QStringLiteral("third"), QStringLiteral("txt"), QStringLiteral("FLAC")));

    EXPECT_EQ(set.FindDefaultHandler(QStringLiteral("mp3")), 0);
    EXPECT_EQ(set.FindDefaultHandler(QStringLiteral("OGG")), 0);
    EXPECT_EQ(set.FindDefaultHandler(QStringLiteral(".ogg")), 0);
    EXPECT_EQ(set.FindDefaultHandler(QStringLiteral("og")), std::nullopt);
    EXPECT_EQ(set.FindDefaultHandler(QString()), std::nullopt);
    EXPECT_EQ(set.OpenWithHandlers(QStringLiteral("flac")), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(set.OpenWithHandlers(QStringLiteral("mp3")), (std::vector<int>{1}));

    EXPECT_FALSE(set.Move(0, -1));
    EXPECT_FALSE(set.Move(2, +1));
    EXPECT_TRUE(set.Move(1, -1));
    EXPECT_EQ(set.Handler(0).strName, QStringLiteral("second"));
    EXPECT_EQ(set.FindDefaultHandler(QStringLiteral("mp3")), 0);
    EXPECT_EQ(set.FindDefaultHandler(QStringLiteral("ogg")), 1);

    // Storing by name replaces the one of that name in place.
    SFileHandler changed = set.Handler(1);
    changed.strDefaultExtensions = QStringLiteral("wav");
    EXPECT_EQ(set.StoreHandler(changed), 1);
    EXPECT_EQ(set.Count(), 3);
    EXPECT_EQ(set.FindDefaultHandler(QStringLiteral("ogg")), std::nullopt);

    set.Remove(0);
    EXPECT_EQ(set.Count(), 2);
    EXPECT_EQ(set.FindDefaultHandler(QStringLiteral("mp3")), std::nullopt);
    CFileHandlerSet back;
    Reread(set, back);
    EXPECT_EQ(back.Handlers(), set.Handlers());
}

TEST(FileHandlerSetTest, MissingFileGivesAnEmptySetThatTheFirstSaveCreates)
{
    QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", dir.path().toUtf8());
    const QString path = FileHandlingXmlPath();
    EXPECT_EQ(path, dir.filePath(QStringLiteral("Brevold/FileHandling.xml")));

    CFileHandlerSet set;
    EXPECT_FALSE(set.Load(path));
    EXPECT_EQ(set.Count(), 0);
    EXPECT_TRUE(set.Save(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<FileTypes/>\r\n"));

    // A file without a declaration or a FileTypes element gets them; unknown properties stay.
    WriteText(path, "<FileTypes><FileType Application=\"/bin/x\" Colour=\"red\">x</FileType></FileTypes>");
    EXPECT_TRUE(set.Load(path));
    ASSERT_EQ(set.Count(), 1);
    EXPECT_EQ(set.Handler(0).strCommandLine, QStringLiteral("%1")) << "a property left out takes its default";
    set.StoreHandler(set.Handler(0));
    EXPECT_TRUE(set.Document().ToBytes().startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"));
    EXPECT_TRUE(set.Document().ToBytes().contains("Colour=\"red\""));
}

TEST(FileHandlerSetTest, OlderLatin1FilesAreReadAsLatin1)
{
    CXmlDocument doc;
    doc.FromBytes("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><FileTypes><FileType>Caf\xe9</FileType>"
                  "</FileTypes>");
    EXPECT_EQ(doc.Root().Child(1)->Child(0)->Value(), QStringLiteral("Caf\u00e9"));
}

TEST(CommandLineTest, QuotesApplicationAndPathAndKeepsParameters)
{
    SFileHandler h;
    h.strApplication = QStringLiteral("C:\\p\\player.exe");
    h.strCommandLine = QStringLiteral("\"%1\" /play");
    EXPECT_EQ(BuildCommandLine(h, QStringLiteral("C:\\x y.mp3")),
              QStringLiteral("\"C:\\p\\player.exe\" \"C:\\x y.mp3\" /play"));
    h.strCommandLine = QStringLiteral("%1 /play");
    EXPECT_EQ(BuildCommandLine(h, QStringLiteral("  \"C:\\x y.mp3\"  ")),
              QStringLiteral("\"C:\\p\\player.exe\" \"C:\\x y.mp3\" /play"));
    h.strApplication = QStringLiteral("\"C:\\q\\v.exe\"");
    EXPECT_EQ(BuildCommandLine(h, QString()), QStringLiteral("\"C:\\q\\v.exe\"  /play"));
}

TEST(CommandLineTest, LaunchCommandPassesTheFileAsOneUnchangedArgument)
{
    SFileHandler h;
    h.strApplication = QStringLiteral("  \"/opt/my player/play\" ");
    h.strCommandLine = QStringLiteral("\"%1\" /play --title=%1 \"two words\"");
    const QString nasty = QStringLiteral("/m/a;b $(touch x) `y` \"q\" 'r' %2.mp3");
    const std::optional<SLaunchCommand> command = BuildLaunchCommand(h, nasty);
    ASSERT_TRUE(command);
    EXPECT_EQ(command->strProgram, QStringLiteral("/opt/my player/play"));
    EXPECT_EQ(command->arguments,
              (QStringList{nasty, QStringLiteral("/play"), QStringLiteral("--title=") + nasty,
                           QStringLiteral("two words")}));

    h.strApplication.clear();
    EXPECT_FALSE(BuildLaunchCommand(h, nasty)) << "the file itself is never taken for the program";
}

TEST(CommandLineTest, DdeSettings)
{
    SFileHandler h;
    EXPECT_EQ(GetDdeSettings(h).transactionType, kXtypExecute);
    EXPECT_FALSE(GetDdeSettings(h).bUseDde);
    h.strDdeType = QStringLiteral("Poke");
    h.strDdeService = QStringLiteral("viewer");
    EXPECT_EQ(GetDdeSettings(h).transactionType, kXtypPoke);
    EXPECT_TRUE(GetDdeSettings(h).bUseDde);
}
