#pragma once

#include "DocumentFixture.h"
#include "TestFiles.h"

#include "browser/fileops/FileProblems.h"

#include <QDirIterator>

#include <deque>
#include <functional>
#include <map>
#include <vector>

// Answers the file problems dialog from a queue (stop when it is empty) and keeps what it was
// shown; a hook may act while the dialog is open (put a missing file back, say).
class CScriptedProblems final : public CFileProblemsPrompt
{
public:
    int Ask(const CFileProblems& problems) override
    {
        asked.push_back(problems);
        if (onAsk)
            onAsk(problems);
        if (problems.IsOkOnly() || answers.empty())
            return CFileProblems::kStop;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<int> answers;
    std::vector<CFileProblems> asked;
    std::function<void(const CFileProblems&)> onAsk;
};

// Forwards to a scripted interaction and clears the operation-running flag, as Esc does, once
// the progress has been stepped a given number of times.
class CEscAfterSteps final : public CUserInteraction
{
public:
    CEscAfterSteps(CScriptedInteraction& inner, int steps) : m_inner(inner), m_nSteps(steps) {}
    MsgAnswer MessageBox(const QString& t, const QString& c, MsgIcon i, MsgButtons b) override
    {
        return m_inner.MessageBox(t, c, i, b);
    }
    void SetStatusText(const QString& text) override { m_inner.SetStatusText(text); }
    void SetProgressRange(int lower, int upper) override { m_inner.SetProgressRange(lower, upper); }
    void SetProgressPos(int pos) override { m_inner.SetProgressPos(pos); }
    void StepProgress() override
    {
        m_inner.StepProgress();
        if (--m_nSteps == 0)
            SetOperationRunning(false);
    }
    void ClearProgress() override { m_inner.ClearProgress(); }
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}

private:
    CScriptedInteraction& m_inner;
    int m_nSteps;
};

// Two catalogues on the fixture's fixed disk (serial 1234ABCD, "DATA"): 1 "Source" at src/ and
// 2 "Target" at dst/, with folders 5 "music" and 6 "music\old". The trash is the test's own.
// Every file written through AddFile must still exist somewhere, byte for byte, at the end: at
// its place, its destination or in the trash.
class FileOpsTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        m_previousData = qgetenv("XDG_DATA_HOME");
        DocumentTest::SetUp();
        qputenv("XDG_DATA_HOME", QFile::encodeName(Path(QStringLiteral("xdg-data"))));
        Db().Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                           "Location, DriveType) VALUES (0, 1, 'Source', 'DATA', ?, ?, 'Fixed'), "
                           "(0, 2, 'Target', 'DATA', ?, ?, 'Fixed')"),
            {CDbValue(qint32(0x1234ABCD)), CDbValue(Path(QStringLiteral("src"))),
             CDbValue(qint32(0x1234ABCD)), CDbValue(Path(QStringLiteral("dst")))});
        Db().Execute(QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES "
                                    "(5, 'music'), (6, 'music\\old')"));
        QDir().mkpath(Path(QStringLiteral("src")));
        QDir().mkpath(Path(QStringLiteral("dst")));
    }
    void TearDown() override
    {
        ExpectNothingLost();
        DocumentTest::TearDown();
        qputenv("XDG_DATA_HOME", m_previousData);
    }

    struct FileSpec
    {
        qint32 fileId;
        qint32 catalogueId;
        qint32 folderId;
        QString name;
        QByteArray content = {}; // empty: a ghost without a physical file
        QString tth = {};
        bool ghost = false;
        bool mark = false;
    };
    QString CatalogueRoot(qint32 catalogueId) const
    {
        return Path(catalogueId == 1 ? QStringLiteral("src") : QStringLiteral("dst"));
    }
    static QString FolderText(qint32 folderId)
    {
        return folderId == 5   ? QStringLiteral("music")
               : folderId == 6 ? QStringLiteral("music/old")
                               : QString();
    }
    QString FilePathOf(qint32 catalogueId, qint32 folderId, const QString& name) const
    {
        const QString folder = FolderText(folderId);
        return CatalogueRoot(catalogueId) + QLatin1Char('/') +
               (folder.isEmpty() ? QString() : folder + QLatin1Char('/')) + name;
    }
    void AddFile(qint32 fileId, qint32 catalogueId, qint32 folderId, const QString& name,
                 const QByteArray& content, const QString& tth = {}, bool ghost = false, bool mark = false)
    {
        AddFile(FileSpec{fileId, catalogueId, folderId, name, content, tth, ghost, mark});
    }
    void AddFile(const FileSpec& f)
    {
        if (!f.ghost)
        {
            const QString path = FilePathOf(f.catalogueId, f.folderId, f.name);
            QDir().mkpath(QFileInfo(path).path());
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(f.content);
            m_written.push_back(f.content);
        }
        Db().Execute(
            QStringLiteral(
                "INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, FileSizeHigh, "
                "FileSizeDouble, TTH, Ghost, Attributes) VALUES (?, ?, ?, ?, ?, 0, ?, ?, ?, 'A')"),
            {CDbValue(f.catalogueId), CDbValue(f.folderId), CDbValue(f.fileId), CDbValue(f.name),
             CDbValue(qint32(f.content.size())), CDbValue(double(f.content.size())),
             f.tth.isEmpty() ? CDbValue::Null() : CDbValue(f.tth), CDbValue(f.ghost)});
        Db().Execute(QStringLiteral("INSERT INTO FileUserSelect (FileId, [User], Mark) VALUES (?, 'ann', ?)"),
                     {CDbValue(f.fileId), CDbValue(f.mark)});
    }
    CDbValue Field(qint32 fileId, const QString& column)
    {
        CDbStatement st =
            Db().PrepareSqlite(QStringLiteral("SELECT \"%1\" FROM \"File\" WHERE FileId = ?").arg(column));
        st.Bind(1, fileId);
        return st.Step() ? st.Value(0) : CDbValue(QStringLiteral("<no row>"));
    }
    bool Mark(qint32 fileId)
    {
        CDbStatement st = Db().PrepareSqlite(
            QStringLiteral("SELECT Mark FROM FileUserSelect WHERE FileId = ? AND \"User\" = 'ann'"));
        st.Bind(1, fileId);
        return st.Step() && st.Value(0).ToBool();
    }
    static QByteArray Read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    // The contents of the files in the trash.
    QList<QByteArray> Trashed() const
    {
        QList<QByteArray> contents;
        QDirIterator it(Path(QStringLiteral("xdg-data/Trash/files")), QDir::Files | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            contents.append(Read(it.next()));
        return contents;
    }
    void ExpectNothingLost() const
    {
        std::map<QByteArray, int> found;
        QDirIterator it(m_dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            ++found[Read(it.next())];
        for (const QByteArray& content : m_written)
            EXPECT_GT(found[content], 0) << "lost: " << content.constData();
    }
    // Runs a body as a job runs it, on the document's connection.
    template <typename F> bool RunAsJob(F&& body, CUserInteraction* ui = nullptr)
    {
        CUserInteraction& interaction = ui ? *ui : static_cast<CUserInteraction&>(m_ui);
        interaction.SetOperationRunning(true);
        CJobContext job(interaction, &Db(), &m_doc.RetryPolicy());
        const bool result = body(job);
        interaction.SetOperationRunning(false);
        return result;
    }

    CScriptedProblems m_problems;
    std::vector<QByteArray> m_written;
    QByteArray m_previousData;
};
