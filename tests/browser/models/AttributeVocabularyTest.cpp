#include "ModelFixture.h"

#include "browser/models/AttributeListModel.h"
#include "browser/models/AttributeSelection.h"
#include "browser/models/AttributeVocabulary.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

namespace
{
using Vocabulary = CAttributeListModel::Vocabulary;
using ListKind = CAttributeListModel::ListKind;
using EResult = CAttributeVocabulary::EResult;
} // namespace

// Keywords Jazz(1), Rock(2), Pop(3), blues(4); files 1..4 with FileInfo rows 10..13.
class AttributeVocabularyTest : public ModelFixture
{
protected:
    void SetUp() override
    {
        ModelFixture::SetUp();
        Sql("INSERT INTO Keyword (KeywordId, Keyword) VALUES (1, 'Jazz'), (2, 'Rock'), (3, 'Pop'), (4, "
            "'blues')");
        Sql("INSERT INTO IndexId (\"Index\", IndexId) VALUES ('Keyword_KeywordId', 4)");
        Sql("INSERT INTO KeywordUsage (KeywordId, \"User\", LastUsed) VALUES (2, 'alice', '2024-01-02 "
            "10:00:00'), "
            "(2, 'bob', '2024-01-03 10:00:00'), (1, 'bob', '2024-01-01 10:00:00')");
        Sql("INSERT INTO FileInfo (FileInfoId, Keyword, Description) VALUES "
            "(10, 'Jazz;  Rock;  ', NULL), (11, 'Rock;  ', NULL), (12, 'Pop;  Rock;  ', 'kept'), "
            "(13, 'blues;  Jazz;  ', NULL)");
        Sql("UPDATE \"File\" SET FileInfoId = FileId + 9 WHERE FileId <= 4");
        m_selection.strAll = QStringLiteral("Rock;  ");
        m_selection.strSome = QStringLiteral("Jazz;  Pop;  ");
    }

    QString Keywords(qint32 fileInfoId)
    {
        CDbStatement st = m_db.Prepare(QStringLiteral("SELECT Keyword FROM FileInfo WHERE FileInfoId=?"));
        st.Bind(1, fileInfoId);
        return st.Step() ? (st.Value(0).IsNull() ? QStringLiteral("<null>") : st.Value(0).ToString())
                         : QStringLiteral("<gone>");
    }

    CAttributeVocabulary m_keywords{QStringLiteral("Keyword"), m_db, m_ui, m_policy};
    CAttributeSelection m_selection;
};

TEST_F(AttributeVocabularyTest, DeletingAsksOnlyWhenFilesUseTheAttributeAndTakesItOffThem)
{
    // Used by no file: gone without a question, its usage rows with it.
    Sql("INSERT INTO Keyword (KeywordId, Keyword) VALUES (5, 'Folk')");
    Sql("INSERT INTO KeywordUsage (KeywordId, \"User\", LastUsed) VALUES (5, 'alice', '2024-01-02 "
        "10:00:00')");
    EXPECT_EQ(m_keywords.Delete(5, QStringLiteral("Folk"), &m_selection), EResult::Done);
    EXPECT_TRUE(m_ui.Messages().empty());
    EXPECT_EQ(Long("SELECT COUNT(*) FROM KeywordUsage WHERE KeywordId=5"), 0);
    EXPECT_TRUE(m_ui.StatusTexts().contains("Searching for used instances of Folk..."));

    // Used by three files: the count is asked about; No changes nothing.
    EXPECT_EQ(m_keywords.CountUsers(QStringLiteral("rock")), 3);
    m_ui.QueueAnswer(MsgAnswer::No);
    EXPECT_EQ(m_keywords.Delete(2, QStringLiteral("Rock"), &m_selection), EResult::Unchanged);
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].text,
              QStringLiteral("There are 3 files using this Keyword. Are you sure that you "
                             "wish to delete this attribute?\n\nNote that this cannot be "
                             "undone."));
    EXPECT_EQ(m_ui.Messages()[0].caption, QStringLiteral("Confirm Delete Attribute"));
    EXPECT_EQ(m_ui.Messages()[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(Long("SELECT COUNT(*) FROM Keyword WHERE KeywordId=2"), 1);
    EXPECT_EQ(Keywords(11), QStringLiteral("Rock;  "));

    // Yes: off every file; a list left empty is Null, a FileInfo row left with nothing goes and
    // its file is unedited again; the selection no longer shows it.
    m_ui.QueueAnswer(MsgAnswer::Yes);
    EXPECT_EQ(m_keywords.Delete(2, QStringLiteral("Rock"), &m_selection), EResult::Done);
    EXPECT_EQ(Keywords(10), QStringLiteral("Jazz;  "));
    EXPECT_EQ(Keywords(11), QStringLiteral("<gone>"));
    EXPECT_EQ(Long("SELECT COUNT(*) FROM File WHERE FileInfoId=11"), 0);
    EXPECT_EQ(Keywords(12), QStringLiteral("Pop;  ")) << "the description keeps the row";
    EXPECT_EQ(Long("SELECT COUNT(*) FROM KeywordUsage WHERE KeywordId=2"), 0);
    EXPECT_EQ(m_selection.strAll, QString());
    EXPECT_EQ(m_selection.strSome, QStringLiteral("Jazz;  Pop;  "));
    EXPECT_EQ(m_ui.UnexpectedMessages(), 0);
}

TEST_F(AttributeVocabularyTest, RenamingCarriesTheNameIntoEveryListAndOffersToMergeOntoAnExistingName)
{
    // A plain rename: each list holds the new name in its sorted place.
    EXPECT_EQ(m_keywords.Rename(2, QStringLiteral("Rock"), QStringLiteral("Bebop"), &m_selection),
              EResult::Done);
    EXPECT_EQ(Keywords(10), QStringLiteral("Bebop;  Jazz;  "));
    EXPECT_EQ(Keywords(12), QStringLiteral("Bebop;  Pop;  "));
    EXPECT_EQ(m_selection.strAll, QStringLiteral("Bebop;  "));
    EXPECT_TRUE(m_ui.Messages().empty());
    // Only the letter case: still a rename of the same attribute, not a merge.
    EXPECT_EQ(m_keywords.Rename(2, QStringLiteral("Bebop"), QStringLiteral("BEBOP"), nullptr), EResult::Done);
    EXPECT_EQ(Keywords(11), QStringLiteral("BEBOP;  "));
    EXPECT_TRUE(m_ui.Messages().empty());
    EXPECT_EQ(m_keywords.Rename(2, QStringLiteral("BEBOP"), QStringLiteral("BEBOP"), nullptr),
              EResult::Unchanged);

    // Onto another attribute's name in other letters: the database finds it, the merge is
    // offered; No leaves both.
    m_ui.QueueAnswer(MsgAnswer::No);
    EXPECT_EQ(m_keywords.Rename(2, QStringLiteral("BEBOP"), QStringLiteral("jazz"), &m_selection),
              EResult::Unchanged);
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].text,
              QStringLiteral("A second Keyword with the same name exists. Would you like to "
                             "merge these attributes?\n\nNote that this cannot be undone."));
    EXPECT_EQ(Long("SELECT COUNT(*) FROM Keyword"), 4);

    // Yes: one attribute remains; every list holds it once, sorted, in its own spelling.
    m_ui.QueueAnswer(MsgAnswer::Yes);
    EXPECT_EQ(m_keywords.Rename(2, QStringLiteral("BEBOP"), QStringLiteral("jazz"), &m_selection),
              EResult::Done);
    EXPECT_EQ(Long("SELECT COUNT(*) FROM Keyword WHERE KeywordId=2"), 0);
    EXPECT_EQ(Keywords(10), QStringLiteral("Jazz;  "));
    EXPECT_EQ(Keywords(11), QStringLiteral("Jazz;  "));
    EXPECT_EQ(Keywords(12), QStringLiteral("Jazz;  Pop;  "));
    EXPECT_EQ(Keywords(13), QStringLiteral("blues;  Jazz;  "));
    EXPECT_EQ(m_selection.strAll, QStringLiteral("Jazz;  "));
    EXPECT_EQ(m_selection.strSome, QStringLiteral("Jazz;  Pop;  "))
        << "a name on all files and on some stays in each list it was in";
    EXPECT_EQ(Long("SELECT COUNT(*) FROM KeywordUsage WHERE KeywordId=1"), 1);
    EXPECT_EQ(m_ui.UnexpectedMessages(), 0);
}

TEST_F(AttributeVocabularyTest, NewAttributesTakeAnIdentifierAndRefuseDuplicates)
{
    m_ui.QueueAnswer(MsgAnswer::Ok);
    EXPECT_EQ(m_keywords.Add(QStringLiteral("POP")), EResult::Unchanged);
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].text, QStringLiteral("The new Keyword already exists."));
    EXPECT_EQ(m_ui.Messages()[0].caption, QStringLiteral("Duplicate Keyword"));

    Sql("UPDATE IndexId SET IndexId=40 WHERE \"Index\"='Keyword_KeywordId'");
    EXPECT_EQ(m_keywords.Add(QStringLiteral("it's \"x\"")), EResult::Done);
    EXPECT_EQ(Long("SELECT KeywordId FROM Keyword WHERE Keyword='it''s \"x\"'"), 41);
    CAttributeVocabulary categories(QStringLiteral("Category"), m_db, m_ui, m_policy);
    EXPECT_EQ(categories.Add(QStringLiteral("Music")), EResult::Done);
    EXPECT_EQ(Long("SELECT CategoryId FROM Category WHERE Category='Music'"), 1);
    EXPECT_EQ(m_ui.UnexpectedMessages(), 0);
}

TEST_F(AttributeVocabularyTest, ListEditsNameNewRowsRenameAndDeleteAndRefreshTheLists)
{
    CAttributeListModel all(Vocabulary::Keyword, ListKind::All, m_ui, m_policy);
    all.SetSelection(&m_selection);
    all.SetDatabase(&m_db, QStringLiteral("alice"));
    QAbstractItemModelTester tester(&all, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy changed(&all, &CAttributeListModel::vocabularyChanged);
    EXPECT_EQ(Texts(all), QStringList({"blues", "Jazz", "Pop", "Rock"}));

    // New: an empty row at the end without a check box; cancelled, it goes.
    const int row = all.BeginNewRow();
    EXPECT_EQ(row, 4);
    EXPECT_TRUE(all.index(row).data(Qt::CheckStateRole).isNull());
    EXPECT_FALSE(all.ToggleAttribute(row));
    all.DiscardNewRow();
    EXPECT_EQ(all.rowCount(), 4);

    // Named, with blanks around it: the attribute is added and the list reads again.
    all.BeginNewRow();
    EXPECT_TRUE(all.setData(all.index(4), QStringLiteral("  Ska "), Qt::EditRole));
    EXPECT_EQ(Texts(all), QStringList({"blues", "Jazz", "Pop", "Rock", "Ska"}));
    EXPECT_EQ(changed.count(), 1);

    // A blank name or one holding the list separator names nothing.
    all.BeginNewRow();
    EXPECT_FALSE(all.CommitEdit(5, QStringLiteral("   ")));
    all.BeginNewRow();
    m_ui.QueueAnswer(MsgAnswer::Ok);
    EXPECT_FALSE(all.CommitEdit(5, QStringLiteral("a;  b")));
    EXPECT_EQ(m_ui.Messages().back().caption, QStringLiteral("Invalid Keyword"));
    EXPECT_EQ(all.rowCount(), 5);
    m_ui.QueueAnswer(MsgAnswer::Ok);
    EXPECT_FALSE(all.CommitEdit(0, QStringLiteral("x;  y")));
    EXPECT_EQ(all.NameAt(0), QStringLiteral("blues"));

    // Rename through an edit of the row; delete of a used one asks.
    EXPECT_TRUE(all.setData(all.index(3), QStringLiteral("Punk"), Qt::EditRole));
    EXPECT_EQ(Texts(all), QStringList({"blues", "Jazz", "Pop", "Punk", "Ska"}));
    EXPECT_EQ(m_selection.strAll, QStringLiteral("Punk;  "));
    m_ui.QueueAnswer(MsgAnswer::Yes);
    EXPECT_TRUE(all.DeleteAttribute(0));
    EXPECT_EQ(Keywords(13), QStringLiteral("Jazz;  "));
    EXPECT_EQ(Texts(all), QStringList({"Jazz", "Pop", "Punk", "Ska"}));
    EXPECT_EQ(changed.count(), 3);
    EXPECT_TRUE(m_ui.StatusTexts().contains("Refreshing..."));
}
