#include "FileOpsFixture.h"

#include "cli/CliCommands.h"
#include "cli/CliDelete.h"
#include "cli/CliOptions.h"

#include <QTextStream>

class CliDeleteTest : public FileOpsTest
{
protected:
    int Run(const QStringList& arguments)
    {
        const CCliParse parse =
            ParseCliArguments(QStringList{QStringLiteral("delete-checked"), m_strDatabase} + arguments);
        EXPECT_TRUE(parse.problem.isEmpty()) << parse.problem.toStdString();
        m_strOut.clear();
        QTextStream out(&m_strOut);
        return DeleteCheckedCommand(m_doc, parse.options, out);
    }
    void AddCopies()
    {
        const QString tth = QStringLiteral("QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ");
        // Both copies of one file checked: the copy in the catalogue of higher priority stays.
        Db().Execute(QStringLiteral("UPDATE Catalogue SET CatalogueKeepPriority=20000 WHERE CatalogueId=1"));
        AddFile(101, 1, 0, QStringLiteral("twin"), "twin", tth, false, true);
        AddFile(102, 2, 0, QStringLiteral("twin"), "twin", tth, false, true);
        AddFile(103, 1, 5, QStringLiteral("single.txt"), "single", {}, false, true);
        AddFile(104, 1, 5, QStringLiteral("unchecked.txt"), "unchecked");
    }
    QString m_strOut;
};

TEST_F(CliDeleteTest, WithoutYesItListsWhatWouldGoAndChangesNothing)
{
    AddCopies();
    EXPECT_EQ(Run({}), kCliDone);
    EXPECT_TRUE(m_strOut.contains(FilePathOf(2, 0, QStringLiteral("twin"))));
    EXPECT_TRUE(m_strOut.contains(FilePathOf(1, 5, QStringLiteral("single.txt"))));
    EXPECT_FALSE(m_strOut.contains(FilePathOf(1, 0, QStringLiteral("twin"))))
        << "the kept copy is not listed";
    EXPECT_FALSE(m_strOut.contains(QStringLiteral("unchecked.txt")));
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM File WHERE Deleted=TRUE OR Ghost=TRUE")), 0);
    EXPECT_TRUE(Trashed().isEmpty());
}

TEST_F(CliDeleteTest, YesDeletesOrGhostsTheCheckedFilesKeepingOneCopyOfEach)
{
    AddCopies();
    EXPECT_EQ(Run({QStringLiteral("--yes")}), kCliDone);
    EXPECT_FALSE(Field(101, QStringLiteral("Deleted")).ToBool());
    EXPECT_TRUE(QFileInfo::exists(FilePathOf(1, 0, QStringLiteral("twin"))));
    EXPECT_TRUE(Field(102, QStringLiteral("Deleted")).ToBool());
    EXPECT_TRUE(Field(103, QStringLiteral("Deleted")).ToBool());
    EXPECT_FALSE(Field(104, QStringLiteral("Deleted")).ToBool());
    QList<QByteArray> trashed = Trashed();
    std::sort(trashed.begin(), trashed.end());
    EXPECT_EQ(trashed, QList<QByteArray>({"single", "twin"}));

    // Ghosting the one left checked: a row kept as a ghost, its mark cleared.
    EXPECT_EQ(Run({QStringLiteral("--ghost"), QStringLiteral("--yes")}), kCliDone);
    EXPECT_TRUE(Field(101, QStringLiteral("Ghost")).ToBool());
    EXPECT_FALSE(Mark(101));
    EXPECT_FALSE(QFileInfo::exists(FilePathOf(1, 0, QStringLiteral("twin"))));
}

TEST_F(CliDeleteTest, AFileThatCannotGoFailsTheCommandAndExtraArgumentsAreRefused)
{
    AddFile(101, 1, 0, QStringLiteral("vanished.txt"), "vanished", {}, false, true);
    m_written.clear();
    QFile::remove(FilePathOf(1, 0, QStringLiteral("vanished.txt")));
    EXPECT_EQ(Run({QStringLiteral("--yes")}), kCliFailed);
    EXPECT_FALSE(Field(101, QStringLiteral("Deleted")).ToBool());
    EXPECT_EQ(Run({QStringLiteral("extra")}), kCliUsage);
    EXPECT_TRUE(IsReadOnlyCliCommand(QStringLiteral("delete-checked")) == false);
    EXPECT_TRUE(CliCommandNames().contains(QStringLiteral("delete-checked")));
}
