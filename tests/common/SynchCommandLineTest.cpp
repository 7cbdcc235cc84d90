#include "common/SynchCommandLine.h"

#include <gtest/gtest.h>

namespace
{
struct Expected
{
    const char* database;
    const char* catalogue;
    qint32 catalogueId;
    const char* flags; // letters: A add files, M mark deleted, U update TTH, F force, N no modified,
                       // D delete duplicates, G ghost duplicates, Q quit
};

QString Flags(const SynchCommandLine& l)
{
    QString s;
    const std::pair<bool, char> flags[] = {{l.addFiles, 'A'},         {l.markDeleted, 'M'},
                                           {l.updateTTH, 'U'},        {l.forceUpdateTTH, 'F'},
                                           {l.noModifiedUpdateTTH, 'N'}, {l.deleteDuplicates, 'D'},
                                           {l.ghostDuplicates, 'G'},  {l.quit, 'Q'}};
    for (auto [set, letter] : flags)
        if (set)
            s += QLatin1Char(letter);
    return s;
}
} // namespace

TEST(SynchCommandLine, ParsesTheGrammar)
{
    const std::pair<const char*, Expected> cases[] = {
        // A quoted path with a blank keeps its case; flags in any case; the id by atol.
        {R"(-database="/media/My Films/Films.qrl" -CatalogueID=7 -addFILES -UpdateTth)",
         {"/media/My Films/Films.qrl", "", 7, "AU"}},
        // The keyword at the very start needs no dash; single quotes; a slash before a flag.
        {"DATABASE=/data/a.qrl -Catalogue='Holiday CDs' /UPDATETTH", {"/data/a.qrl", "Holiday CDs", 0, "U"}},
        // Update TTH does not set force; force alone runs nothing.
        {"-Database=x -CatalogueID=1 -UpdateTTH", {"x", "", 1, "U"}},
        {"-Database=x -CatalogueID=1 -ForceUpdateTTH", {"x", "", 1, "F"}},
        // An unterminated quote gives an empty value; the id keyword is not the name keyword.
        {R"(-Database="/data/a.qrl -CatalogueID=3)", {"", "", 3, ""}},
        {"-Database=x -CatalogueID=\"12\" -AddFiles -MarkDeleted", {"x", "", 12, "AM"}},
        // A flag followed by more letters is not the flag; at the end of the line it is.
        {"-Database=x -AddFilesNow -Quit", {"x", "", 0, "Q"}},
        // The flag pattern counts even inside a quoted value.
        {R"(-Database="/tmp/-AddFiles /x.qrl" -CatalogueID=2)", {"/tmp/-AddFiles /x.qrl", "", 2, "A"}},
        // atol: leading digits only, garbage is 0, the sign is honoured.
        {"-Database=x -CatalogueID=42abc", {"x", "", 42, ""}},
        {"-Database=x -CatalogueID=abc", {"x", "", 0, ""}},
        {"-Database=x -CatalogueID=-5", {"x", "", -5, ""}},
        // Tabs and surrounding blanks; the value ends at the first blank.
        {"   -Database=/a/b.qrl\t-CatalogueID=9 -GhostDuplicates -DeleteDuplicates -NoModifiedUpdateTTH  ",
         {"/a/b.qrl\t-CatalogueID=9", "", 9, "NDG"}},
        {"", {"", "", 0, ""}},
    };
    for (const auto& [line, e] : cases)
    {
        const SynchCommandLine parsed = SynchCommandLine::Parse(QString::fromUtf8(line));
        EXPECT_EQ(parsed.database, QString::fromUtf8(e.database)) << line;
        EXPECT_EQ(parsed.catalogue, QString::fromUtf8(e.catalogue)) << line;
        EXPECT_EQ(parsed.catalogueId, e.catalogueId) << line;
        EXPECT_EQ(Flags(parsed), QString::fromLatin1(e.flags)) << line;
    }
}

TEST(SynchCommandLine, TaskFlagsAreAnOrderedArray)
{
    const SynchCommandLine line = SynchCommandLine::Parse(QStringLiteral("-UpdateTTH -AddFiles"));
    EXPECT_FALSE(line.TaskFlag(0));
    EXPECT_TRUE(line.TaskFlag(1));
    EXPECT_FALSE(line.TaskFlag(2));
    EXPECT_TRUE(line.TaskFlag(3));
    EXPECT_FALSE(line.TaskFlag(4));
}

TEST(SynchCommandLine, StartupArgumentsDecideWhetherARequestIsMade)
{
    struct Case
    {
        QStringList arguments;
        bool creates;
    } cases[] = {
        {{"-Database=/data/My Films.qrl", "-CatalogueID=7", "-AddFiles"}, true},
        {{"-Database=/data/a.qrl", "-Catalogue=Holiday"}, true},
        {{"database=/data/a.qrl", "catalogueid=3"}, true},
        {{"-Database=/data/a.qrl"}, false},
        {{"-Database=/data/a.qrl", "-CatalogueID=0"}, false},
        {{"-CatalogueID=7", "-AddFiles"}, false},
        {{}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SynchCommandLine::ParseStartupArguments(c.arguments).WouldCreateRequest(), c.creates)
            << c.arguments.join(' ').toStdString();

    const SynchCommandLine startup =
        SynchCommandLine::ParseStartupArguments({"-Database=/data/My Films.qrl", "-Catalogue=Mixed Case"});
    EXPECT_EQ(startup.database, QStringLiteral("/data/My Films.qrl"));
    EXPECT_EQ(startup.catalogue, QStringLiteral("Mixed Case"));
}

TEST(SynchCommandLine, ArgumentsSplitByAShellParseBackToTheSameValues)
{
    const QStringList arguments = {"-Database=/media/My Films/it's.qrl", "-Catalogue=Say \"hi\" now",
                                   "-CatalogueID=7", "-AddFiles", "-Quit"};
    const QString line = SynchCommandLine::JoinArguments(arguments);
    const SynchCommandLine parsed = SynchCommandLine::Parse(line);
    EXPECT_EQ(parsed.database, QStringLiteral("/media/My Films/it's.qrl")) << line.toStdString();
    EXPECT_EQ(parsed.catalogue, QStringLiteral("Say \"hi\" now"));
    EXPECT_EQ(parsed.catalogueId, 7);
    EXPECT_TRUE(parsed.addFiles && parsed.quit);
    EXPECT_EQ(SynchCommandLine::JoinArguments({"-Database=/plain.qrl", "-AddFiles"}),
              QStringLiteral("-Database=/plain.qrl -AddFiles"));
}

TEST(SynchCommandLine, ServerAddressesPassWholeAsTheDatabase)
{
    for (const QString& address :
         {QStringLiteral("host=/run/postgresql dbname='my team' user=ann"),
          QStringLiteral("postgresql://ann@db:5432/films?sslmode=require&connect_timeout=5")})
    {
        SCOPED_TRACE(address.toStdString());
        const QString line =
            SynchCommandLine::JoinArguments({QStringLiteral("-Database=") + address,
                                             QStringLiteral("-CatalogueID=3"), QStringLiteral("-AddFiles")});
        const SynchCommandLine parsed = SynchCommandLine::Parse(line);
        EXPECT_EQ(parsed.database, address) << line.toStdString();
        EXPECT_EQ(parsed.catalogueId, 3);
        EXPECT_TRUE(parsed.addFiles);
        EXPECT_TRUE(parsed.WouldCreateRequest());
    }
}
