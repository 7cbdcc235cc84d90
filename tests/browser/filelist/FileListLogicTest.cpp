#include "DocumentFixture.h"
#include "browser/RecordSetList.h"
#include "browser/filelist/FieldViewEditor.h"
#include "browser/filelist/FileListExport.h"
#include "browser/filelist/FileListMarks.h"
#include "browser/filelist/FileListSql.h"
#include "browser/filelist/FileListWalk.h"
#include "browser/filelist/FileRename.h"
#include "browser/models/FieldViewColumns.h"

#include <QBuffer>

namespace
{
struct SFile
{
    qint32 id;
    const char* name;
    qint32 folder;
    qint32 sizeLow;
    qint32 sizeHigh;
    bool deleted;
    bool ghost;
};
} // namespace

// A catalogue "Media" at the test folder with a root and one subfolder "docs".
class FileListLogicTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        Db().Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                           "Location, DriveType) VALUES (0, 1, 'Media', 'DATA', ?, ?, 'Fixed')"),
            {CDbValue(static_cast<qint32>(0x1234ABCD)), CDbValue(Path(QStringLiteral("media")))});
        Db().Execute(
            QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (5, 'docs')"));
    }
    void Add(const SFile& f)
    {
        Db().Execute(
            QStringLiteral(
                "INSERT INTO File (CatalogueId, RelativePathId, FileId, File, Extension, FileSize, "
                "FileSizeHigh, FileSizeDouble, Deleted, Ghost) VALUES (1, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {CDbValue(f.folder), CDbValue(f.id), CDbValue(QString::fromUtf8(f.name)),
             CFileRename::ExtensionOf(QString::fromUtf8(f.name)).isEmpty()
                 ? CDbValue::Null()
                 : CDbValue(CFileRename::ExtensionOf(QString::fromUtf8(f.name))),
             CDbValue(f.sizeLow), CDbValue(f.sizeHigh),
             CDbValue(double(f.sizeHigh) * 4294967296.0 + double(static_cast<quint32>(f.sizeLow))),
             CDbValue(f.deleted), CDbValue(f.ghost)});
    }
    void Mark(qint32 fileId, const char* user, bool mark)
    {
        Db().Execute(QStringLiteral("INSERT INTO FileUserSelect (FileId, [User], Mark) VALUES (?, ?, ?)"),
                     {CDbValue(fileId), CDbValue(QString::fromLatin1(user)), CDbValue(mark)});
    }
    // A list set up as the folder view sets it up, on a folder of the catalogue.
    void OpenFolder(CRecordSetList& list, qint32 folder, const QString& user = QStringLiteral("ann"))
    {
        list.SetUserName(user);
        CFieldViewColumns view;
        ASSERT_TRUE(view.Load(Db(), user, QStringLiteral("Folder (Default)")));
        view.ApplyTo(list);
        const SFolderViewSql sql = FolderViewSql(user, 1, folder);
        list.DataCtrl_SetFrom(sql.from);
        list.DataCtrl_SetWhere(sql.where);
        ASSERT_EQ(list.DataCtrl_Open(&Db()), 0) << list.LastError().toStdString();
    }
    QStringList Names(CRecordSetList& list)
    {
        QStringList names;
        for (int row = 0; row < list.rowCount(); ++row)
            names.append(list.DataCtrl_GetFieldValue(row, QStringLiteral("File.File")).ToString());
        return names;
    }
    QString Dump(const QString& sql)
    {
        QStringList rows;
        CDbStatement st = Db().Prepare(sql);
        while (st.Step())
        {
            QStringList values;
            for (int i = 0; i < st.ColumnCount(); ++i)
                values.append(st.Value(i).ToString());
            rows.append(values.join(QLatin1Char('|')));
        }
        return rows.join(QLatin1Char('\n'));
    }
};

TEST_F(FileListLogicTest, FolderViewShowsTheFolderUndeletedFilesWithThisUsersMarks)
{
    Add({1, "b.txt", 0, 10, 0, false, false});
    Add({2, "a.txt", 0, 10, 0, false, false});
    Add({3, "gone.txt", 0, 10, 0, true, false});
    Add({4, "inner.txt", 5, 10, 0, false, false});
    Add({5, "bobs.txt", 0, 10, 0, false, false});
    // Only bob has a row for file 5: it is still one of ann's files, unchecked.
    Mark(5, "bob", true);
    Mark(2, "ann", true);
    CRecordSetList root;
    OpenFolder(root, 0);
    EXPECT_EQ(Names(root), (QStringList{"a.txt", "b.txt", "bobs.txt"}));
    EXPECT_TRUE(root.DataCtrl_GetFieldValue(0, QStringLiteral("FileUserSelect.Mark")).ToBool());
    EXPECT_FALSE(root.DataCtrl_GetFieldValue(2, QStringLiteral("FileUserSelect.Mark")).ToBool());
    CRecordSetList docs;
    OpenFolder(docs, 5);
    EXPECT_EQ(Names(docs), QStringList{"inner.txt"});
}

TEST_F(FileListLogicTest, MarksAreWrittenForTheUserAloneEditingOrAddingTheirRows)
{
    for (qint32 id = 1; id <= 3; ++id)
        Add({id, "f.txt", 0, 1, 0, false, false});
    Mark(1, "ann", false);
    Mark(1, "bob", false);
    ASSERT_TRUE(CFileListMarks::WriteMarks(Db(), m_doc.RetryPolicy(), QStringLiteral("ann"), {1, 2}, true));
    EXPECT_EQ(Dump(QStringLiteral("SELECT FileId, [User], Mark FROM FileUserSelect ORDER BY FileId, [User]")),
              QStringLiteral("1|ann|1\n1|bob|0\n2|ann|1"));
    ASSERT_TRUE(CFileListMarks::WriteMarks(Db(), m_doc.RetryPolicy(), QStringLiteral("ann"), {2}, false));
    EXPECT_EQ(Long(QStringLiteral("SELECT Mark FROM FileUserSelect WHERE FileId=2 AND [User]='ann'")), 0);
}

TEST_F(FileListLogicTest, TotalsCountFourGigabytesAndLeaveCheckedGhostsOut)
{
    Add({1, "big.iso", 0, 0, 1, false, false});      // exactly 4294967296 bytes
    Add({2, "small.txt", 0, 1024, 0, false, false}); // 1 KB
    Add({3, "ghost.txt", 0, 4096, 0, false, true});  // checked, but a ghost
    Add({4, "high.bin", 0, -1, 0, false, false});    // 4294967295 bytes: the low word all ones
    Mark(1, "ann", true);
    Mark(3, "ann", true);
    CRecordSetList list;
    OpenFolder(list, 0);
    std::vector<bool> checks;
    CFileListWalk walk;
    walk.Reset(true);
    EXPECT_EQ(walk.Totals().TotalText(), QStringLiteral("Total:  updating..."));
    walk.Run(Db(), QStringLiteral("ann"), list, checks);
    ASSERT_TRUE(walk.IsDone());
    EXPECT_EQ(walk.Totals().TotalCount(), 3u);
    EXPECT_DOUBLE_EQ(walk.Totals().TotalSize(), 4294967296.0 + 1024.0 + 4294967295.0);
    EXPECT_EQ(walk.Totals().CheckedCount(), 1u);
    EXPECT_DOUBLE_EQ(walk.Totals().CheckedSize(), 4294967296.0);
    EXPECT_EQ(walk.Totals().CheckedText(), QStringLiteral("Checked: 1 files, 4.00 GB"));
    // Rows by name: big.iso, ghost.txt, high.bin, small.txt; the ghost's check byte is read too.
    EXPECT_EQ(checks, (std::vector<bool>{true, true, false, false}));

    // Without reading the marks again the walk counts the checks held.
    checks[3] = true;
    walk.Reset(false);
    walk.Run(Db(), QStringLiteral("ann"), list, checks);
    EXPECT_EQ(walk.Totals().CheckedCount(), 2u);
}

TEST_F(FileListLogicTest, TheWalkReadOnAConnectionOfItsOwnCountsWhatTheWholeWalkCounts)
{
    // More rows than one chunk: file i is i * 10 bytes, every third one checked by ann.
    const int n = CFileListWalk::kChunkRows + 10;
    Db().BeginTrans();
    for (int i = 1; i <= n; ++i)
    {
        const QByteArray name = QByteArray::number(i).rightJustified(4, '0') + ".dat";
        Add({i, name.constData(), 0, i * 10, 0, false, false});
        if (i % 3 == 0)
            Mark(i, "ann", true);
    }
    Db().CommitTrans();
    CRecordSetList list;
    OpenFolder(list, 0);
    ASSERT_EQ(list.rowCount(), n);
    // Gone after the list was read: counted nowhere.
    Db().Execute(QStringLiteral("DELETE FROM File WHERE FileId=6"));
    const int thirds = n / 3;
    const double all = 10.0 * n * (n + 1) / 2 - 60;
    const double checked = 30.0 * thirds * (thirds + 1) / 2 - 60;

    CDbDatabase other;
    other.Open(m_strDatabase);
    std::vector<bool> checks(static_cast<size_t>(n), false);
    CFileListWalk walk;
    walk.Reset(true);
    int chunks = 0;
    for (std::vector<qint32> keys = walk.NextKeys(list); !keys.empty(); keys = walk.NextKeys(list), ++chunks)
    {
        ASSERT_LE(static_cast<int>(keys.size()), CFileListWalk::kChunkRows);
        std::vector<CFileListWalk::CRowFacts> facts;
        ASSERT_TRUE(CFileListWalk::ReadFacts(other, QStringLiteral("ann"), keys, facts));
        ASSERT_EQ(facts.size(), keys.size());
        EXPECT_FALSE(walk.IsDone()) << "finished before its last chunk";
        walk.Count(facts, checks);
    }
    EXPECT_EQ(chunks, 2);
    ASSERT_TRUE(walk.IsDone());
    EXPECT_EQ(walk.Totals().TotalCount(), static_cast<unsigned>(n - 1));
    EXPECT_DOUBLE_EQ(walk.Totals().TotalSize(), all);
    EXPECT_EQ(walk.Totals().CheckedCount(), static_cast<unsigned>(thirds - 1));
    EXPECT_DOUBLE_EQ(walk.Totals().CheckedSize(), checked);
    EXPECT_TRUE(checks[2]);
    EXPECT_FALSE(checks[3]);

    // The same rows walked at once on the document's connection.
    std::vector<bool> held;
    CFileListWalk whole;
    whole.Reset(true);
    whole.Run(Db(), QStringLiteral("ann"), list, held);
    EXPECT_EQ(whole.Totals().TotalText(), walk.Totals().TotalText());
    EXPECT_EQ(whole.Totals().CheckedText(), walk.Totals().CheckedText());

    // A read that failed ends the walk instead of leaving it updating.
    CFileListWalk failed;
    failed.Reset(true);
    failed.Count({}, checks);
    EXPECT_TRUE(failed.IsDone());
}

TEST_F(FileListLogicTest, TheSliceReaderHandsItsRowsOverInBatchesThatCountAsTheWholeWalk)
{
    // Three statements' worth and a few rows: file i is i bytes, every fifth one checked by ann.
    const int n = 3 * CFileListWalk::kChunkRows + 7;
    Db().BeginTrans();
    for (int i = 1; i <= n; ++i)
    {
        const QByteArray name = QByteArray::number(i).rightJustified(4, '0') + ".dat";
        Add({i, name.constData(), 0, i, 0, false, false});
        if (i % 5 == 0)
            Mark(i, "ann", true);
    }
    Db().CommitTrans();
    CRecordSetList list;
    OpenFolder(list, 0);
    ASSERT_EQ(list.rowCount(), n);
    std::vector<bool> wholeChecks;
    CFileListWalk whole;
    whole.Reset(true);
    whole.Run(Db(), QStringLiteral("ann"), list, wholeChecks);

    // Each batch in its turn, as the window takes them; returns how many there were.
    const auto walkInSlices = [&](std::chrono::milliseconds interval, std::vector<bool>& checks,
                                  CFileListWalk& walk, CDbDatabase* db)
    {
        walk.Reset(true);
        checks.assign(static_cast<size_t>(n), false);
        std::vector<CFileListWalk::CBatch> batches;
        CFileListWalk::CSliceReader reader(walk.NextKeys(list, n), QStringLiteral("ann"), interval,
                                           [&](CFileListWalk::CBatch batch)
                                           { batches.push_back(std::move(batch)); });
        int steps = 1;
        while (reader.Step(db))
            ++steps;
        for (const CFileListWalk::CBatch& batch : batches)
        {
            EXPECT_FALSE(walk.IsDone()) << "done before its last batch";
            walk.Take(batch, checks);
        }
        EXPECT_TRUE(batches.back().bSliceDone);
        EXPECT_EQ(steps, db ? 4 : 1);
        return batches.size();
    };

    // Slower than the interval: one batch at the end, counted as the whole walk counts.
    std::vector<bool> checks;
    CFileListWalk walk;
    EXPECT_EQ(walkInSlices(std::chrono::hours(1), checks, walk, &Db()), 1u);
    ASSERT_TRUE(walk.IsDone());
    EXPECT_EQ(walk.Totals().TotalText(), whole.Totals().TotalText());
    EXPECT_EQ(walk.Totals().CheckedText(), whole.Totals().CheckedText());
    EXPECT_EQ(walk.Totals().CheckedCount(), static_cast<unsigned>(n / 5));
    EXPECT_EQ(checks, wholeChecks);

    // No interval: a batch a statement, the same counts.
    EXPECT_EQ(walkInSlices(std::chrono::milliseconds(0), checks, walk, &Db()), 4u);
    EXPECT_EQ(walk.Totals().TotalText(), whole.Totals().TotalText());
    EXPECT_EQ(checks, wholeChecks);

    // A database that cannot be opened hands over one failed batch, which ends the walk.
    EXPECT_EQ(walkInSlices(std::chrono::milliseconds(0), checks, walk, nullptr), 1u);
    EXPECT_TRUE(walk.IsDone());
    EXPECT_EQ(walk.Totals().TotalCount(), 0u);
}

TEST_F(FileListLogicTest, LetterJumpFindsTheApostropheAndOtherLetters)
{
    Add({1, "alpha.txt", 0, 1, 0, false, false});
    Add({2, "'quoted'.txt", 0, 1, 0, false, false});
    Add({3, "Zeta.txt", 0, 1, 0, false, false});
    Add({4, "[bracket].txt", 0, 1, 0, false, false});
    CRecordSetList list;
    OpenFolder(list, 0);
    const QStringList names = Names(list);
    auto jump = [&](QChar c)
    {
        const int row = list.DataCtrl_FindFirst(ListCriterion(LetterJumpCriterion(c), list.Fields()));
        return row < 0 ? QString() : names[row];
    };
    EXPECT_EQ(jump(QLatin1Char('\'')), QStringLiteral("'quoted'.txt"));
    EXPECT_EQ(jump(QLatin1Char('z')), QStringLiteral("Zeta.txt"));
    EXPECT_EQ(jump(QLatin1Char('[')), QStringLiteral("[bracket].txt"));
    EXPECT_EQ(jump(QLatin1Char('q')), QString());
    // The list's qualified field names lose their table; other names and quoted text stay.
    EXPECT_EQ(
        ListCriterion(QStringLiteral("File.File LIKE 'File.File*' AND [File].[FileSizeDouble]>2 AND X.Y=1"),
                      list.Fields()),
        QStringLiteral("[File] LIKE 'File.File*' AND [FileSizeDouble]>2 AND X.Y=1"));
}

TEST_F(FileListLogicTest, RenameRenamesTheFileThenItsRecordAndRefusesWhatWouldLoseData)
{
    Touch(QStringLiteral("media/docs/report.txt"));
    Touch(QStringLiteral("media/docs/other.txt"));
    Add({1, "report.txt", 5, 1, 0, false, false});
    CRecordSetList list;
    OpenFolder(list, 5);
    CFileRename rename(Db(), m_ui);

    // Nothing to do: the same name, blanks, or the same name with blanks around it.
    for (const char* same : {"report.txt", "   ", "", "  report.txt "})
        EXPECT_EQ(rename.Rename(list, 0, QString::fromLatin1(same)), CFileRename::EResult::Unchanged) << same;
    // Onto another file, or into another folder: refused, both files as they were.
    EXPECT_EQ(rename.Rename(list, 0, QStringLiteral("other.txt")), CFileRename::EResult::Exists);
    EXPECT_EQ(rename.Rename(list, 0, QStringLiteral("../escaped.txt")), CFileRename::EResult::InvalidName);
    EXPECT_TRUE(QFileInfo::exists(Path(QStringLiteral("media/docs/report.txt"))));
    EXPECT_TRUE(QFileInfo::exists(Path(QStringLiteral("media/docs/other.txt"))));

    // Trimmed, and a name without a dot clears the extension.
    EXPECT_EQ(rename.Rename(list, 0, QStringLiteral("  README ")), CFileRename::EResult::Renamed);
    EXPECT_TRUE(QFileInfo::exists(Path(QStringLiteral("media/docs/README"))));
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("media/docs/report.txt"))));
    EXPECT_EQ(Dump(QStringLiteral("SELECT File, IIf(Extension Is Null, 'null', Extension) FROM File")),
              QStringLiteral("README|null"));
    EXPECT_EQ(rename.Rename(list, 0, QStringLiteral("notes.md")), CFileRename::EResult::Renamed);
    EXPECT_EQ(Dump(QStringLiteral("SELECT File, Extension FROM File")), QStringLiteral("notes.md|md"));

    // The record refuses the name: the file gets its old name back.
    Db().ExecuteSqliteScript(QStringLiteral("CREATE TRIGGER RefuseRename BEFORE UPDATE OF File ON File BEGIN "
                                            "SELECT RAISE(ABORT, 'refused'); END;"));
    EXPECT_EQ(rename.Rename(list, 0, QStringLiteral("kept.md")), CFileRename::EResult::RecordFailed);
    EXPECT_TRUE(QFileInfo::exists(Path(QStringLiteral("media/docs/notes.md"))));
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("media/docs/kept.md"))));
    EXPECT_EQ(Dump(QStringLiteral("SELECT File FROM File")), QStringLiteral("notes.md"));
}

TEST_F(FileListLogicTest, FieldViewEditorNamesLimitsAndConflicts)
{
    // bob's own view: its name is taken for ann too, though she cannot see it.
    Db().Execute(
        QStringLiteral("INSERT INTO FileListFieldView (FileListFieldViewId, FileListFieldView, [User]) "
                       "VALUES (90, 'Bobs View', 'bob')"));
    CFieldViewEditor editor(Db(), m_doc.RetryPolicy(), QStringLiteral("ann"));
    ASSERT_TRUE(editor.Load());
    const int templateViews = editor.Count();
    EXPECT_EQ(editor.IndexOf(QStringLiteral("Bobs View")), -1);
    CFieldViewEditor::SMessage message;
    QStringList made;
    for (int i = 0; i < 3; ++i)
        made.append(editor.View(editor.New(&message)).name);
    EXPECT_EQ(made, (QStringList{"New Field View", "New Field View2", "New Field View3"}));
    EXPECT_EQ(editor.View(editor.Copy(editor.IndexOf(QStringLiteral("Keywords")), &message)).name,
              QStringLiteral("Keywords2"));

    const int view = editor.IndexOf(QStringLiteral("New Field View"));
    EXPECT_FALSE(editor.Rename(view, QStringLiteral("keywords"), &message));
    EXPECT_EQ(message.text, QStringLiteral("The view name already exists\nPlease choose a different name."));
    EXPECT_EQ(message.caption, QStringLiteral("Duplicate File List Field View"));
    EXPECT_FALSE(editor.Rename(view, QStringLiteral("BOBS VIEW"), &message));
    EXPECT_EQ(message.text,
              QStringLiteral("The view name already exists in bob's File List Field View.\nPlease "
                             "choose a different name."));
    EXPECT_FALSE(editor.Rename(view, QStringLiteral("  "), &message));
    EXPECT_TRUE(editor.Rename(view, QStringLiteral("Mine"), &message));

    while (editor.Count() < CFieldViewEditor::kMaxViews)
        ASSERT_GE(editor.New(&message), 0);
    EXPECT_EQ(editor.New(&message), -1);
    EXPECT_EQ(message.text,
              QStringLiteral("The maximum number of File List Field Views (50) has been reached."));
    EXPECT_EQ(message.caption, QStringLiteral("Unable To Create File List Field View"));
    EXPECT_EQ(editor.Copy(0, &message), -1);
    EXPECT_EQ(editor.Count(), CFieldViewEditor::kMaxViews);
    EXPECT_GT(editor.Count(), templateViews);
}

TEST_F(FileListLogicTest, FieldViewEditorWritesOnlyOnCommitAndKeepsWidthsOfKeptFields)
{
    const QString tables = QStringLiteral(
        "SELECT 'v', FileListFieldViewId, FileListFieldView, [User] FROM FileListFieldView UNION ALL "
        "SELECT 'f', FileListFieldViewId, FieldId, [Order] FROM FileListFieldViewField UNION ALL "
        "SELECT 'w', FileListFieldViewId, FieldId, Width FROM FileListFieldViewFieldUserValues UNION ALL "
        "SELECT 'p', 0, Parameter, [Value] FROM Parameter ORDER BY 1, 2, 3, 4");
    // bob's width of the File column of "Keywords" (view 5, field 15), and ann's choice of it.
    Db().Execute(
        QStringLiteral("INSERT INTO FileListFieldViewFieldUserValues ([User], FileListFieldViewId, FieldId, "
                       "Width) VALUES ('bob', 5, 15, 222), ('bob', 5, 12, 111)"));
    ASSERT_TRUE(
        m_doc.SetDatabaseParameter(QStringLiteral("QueryFileListFieldView_ann"), QStringLiteral("Keywords")));
    const QString before = Dump(tables);
    {
        CFieldViewEditor editor(Db(), m_doc.RetryPolicy(), QStringLiteral("ann"));
        ASSERT_TRUE(editor.Load());
        CFieldViewEditor::SMessage message;
        editor.New(&message);
        editor.Delete(editor.IndexOf(QStringLiteral("Categories")));
        editor.Rename(editor.IndexOf(QStringLiteral("Keywords")), QStringLiteral("Words"), &message);
        // Not committed: the database is as it was.
    }
    EXPECT_EQ(Dump(tables), before);

    CFieldViewEditor editor(Db(), m_doc.RetryPolicy(), QStringLiteral("ann"));
    ASSERT_TRUE(editor.Load());
    CFieldViewEditor::SMessage message;
    const int made = editor.New(&message);
    editor.SetShownFields(made, {15, 8});
    editor.Delete(editor.IndexOf(QStringLiteral("Categories")));
    const int words = editor.IndexOf(QStringLiteral("Keywords"));
    ASSERT_TRUE(editor.Rename(words, QStringLiteral("Words"), &message));
    // File and Size stay, Keywords (13) goes, in another order.
    editor.SetShownFields(words, {8, 15});
    editor.SetGlobal(words, false);
    ASSERT_TRUE(editor.Commit());

    EXPECT_EQ(
        Long(QStringLiteral("SELECT Count(*) FROM FileListFieldView WHERE FileListFieldView='Categories'")),
        0);
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM FileListFieldViewField WHERE FileListFieldViewId=6")),
              0);
    EXPECT_EQ(Dump(QStringLiteral("SELECT FileListFieldView, [User] FROM FileListFieldView WHERE "
                                  "FileListFieldViewId=5")),
              QStringLiteral("Words|ann"));
    EXPECT_EQ(
        Dump(QStringLiteral("SELECT FieldId, [Order] FROM FileListFieldViewField WHERE FileListFieldViewId=5 "
                            "ORDER BY [Order]")),
        QStringLiteral("8|1\n15|2"));
    EXPECT_EQ(Dump(QStringLiteral("SELECT FieldId, Width FROM FileListFieldViewFieldUserValues WHERE "
                                  "FileListFieldViewId=5")),
              QStringLiteral("15|222"));
    EXPECT_EQ(m_doc.GetDatabaseParameter(QStringLiteral("QueryFileListFieldView_ann")),
              QStringLiteral("Words"));
    EXPECT_EQ(Dump(QStringLiteral(
                  "SELECT f.FieldId FROM FileListFieldViewField f INNER JOIN FileListFieldView v ON "
                  "v.FileListFieldViewId = f.FileListFieldViewId WHERE v.FileListFieldView='New Field "
                  "View' ORDER BY f.[Order]")),
              QStringLiteral("15\n8"));
}

TEST_F(FileListLogicTest, ExportWritesTheShownColumnsAsCsvOrTabSeparatedText)
{
    Add({1, "plain.txt", 0, 2048, 0, false, false});
    Add({2, "comma, \"quote\".txt", 0, 10, 0, false, false});
    Db().Execute(QStringLiteral("INSERT INTO FileInfo (FileInfoId, Description) VALUES (7, ?)"),
                 {CDbValue(QStringLiteral("two\nlines\tand a tab"))});
    Db().Execute(QStringLiteral("UPDATE File SET FileInfoId=7 WHERE FileId=1"));
    CRecordSetList list;
    list.SetUserName(QStringLiteral("ann"));
    CFieldViewColumns view;
    ASSERT_TRUE(view.Load(Db(), QStringLiteral("ann"), QStringLiteral("Folder (Minimal)")));
    view.ApplyTo(list);
    const SFolderViewSql sql = FolderViewSql(QStringLiteral("ann"), 1, 0);
    list.DataCtrl_SetFrom(sql.from);
    list.DataCtrl_SetWhere(sql.where);
    const CFileListExport exporter = CFileListExport::FromList(list);

    QBuffer csv;
    csv.open(QIODevice::WriteOnly);
    QString error;
    std::vector<qint64> told;
    EXPECT_EQ(exporter.Write(
                  Db(), csv, CFileListExport::EFormat::Csv,
                  [&](qint64 rows)
                  {
                      told.push_back(rows);
                      return true;
                  },
                  &error),
              2)
        << error.toStdString();
    EXPECT_EQ(told.back(), 2);
    EXPECT_EQ(QString::fromUtf8(csv.data()),
              QStringLiteral("File,Size,Keywords,Categories,Description,Notes\r\n"
                             "\"comma, \"\"quote\"\".txt\",10,,,,\r\n"
                             "plain.txt,2048,,,\"two\nlines\tand a tab\",\r\n"));

    QBuffer tsv;
    tsv.open(QIODevice::WriteOnly);
    EXPECT_EQ(exporter.Write(Db(), tsv, CFileListExport::EFormat::Tsv, nullptr, &error), 2);
    EXPECT_EQ(QString::fromUtf8(tsv.data()).split(QLatin1Char('\n'))[2],
              QStringLiteral("plain.txt\t2048\t\t\ttwo lines and a tab\t"));

    EXPECT_EQ(CFileListExport::FormatFromName(QStringLiteral("/tmp/x/List.CSV")),
              CFileListExport::EFormat::Csv);
    EXPECT_EQ(CFileListExport::FormatFromName(QStringLiteral("out.tsv")), CFileListExport::EFormat::Tsv);
    EXPECT_EQ(CFileListExport::FormatFromName(QStringLiteral("tsv")), CFileListExport::EFormat::Tsv);
    EXPECT_FALSE(CFileListExport::FormatFromName(QStringLiteral("out.json")).has_value());
}
