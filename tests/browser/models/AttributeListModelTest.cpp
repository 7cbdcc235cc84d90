#include "ModelFixture.h"

#include "browser/models/AttributeListModel.h"
#include "browser/models/AttributeSelection.h"
#include "common/NameList.h"
#include "database/JetText.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

namespace
{
using Vocabulary = CAttributeListModel::Vocabulary;
using ListKind = CAttributeListModel::ListKind;

QList<int> States(const QAbstractItemModel& model)
{
    QList<int> states;
    for (int row = 0; row < model.rowCount(); ++row)
        states.append(model.index(row, 0).data(Qt::CheckStateRole).toInt());
    return states;
}
} // namespace

TEST(NameList, CountFindInsertRemove)
{
    struct Case
    {
        const char* list;
        const char* name;
        int count;
        int found;
        const char* inserted;
        const char* removed;
    };
    const Case cases[] = {
        {"", "Jazz", 0, -1, "Jazz;  ", ""},
        {"Jazz;  Rock;  ", "rock", 2, 1, "Jazz;  Rock;  ", "Jazz;  "},
        {"Jazz;  Rock;  ", "Pop", 2, -1, "Jazz;  Pop;  Rock;  ", "Jazz;  Rock;  "},
        {"Jazz;  Rock;  ", "ZZ Top", 2, -1, "Jazz;  Rock;  ZZ Top;  ", "Jazz;  Rock;  "},
        {"Jazz;  Rock;  ", "blues", 2, -1, "blues;  Jazz;  Rock;  ", "Jazz;  Rock;  "},
        {"Jazz;  Rock", "Zydeco", 2, -1, "Jazz;  Rock;  Zydeco;  ", "Jazz;  Rock"}, // cut short
        {"Jazz;  Rock", "ROCK", 2, 1, "Jazz;  Rock", "Jazz;  "},
        {"ab;  abc;  ", "ab", 2, 0, "ab;  abc;  ", "abc;  "}, // whole names only
        {"abc;  ", "ab", 1, -1, "ab;  abc;  ", "abc;  "},
        {"a b;  ", "a", 1, -1, "a;  a b;  ", "a b;  "},
        {"it's;  x\"y;  ", "IT'S", 2, 0, "it's;  x\"y;  ", "x\"y;  "},
        {"Ärger;  Öl;  ", "äRGER", 2, 0, "Ärger;  Öl;  ", "Öl;  "},
    };
    for (const Case& c : cases)
    {
        const QString list = QString::fromUtf8(c.list);
        const QString name = QString::fromUtf8(c.name);
        EXPECT_EQ(NameList::Count(list), c.count) << c.list;
        EXPECT_EQ(NameList::Find(list, name), c.found) << c.list << " / " << c.name;
        QString inserted = list;
        EXPECT_EQ(NameList::Insert(inserted, name), c.found < 0) << c.list << " + " << c.name;
        EXPECT_EQ(inserted, QString::fromUtf8(c.inserted)) << c.list << " + " << c.name;
        QString removed = list;
        EXPECT_EQ(NameList::Remove(removed, name), c.found >= 0);
        EXPECT_EQ(removed, QString::fromUtf8(c.removed)) << c.list << " - " << c.name;
    }

    // Find starts where it is told and wraps once; a list never holds a name twice, but an old
    // one that does is searched from the given place.
    const QString list = QStringLiteral("a;  b;  A;  c;  ");
    EXPECT_EQ(NameList::Find(list, QStringLiteral("a"), 1), 2);
    EXPECT_EQ(NameList::Find(list, QStringLiteral("a"), 3), 0);
    EXPECT_EQ(NameList::Find(list, QStringLiteral("c"), 3), 3);
    QString twice = list;
    EXPECT_TRUE(NameList::Remove(twice, QStringLiteral("A")));
    EXPECT_EQ(twice, QStringLiteral("b;  c;  "));
    EXPECT_FALSE(NameList::RemoveAt(twice, 2));
    EXPECT_FALSE(NameList::Insert(twice, QString()));

    // The same order as the database's text collation, beyond ASCII too.
    const QStringList words = {"a",  "A", "ab", "a b", "Z", "_",      "é", "É", "ß",
                               "ss", "Σ", "σ",  "ς",   "😀", "\uFFFD", "İ", "i"};
    for (const QString& x : words)
        for (const QString& y : words)
        {
            const int ours = NameList::Compare(x, y);
            const int engine = JetText::CompareGeneral(x, y);
            EXPECT_EQ((ours > 0) - (ours < 0), (engine > 0) - (engine < 0))
                << x.toStdString() << " " << y.toStdString();
        }
}

TEST(AttributeSelection, AllSomeAndToggling)
{
    CAttributeSelection selection =
        CAttributeSelection::FromFileLists({QStringLiteral("Jazz;  Rock;  "), QStringLiteral("jazz;  Pop;  "),
                                            QStringLiteral("Blues;  JAZZ;  Rock;  ")});
    EXPECT_EQ(selection.strAll, QStringLiteral("Jazz;  "));
    EXPECT_EQ(selection.strSome, QStringLiteral("Blues;  Pop;  Rock;  "));
    EXPECT_EQ(selection.Names(), QStringList({"Blues", "Jazz", "Pop", "Rock"}));
    EXPECT_EQ(selection.State(QStringLiteral("rock")), Qt::PartiallyChecked);
    EXPECT_EQ(selection.State(QStringLiteral("JAZZ")), Qt::Checked);
    EXPECT_EQ(selection.State(QStringLiteral("Folk")), Qt::Unchecked);

    // Partly set is cleared, not set on the rest; unset is set on all.
    EXPECT_FALSE(selection.Toggle(QStringLiteral("Rock")));
    EXPECT_EQ(selection.State(QStringLiteral("Rock")), Qt::Unchecked);
    EXPECT_TRUE(selection.Toggle(QStringLiteral("Rock")));
    EXPECT_EQ(selection.strAll, QStringLiteral("Jazz;  Rock;  "));
    EXPECT_EQ(selection.strSome, QStringLiteral("Blues;  Pop;  "));
    EXPECT_FALSE(selection.Toggle(QStringLiteral("jazz")));
    EXPECT_EQ(selection.strAll, QStringLiteral("Rock;  "));

    EXPECT_TRUE(CAttributeSelection::FromFileLists({}).Names().isEmpty());
    EXPECT_EQ(CAttributeSelection::FromFileLists({QString(), QStringLiteral("Pop;  ")}).strSome,
              QStringLiteral("Pop;  "));
}

class AttributeListModelTest : public ModelFixture
{
protected:
    void SetUp() override
    {
        ModelFixture::SetUp();
        Sql("INSERT INTO Keyword (KeywordId, Keyword) VALUES (1, 'Jazz'), (2, 'Rock'), (3, 'Pop'), (4, "
            "'''quoted'), "
            "(5, 'blues')");
        Sql("INSERT INTO Category (CategoryId, Category) VALUES (1, 'Music'), (2, 'Photo')");
        Sql("INSERT INTO KeywordUsage (KeywordId, \"User\", LastUsed) VALUES (3, 'bob', '2024-01-02 "
            "10:00:00'), "
            "(1, 'alice', '2024-01-01 10:00:00'), (2, 'alice', '2024-03-01 10:00:00')");
        m_selection = CAttributeSelection::FromFileLists(
            {QStringLiteral("Jazz;  Rock;  "), QStringLiteral("Jazz;  Pop;  ")});
    }

    std::unique_ptr<CAttributeListModel> Make(Vocabulary vocabulary, ListKind kind,
                                              const QString& user = "alice")
    {
        auto model = std::make_unique<CAttributeListModel>(vocabulary, kind, m_ui, m_policy);
        model->SetSelection(&m_selection);
        model->SetDatabase(&m_db, user);
        return model;
    }

    CAttributeSelection m_selection;
};

TEST_F(AttributeListModelTest, ListsShowTheSelectionsChecks)
{
    auto all = Make(Vocabulary::Keyword, ListKind::All);
    auto current = Make(Vocabulary::Keyword, ListKind::Current);
    auto lastUsed = Make(Vocabulary::Keyword, ListKind::LastUsed);
    auto bobsLastUsed = Make(Vocabulary::Keyword, ListKind::LastUsed, "bob");
    auto categories = Make(Vocabulary::Category, ListKind::All);
    QAbstractItemModelTester t1(all.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester t2(current.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QAbstractItemModelTester t3(lastUsed.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);

    EXPECT_EQ(all->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Keywords (All)"));
    EXPECT_EQ(lastUsed->Title(), QStringLiteral("Keywords (Last Used)"));
    EXPECT_EQ(Make(Vocabulary::Category, ListKind::Current)->Title(), QStringLiteral("Categories (Current)"));

    EXPECT_EQ(Texts(*all), QStringList({"'quoted", "blues", "Jazz", "Pop", "Rock"}));
    EXPECT_EQ(States(*all), QList<int>({Qt::Unchecked, Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked,
                                        Qt::PartiallyChecked}));
    EXPECT_EQ(Texts(*current), QStringList({"Jazz", "Pop", "Rock"}));
    EXPECT_EQ(current->IdAt(1), 3);
    EXPECT_EQ(Texts(*lastUsed), QStringList({"Rock", "Jazz"})) << "most recent first";
    EXPECT_EQ(Texts(*bobsLastUsed), QStringList({"Pop"}));
    EXPECT_EQ(Texts(*categories), QStringList({"Music", "Photo"}));
    EXPECT_EQ(States(*categories), QList<int>({Qt::Unchecked, Qt::Unchecked}));

    // The letter jump: the first name beginning with the character, whatever its case.
    EXPECT_EQ(all->LetterJump(QLatin1Char('\'')), 0);
    EXPECT_EQ(all->LetterJump(QLatin1Char('j')), 2);
    EXPECT_EQ(all->LetterJump(QLatin1Char('R')), 4);
    EXPECT_EQ(all->LetterJump(QLatin1Char('x')), -1);
    EXPECT_EQ(all->LetterJump(QChar(0x1F)), -1);
    EXPECT_EQ(all->LetterJump(QChar(0x100)), -1);
}

TEST_F(AttributeListModelTest, TogglingSetsOnAllClearsPartlySetAndRecordsUseForThisUserOnly)
{
    auto all = Make(Vocabulary::Keyword, ListKind::All);
    auto lastUsed = Make(Vocabulary::Keyword, ListKind::LastUsed);
    QAbstractItemModelTester tester(all.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy changed(all.get(), &CAttributeListModel::attributeChanged);

    // Rock is on some files: a click takes it off all of them, and records no use.
    const int rock = all->LetterJump(QLatin1Char('R'));
    ASSERT_TRUE(all->setData(all->index(rock), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(all->index(rock).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_FALSE(NameList::Contains(m_selection.strSome, QStringLiteral("Rock")));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(m_ui.StatusTexts().contains("Refreshing..."));

    // blues is on none: it goes on all, and this user's use of it is recorded.
    ASSERT_TRUE(all->ToggleAttribute(1));
    EXPECT_EQ(all->index(1).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(m_selection.strAll, QStringLiteral("blues;  Jazz;  "));
    EXPECT_EQ(Long("SELECT COUNT(*) FROM KeywordUsage WHERE KeywordId=5 AND [User]='alice'"), 1);
    EXPECT_EQ(Long("SELECT COUNT(*) FROM KeywordUsage WHERE [User]='bob'"), 1);
    lastUsed->Requery();
    EXPECT_EQ(Texts(*lastUsed), QStringList({"blues", "Rock", "Jazz"}));

    // Again: one usage row per user and attribute, its time brought forward.
    ASSERT_TRUE(all->ToggleAttribute(1));
    ASSERT_TRUE(all->ToggleAttribute(1));
    EXPECT_EQ(Long("SELECT COUNT(*) FROM KeywordUsage WHERE KeywordId=5"), 1);

    // A Current list reads its rows again when the selection changes.
    auto current = Make(Vocabulary::Keyword, ListKind::Current);
    EXPECT_EQ(Texts(*current), QStringList({"blues", "Jazz", "Pop"}));
    m_selection = CAttributeSelection();
    current->SelectionChanged();
    EXPECT_EQ(current->rowCount(), 0);
    EXPECT_FALSE(all->ToggleAttribute(99));
    EXPECT_EQ(m_ui.UnexpectedMessages(), 0);
}

TEST_F(AttributeListModelTest, ADatabaseOpenedReadOnlyShowsItsAttributesAndChangesNone)
{
    CDbDatabase readOnly;
    readOnly.Open(m_path, EDbOpenMode::ReadOnly);
    CAttributeListModel all(Vocabulary::Keyword, ListKind::All, m_ui, m_policy);
    all.SetSelection(&m_selection);
    all.SetDatabase(&readOnly, QStringLiteral("alice"));
    EXPECT_EQ(Texts(all), QStringList({"'quoted", "blues", "Jazz", "Pop", "Rock"}));
    EXPECT_EQ(all.index(2).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_FALSE(all.flags(all.index(1)) & (Qt::ItemIsUserCheckable | Qt::ItemIsEditable));

    const QString before = m_selection.strAll;
    EXPECT_FALSE(all.setData(all.index(1), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(m_selection.strAll, before) << "blues is not set on the files";
    EXPECT_EQ(all.BeginNewRow(), -1);
    EXPECT_FALSE(all.setData(all.index(1), QStringLiteral("Blues"), Qt::EditRole));
    EXPECT_FALSE(all.DeleteAttribute(1));
    EXPECT_EQ(Long("SELECT COUNT(*) FROM Keyword"), 5);
    EXPECT_EQ(Long("SELECT COUNT(*) FROM KeywordUsage WHERE KeywordId=5"), 0);
    EXPECT_TRUE(m_ui.Messages().empty());
}
