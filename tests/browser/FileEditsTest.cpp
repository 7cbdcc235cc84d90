#include "DocumentFixture.h"

#include "browser/BrowserCommands.h"
#include "common/NameList.h"

#include <QSignalSpy>

namespace
{
// Files 1..n in catalogue 1; those with lists get a FileInfo row of id 100 + FileId.
class FileEditsTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        Db().Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue) VALUES (0, 1, 'C')"));
    }

    void AddFile(qint32 fileId, const char* keywords = nullptr, const char* categories = nullptr,
                 qint32 similarityId = 0)
    {
        CDbValue info = CDbValue::Null();
        if (keywords || categories)
        {
            info = CDbValue(100 + fileId);
            const auto text = [](const char* t)
            { return t && *t ? CDbValue(QString::fromUtf8(t)) : CDbValue::Null(); };
            Db().Execute(
                QStringLiteral("INSERT INTO FileInfo (FileInfoId, Keyword, Category) VALUES (?, ?, ?)"),
                {info, text(keywords), text(categories)});
        }
        Db().Execute(
            QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, FileInfoId, SimilarityId, "
                           "File, FileSize, FileSizeDouble) VALUES (1, 0, ?, ?, ?, ?, 1, 1)"),
            {CDbValue(fileId), info, CDbValue(similarityId), CDbValue(QStringLiteral("f%1").arg(fileId))});
    }

    // The file's FileInfo column, "<none>" for a file without a row, "<null>" for Null.
    QString Info(qint32 fileId, const QString& column)
    {
        CDbStatement st =
            Db().Prepare(QStringLiteral("SELECT FileInfo.%1, FileInfo.FileInfoId FROM FileInfo RIGHT "
                                        "JOIN File ON FileInfo.FileInfoId = File.FileInfoId WHERE "
                                        "File.FileId=?")
                             .arg(column));
        st.Bind(1, fileId);
        if (!st.Step() || st.Value(1).IsNull())
            return QStringLiteral("<none>");
        return st.Value(0).IsNull() ? QStringLiteral("<null>") : st.Value(0).ToString();
    }

    CCurrentFileEditor& Editor() { return m_doc.Editor(); }
};
} // namespace

TEST_F(FileEditsTest, CommonAndPartialListsAndApplyingToggles)
{
    AddFile(1, "A;  B;  ", "Photo;  ");
    AddFile(2, "A;  ", "Photo;  ");
    AddFile(3, "a;  C;  ");
    AddFile(4);
    Db().Execute(QStringLiteral("UPDATE FileInfo SET Description='two' WHERE FileInfoId=102"));
    QSignalSpy rebuilt(&Editor(), &CCurrentFileEditor::selectionAttributesChanged);

    Editor().SetSelection(1, {3, 1, 2});
    EXPECT_EQ(Editor().Keywords().strAll, QStringLiteral("A;  "));
    EXPECT_EQ(Editor().Keywords().strSome, QStringLiteral("B;  C;  "));
    EXPECT_EQ(Editor().Categories().strAll, QString());
    EXPECT_EQ(Editor().Categories().strSome, QStringLiteral("Photo;  "));
    EXPECT_EQ(rebuilt.count(), 1);

    // Clearing A: gone from every file; the names only some had stay as each had them; an empty
    // list is Null; a row with nothing left in it goes.
    Editor().Keywords().Toggle(QStringLiteral("A"));
    Editor().AttributeToggled();
    EXPECT_TRUE(Editor().ApplyAttributes());
    EXPECT_FALSE(Editor().IsAttributePending());
    EXPECT_EQ(Info(1, "Keyword"), QStringLiteral("B;  "));
    EXPECT_EQ(Info(2, "Keyword"), QStringLiteral("<null>"));
    EXPECT_EQ(Info(3, "Keyword"), QStringLiteral("C;  "));
    EXPECT_EQ(Info(1, "Category"), QStringLiteral("Photo;  "));

    // Adding D: every file gets it.
    Editor().RebuildCurrentLists();
    Editor().Keywords().Toggle(QStringLiteral("D"));
    Editor().AttributeToggled();
    EXPECT_TRUE(Editor().ApplyAttributes());
    EXPECT_EQ(Info(1, "Keyword"), QStringLiteral("B;  D;  "));
    EXPECT_EQ(Info(2, "Keyword"), QStringLiteral("D;  "));
    EXPECT_EQ(Info(3, "Keyword"), QStringLiteral("C;  D;  "));

    // Nothing pending: nothing written.
    Db().Execute(QStringLiteral("UPDATE FileInfo SET Keyword='X;  ' WHERE FileInfoId=101"));
    EXPECT_TRUE(Editor().ApplyAttributes());
    EXPECT_EQ(Info(1, "Keyword"), QStringLiteral("X;  "));

    // A file without edits has no names: it makes the others' names partial, and gets only the
    // names set on all files, in a FileInfo row of its own.
    Editor().SetSelection(4, {1, 4});
    EXPECT_EQ(Editor().Keywords().strAll, QString());
    EXPECT_EQ(Editor().Keywords().strSome, QStringLiteral("X;  "));
    Editor().Categories().Toggle(QStringLiteral("Music"));
    Editor().AttributeToggled();
    EXPECT_TRUE(Editor().ApplyAttributes());
    EXPECT_EQ(Info(4, "Keyword"), QStringLiteral("<null>"));
    EXPECT_EQ(Info(4, "Category"), QStringLiteral("Music;  "));
    EXPECT_EQ(Info(1, "Keyword"), QStringLiteral("X;  "));
    EXPECT_EQ(Info(1, "Category"), QStringLiteral("Music;  Photo;  "));
    EXPECT_EQ(m_ui.UnexpectedMessages(), 0);
}

TEST_F(FileEditsTest, TogglesGoToTheFilesSelectedWhenTheyWereMadeBeforeTheSelectionMoves)
{
    AddFile(1, "A;  ");
    AddFile(2, "B;  ");
    AddFile(3, "C;  ");
    Editor().SetSelection(1, {1, 2});
    Editor().Keywords().Toggle(QStringLiteral("New"));
    Editor().AttributeToggled();
    EXPECT_TRUE(Editor().IsAttributePending());

    // The same selection again (a refresh that kept it) keeps the toggle pending.
    Editor().SetSelection(1, {2, 1});
    EXPECT_TRUE(Editor().IsAttributePending());
    EXPECT_EQ(Info(1, "Keyword"), QStringLiteral("A;  "));

    Editor().SetSelection(3, {3});
    EXPECT_FALSE(Editor().IsAttributePending());
    EXPECT_EQ(Info(1, "Keyword"), QStringLiteral("A;  New;  "));
    EXPECT_EQ(Info(2, "Keyword"), QStringLiteral("B;  New;  "));
    EXPECT_EQ(Info(3, "Keyword"), QStringLiteral("C;  "));
    EXPECT_EQ(Editor().Keywords().strAll, QStringLiteral("C;  "));

    // Toggles made while nothing is selected are not pending anywhere; Save Changes applies.
    Editor().SetSelection(0, {});
    Editor().AttributeToggled();
    EXPECT_FALSE(Editor().IsAttributePending());
    Editor().SetSelection(3, {3});
    Editor().Keywords().Toggle(QStringLiteral("C"));
    Editor().AttributeToggled();
    Editor().SaveChanges();
    EXPECT_EQ(Info(3, "Keyword"), QStringLiteral("<none>")) << "nothing left: the row went";
    EXPECT_EQ(Long(QStringLiteral("SELECT COUNT(*) FROM FileInfo WHERE FileInfoId=103")), 0);
}

TEST_F(FileEditsTest, DetailsAndTheFormsTextAcrossRefreshesAndMoves)
{
    Db().Execute(
        QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                       "FileSizeHigh, FileSizeDouble, TTH, AlternateFile) VALUES (1, 0, 1, 'Ünïcode.txt', "
                       "0, 1, 4294967296, 'ABCDEFGHIJKLMNOPQRSTUVWXYZ234567ABCDEFG', "
                       "'ALTERN~1.TXT;  other name.txt;  ')"));
    AddFile(2, "K;  ");
    Db().Execute(QStringLiteral("UPDATE FileInfo SET Description='stored', Notes='n' WHERE FileInfoId=102"));

    EXPECT_FALSE(Editor().Details().bFile);
    Editor().SetSelection(1, {1});
    SFileDetails details = Editor().Details();
    EXPECT_TRUE(details.bFile);
    EXPECT_EQ(details.strFile, QStringLiteral("Ünïcode.txt"));
    EXPECT_EQ(details.strAlternateFile, QStringLiteral("ALTERN~1.TXT\nother name.txt"));
    EXPECT_EQ(details.strFileSize, QStringLiteral("4294967296"));
    EXPECT_EQ(details.strTth, QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567ABCDEFG"));
    EXPECT_EQ(details.strLen, QStringLiteral("11"));
    EXPECT_EQ(details.strDescription, QString());

    Editor().SetSelection(2, {2});
    details = Editor().Details();
    EXPECT_EQ(details.strTth, QString()) << "a file without TTH";
    EXPECT_EQ(details.strDescription, QStringLiteral("stored"));
    EXPECT_EQ(details.strNotes, QStringLiteral("n"));

    // Typed text stays over a refresh of the same file and is saved on leaving it.
    Editor().SetDetailsFormText(QStringLiteral("typed"), QStringLiteral("n"));
    Editor().MoveToRecord(2, true);
    EXPECT_EQ(Editor().Details().strDescription, QStringLiteral("typed"));
    EXPECT_EQ(Info(2, "Description"), QStringLiteral("stored"));
    Editor().SetSelection(1, {1});
    EXPECT_EQ(Info(2, "Description"), QStringLiteral("typed"));
    EXPECT_EQ(Editor().Details().strDescription, QString());

    // A toggle with no typing saves no other file's text into this one.
    Editor().Keywords().Toggle(QStringLiteral("Z"));
    Editor().AttributeToggled();
    Editor().SetSelection(2, {2});
    EXPECT_EQ(Info(1, "Description"), QStringLiteral("<null>"));
    EXPECT_EQ(Info(1, "Keyword"), QStringLiteral("Z;  "));
    EXPECT_EQ(Info(2, "Description"), QStringLiteral("typed"));

    // A refresh without typing reads what is stored now.
    Db().Execute(QStringLiteral("UPDATE FileInfo SET Description='changed' WHERE FileInfoId=102"));
    Editor().MoveToRecord(2, true);
    EXPECT_EQ(Editor().Details().strDescription, QStringLiteral("changed"));
}

TEST_F(FileEditsTest, ReplayingEditsWritesTheFormsTextToEverySelectedFile)
{
    AddFile(1);
    AddFile(2, "K;  ");
    AddFile(3, nullptr, nullptr, 7);
    AddFile(4, nullptr, nullptr, 7);
    AddFile(5);
    Editor().SetSelection(1, {1, 2, 3});
    Editor().SetDetailsFormText(QStringLiteral("Holiday "), QStringLiteral("2024"));
    EXPECT_TRUE(Editor().ReplayEdits({1, 2, 3}));
    EXPECT_FALSE(Editor().IsFormPending());
    for (const qint32 fileId : {1, 2, 3, 4})
    {
        EXPECT_EQ(Info(fileId, "Description"), QStringLiteral("Holiday")) << fileId;
        EXPECT_EQ(Info(fileId, "Notes"), QStringLiteral("2024")) << fileId;
    }
    EXPECT_EQ(Info(2, "Keyword"), QStringLiteral("K;  "));
    EXPECT_EQ(Info(5, "Description"), QStringLiteral("<none>"));
    EXPECT_TRUE(m_ui.StatusTexts().contains("Replaying Edits to Selected Files..."));

    // Empty texts replayed: rows with nothing else in them go, the one with keywords stays.
    Editor().SetDetailsFormText(QString(), QString());
    EXPECT_TRUE(Editor().ReplayEdits({1, 2, 3}));
    EXPECT_EQ(Info(1, "Description"), QStringLiteral("<none>"));
    EXPECT_EQ(Info(2, "Keyword"), QStringLiteral("K;  "));
    EXPECT_EQ(Info(3, "Description"), QStringLiteral("<none>"));
    EXPECT_EQ(Info(4, "Description"), QStringLiteral("<none>")) << "the similar file shared the row";
    EXPECT_EQ(m_ui.UnexpectedMessages(), 0);
}

TEST(BrowserCommandsTest, EditCommandsFollowTheFocusedFieldAndAttributeList)
{
    CMwCommandContext readOnlyText;
    readOnlyText.bTextFocused = true;
    CMwCommandContext editableText = readOnlyText;
    editableText.bTextEditable = true;
    CMwCommandContext withClipboard = editableText;
    withClipboard.bClipboardText = true;
    CMwCommandContext attributeList;
    attributeList.bDatabaseOpen = attributeList.bAttributeListFocused = true;
    CMwCommandContext attributeListWriting = attributeList;
    attributeListWriting.bJobRunning = attributeListWriting.bJobWriting = true;

    struct Case
    {
        EMwCommand id;
        bool readOnly, editable, clipboard, list, listWriting;
    };
    const Case cases[] = {
        {EMwCommand::EditUndo, false, true, true, false, false},
        {EMwCommand::EditCut, false, true, true, false, false},
        {EMwCommand::EditCopy, true, true, true, false, false},
        {EMwCommand::EditPaste, false, false, true, false, false},
        // Select All selects the file list's rows too, whenever a database is open.
        {EMwCommand::EditSelectAll, false, false, false, true, true},
        {EMwCommand::EditNewAttribute, false, false, false, true, false},
        {EMwCommand::EditRenameAttribute, false, false, false, true, false},
        {EMwCommand::FileListReplayEdits, false, false, false, true, false},
    };
    for (const Case& c : cases)
    {
        const SMwCommand& command = MwCommand(c.id);
        EXPECT_EQ(IsMwCommandEnabled(command, readOnlyText), c.readOnly) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, editableText), c.editable) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, withClipboard), c.clipboard) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, attributeList), c.list) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, attributeListWriting), c.listWriting) << command.text;
        EXPECT_FALSE(IsMwCommandEnabled(command, CMwCommandContext())) << command.text;
    }
}
