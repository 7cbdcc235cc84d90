#include "DocumentFixture.h"
#include "ProcessEnvironment.h"
#include "ServerThread.h"
#include "TestFiles.h"

#include "browser/RecordSetList.h"
#include "browser/handlers/CatalogueFileRequest.h"
#include "browser/handlers/FileOpener.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

namespace
{
// A program that writes the arguments it was given, each ended by a NUL, to its own path plus
// ".out" (written beside and renamed, so that a reader never sees half of it).
QString WriteRecorder(const QString& path)
{
    WriteText(path, "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.out\"\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QStringList RecordedArguments(const QString& recorder)
{
    QFile out(recorder + QStringLiteral(".out"));
    if (!out.open(QIODevice::ReadOnly))
        return {QStringLiteral("<nothing recorded>")};
    QStringList arguments = QString::fromUtf8(out.readAll()).split(QChar(0));
    arguments.removeLast();
    return arguments;
}
} // namespace

// Opening files on a folder that a fixture volume table presents as disk 1234ABCD "DATA", with a
// recorder for an application and another in place of the desktop's xdg-open.
class FileOpenerTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        m_strApp = WriteRecorder(Path(QStringLiteral("bin/player")));
        m_strXdgOpen = WriteRecorder(Path(QStringLiteral("bin/xdg-open")));
        m_oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(Path(QStringLiteral("bin"))) + ':' + m_oldPath);
    }
    void TearDown() override
    {
        qputenv("PATH", m_oldPath);
        DocumentTest::TearDown();
    }

    SOpenRequest Request(const QString& relative)
    {
        Touch(relative);
        return {Path(relative), 0x1234ABCD, QStringLiteral("DATA")};
    }
    void AddPlayer(const QString& extensions, const QString& commandLine = QStringLiteral("\"%1\" /play"))
    {
        SFileHandler h;
        h.strName = QStringLiteral("Player for ") + extensions;
        h.strApplication = m_strApp;
        h.strCommandLine = commandLine;
        h.strDefaultExtensions = extensions;
        m_handlers.StoreHandler(h);
    }

    CFileHandlerSet m_handlers;
    CFileOpener m_opener{m_handlers, m_ui};
    QString m_strApp;
    QString m_strXdgOpen;
    QByteArray m_oldPath;
};

TEST_F(FileOpenerTest, TheFileReachesItsHandlerAsOneUnchangedArgumentWithoutAShell)
{
    AddPlayer(QStringLiteral(".MP3 .ogg"));
    const QString name = QStringLiteral("a;b $(touch pwned) `touch pwned2` \"q\" 'r' & | > %1.OGG");
    const SOpenRequest request = Request(name);
    const qint64 pid = m_opener.OpenFile(request);
    EXPECT_GT(pid, 0);
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(m_strApp + QStringLiteral(".out")); }));
    EXPECT_EQ(RecordedArguments(m_strApp), (QStringList{Path(name), QStringLiteral("/play")}));
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("pwned"))));
    EXPECT_FALSE(QFile::exists(QStringLiteral("pwned")));
    EXPECT_FALSE(QFile::exists(QStringLiteral("pwned2")));
    EXPECT_FALSE(QFile::exists(m_strXdgOpen + QStringLiteral(".out")));
    EXPECT_TRUE(m_ui.StatusTexts().contains(QStringLiteral("Opening File: ") + Path(name)));
    EXPECT_TRUE(m_ui.Messages().empty());
}

TEST_F(FileOpenerTest, AFileWithoutHandlerGoesToTheDesktopAssociation)
{
    AddPlayer(QStringLiteral("mp3"));
    const QString name = QStringLiteral("notes $(id) \"x\".txt");
    m_opener.OpenFile(Request(name));
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(m_strXdgOpen + QStringLiteral(".out")); }));
    EXPECT_EQ(RecordedArguments(m_strXdgOpen), QStringList{Path(name)});
    EXPECT_FALSE(QFile::exists(m_strApp + QStringLiteral(".out")));

    // A handler chosen from Open With wins over the missing default.
    const SOpenRequest request = Request(QStringLiteral("other.txt"));
    EXPECT_GT(m_opener.OpenFile(request, 0), 0);
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(m_strApp + QStringLiteral(".out")); }));
    EXPECT_EQ(RecordedArguments(m_strApp), (QStringList{request.strPath, QStringLiteral("/play")}));
}

TEST_F(FileOpenerTest, UnsafeFilesAskFirst)
{
    AddPlayer(QStringLiteral("scr bat sh"), QStringLiteral("%1"));
    m_ui.QueueAnswer(MsgAnswer::No);
    EXPECT_EQ(m_opener.OpenFile(Request(QStringLiteral("x.SCR"))), -1);
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].caption, QStringLiteral("Unsafe File"));
    EXPECT_EQ(m_ui.Messages()[0].text,
              QStringLiteral(
                  "File:    %1\r\n\r\nThis type of file could harm your computer if it contains malicious "
                  "code.\r\n\r\nWould you like to open the file?")
                  .arg(Path(QStringLiteral("x.SCR"))));
    EXPECT_EQ(m_ui.Messages()[0].buttons, MsgButtons::YesNo);

    EXPECT_GT(m_opener.OpenFile(Request(QStringLiteral("x.bat"))), 0);
    EXPECT_EQ(m_ui.Messages().size(), 1u) << "a batch file is no danger here";
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(m_strApp + QStringLiteral(".out")); }));

    EXPECT_TRUE(IsUnsafeFile(QStringLiteral("/x/run.sh")));
    EXPECT_TRUE(IsUnsafeFile(QStringLiteral("/x/app.Desktop")));
    EXPECT_TRUE(IsUnsafeFile(m_strApp)) << "an execute permission";
    EXPECT_FALSE(IsUnsafeFile(Path(QStringLiteral("x.bat"))));
    EXPECT_FALSE(IsUnsafeFile(Path(QStringLiteral("bin"))));

    QFile::remove(m_strApp + QStringLiteral(".out"));
    m_ui.QueueAnswer(MsgAnswer::Yes);
    EXPECT_GT(m_opener.OpenFile(Request(QStringLiteral("y.sh"))), 0);
    EXPECT_EQ(m_ui.Messages().size(), 2u);
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(m_strApp + QStringLiteral(".out")); }));
}

TEST_F(FileOpenerTest, AMissingMediumOrApplicationIsToldAndNothingStarts)
{
    AddPlayer(QStringLiteral("mp3"));
    SOpenRequest away{QStringLiteral("/media/nowhere/a.mp3"), 0x0BADF00D, QStringLiteral("HOLIDAY")};
    EXPECT_EQ(m_opener.OpenFile(away), -1);
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].icon, MsgIcon::Warning);
    EXPECT_TRUE(m_ui.Messages()[0].text.contains(QStringLiteral("HOLIDAY")));
    EXPECT_FALSE(m_opener.OpenContainingFolder(away));

    SFileHandler gone = m_handlers.Handler(0);
    gone.strApplication = Path(QStringLiteral("bin/none"));
    m_handlers.StoreHandler(gone);
    EXPECT_EQ(m_opener.OpenFile(Request(QStringLiteral("a.mp3"))), -1);
    ASSERT_EQ(m_ui.Messages().size(), 3u);
    EXPECT_EQ(m_ui.Messages()[2].text,
              QStringLiteral("The following application could not be found:\r\n    ") +
                  Path(QStringLiteral("bin/none")));
    EXPECT_FALSE(QFile::exists(m_strApp + QStringLiteral(".out")));
}

TEST_F(FileOpenerTest, ContainingFolderGoesToTheFileManagerElseToTheFolder)
{
    const SOpenRequest request = Request(QStringLiteral("films/a b.mkv"));
    QStringList shown;
    m_opener.SetFileManagerShow(
        [&](const QString& path)
        {
            shown.append(path);
            return true;
        });
    EXPECT_TRUE(m_opener.OpenContainingFolder(request));
    EXPECT_EQ(shown, QStringList{request.strPath});

    m_opener.SetFileManagerShow([](const QString&) { return false; });
    EXPECT_TRUE(m_opener.OpenContainingFolder(request));
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(m_strXdgOpen + QStringLiteral(".out")); }));
    EXPECT_EQ(RecordedArguments(m_strXdgOpen), QStringList{Path(QStringLiteral("films"))});
}

TEST_F(FileOpenerTest, DdeHandlersExecuteOrPokeWithTheFileInItemAndData)
{
    CPrivateRuntimeDir runtime;
    ServerThread server(QStringLiteral("viewer"));
    ASSERT_TRUE(server.Listening());
    SFileHandler h;
    h.strName = QStringLiteral("Viewer");
    h.strDefaultExtensions = QStringLiteral("jpg png");
    h.bUseDde = true;
    h.bDdePrelaunchServer = false;
    h.strDdeService = QStringLiteral("viewer");
    h.strDdeTopic = QStringLiteral("System");
    h.strDdeData = QStringLiteral("[open(\"%1\")]");
    m_handlers.StoreHandler(h);
    h.strName = QStringLiteral("Poker");
    h.strDefaultExtensions = QStringLiteral("png");
    h.strDdeType = QStringLiteral("Poke");
    h.strDdeItem = QStringLiteral("show %1");
    h.strDdeData = QStringLiteral("%1");
    m_handlers.StoreHandler(h);

    h.strName = QStringLiteral("Switched off");
    h.strDefaultExtensions = QStringLiteral("gif");
    h.bUseDde = false;
    h.strApplication = m_strApp;
    m_handlers.StoreHandler(h);

    EXPECT_EQ(m_opener.OpenFile(Request(QStringLiteral("p q.jpg"))), -1);
    m_opener.OpenFile(Request(QStringLiteral("r.png")), 1);
    EXPECT_GT(m_opener.OpenFile(Request(QStringLiteral("s.gif"))), 0) << "DDE unchecked: the command line";
    const auto transactions = server.Transactions();
    EXPECT_TRUE(m_ui.Messages().empty());
    std::vector<CConversationServer::Transaction> work;
    for (const auto& t : transactions)
        if (t.kind == ConversationKind::Execute || t.kind == ConversationKind::Poke)
            work.push_back(t);
    ASSERT_EQ(work.size(), 2u);
    EXPECT_EQ(work[0].kind, ConversationKind::Execute);
    EXPECT_EQ(work[0].topic, QStringLiteral("System"));
    EXPECT_EQ(work[0].data, QStringLiteral("[open(\"%1\")]").arg(Path(QStringLiteral("p q.jpg"))));
    EXPECT_EQ(work[1].kind, ConversationKind::Poke);
    EXPECT_EQ(work[1].item, QStringLiteral("show ") + Path(QStringLiteral("r.png")));
    EXPECT_EQ(work[1].data, Path(QStringLiteral("r.png")));
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(m_strApp + QStringLiteral(".out")); }));
    EXPECT_EQ(RecordedArguments(m_strApp), QStringList{Path(QStringLiteral("s.gif"))});
}

TEST_F(FileOpenerTest, DdeLaunchesFirstWithPrelaunchElseOnlyWhenNobodyAnswers)
{
    CPrivateRuntimeDir runtime;
    m_opener.SetServerStartWait(ScaledTimeout(300));
    const SLaunchCommand launch{m_strApp, {QStringLiteral("-server")}};

    // Without prelaunch a running server is used and nothing is started.
    {
        ServerThread server(QStringLiteral("running"));
        EXPECT_TRUE(m_opener.SendDdeMessage(launch, false, QStringLiteral("running"), QStringLiteral("t"), {},
                                            QStringLiteral("d"), kXtypExecute));
    }
    EXPECT_FALSE(QFile::exists(m_strApp + QStringLiteral(".out")));

    // With prelaunch the application is started before connecting; here it never serves.
    EXPECT_FALSE(m_opener.SendDdeMessage(launch, true, QStringLiteral("absent"), QStringLiteral("t"), {},
                                         QStringLiteral("d"), kXtypExecute));
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(m_strApp + QStringLiteral(".out")); }));
    EXPECT_EQ(RecordedArguments(m_strApp), QStringList{QStringLiteral("-server")});
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].text,
              QStringLiteral(
                  "Unable to send the DDE message:  The attempt to establish a conversation has failed"));
    EXPECT_TRUE(m_ui.StatusTexts().contains(QStringLiteral("Launching %1...").arg(m_strApp)));

    // Without prelaunch and nobody answering, the launch comes second; a missing one is told.
    const SLaunchCommand missing{Path(QStringLiteral("bin/gone")), {}};
    EXPECT_FALSE(m_opener.SendDdeMessage(missing, false, QStringLiteral("absent"), QStringLiteral("t"), {},
                                         QStringLiteral("d"), kXtypExecute));
    ASSERT_EQ(m_ui.Messages().size(), 2u);
    EXPECT_EQ(m_ui.Messages()[1].text,
              QStringLiteral("The following application could not be found:\r\n    ") +
                  Path(QStringLiteral("bin/gone")));
    EXPECT_EQ(m_ui.Messages()[1].caption, QStringLiteral("Unable to send the DDE message"));
}

TEST_F(FileOpenerTest, RequestsComeFromTheCatalogueAndSlideCandidatesFromTheList)
{
    Db().Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Location, Volume, "
                                "VolumeSerial) VALUES (0, 1, 'C', ?, 'DATA', ?)"),
                 {CDbValue(Path(QStringLiteral("media"))), CDbValue(qint32(0x1234ABCD))});
    Db().Execute(
        QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (8, 'Films\\2024')"));
    Db().Execute(
        QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                       "FileSizeDouble) VALUES (1, 8, 1, 'it''s.mkv', 1, 1), (1, 0, 2, 'top.txt', 1, 1), "
                       "(1, 0, 3, 'b.txt', 1, 1)"));
    const std::optional<SOpenRequest> inFolder = ReadOpenRequest(Db(), 1);
    ASSERT_TRUE(inFolder);
    EXPECT_EQ(inFolder->strPath, Path(QStringLiteral("media/Films/2024/it's.mkv")));
    EXPECT_EQ(inFolder->nVolumeSerial, 0x1234ABCD);
    EXPECT_EQ(inFolder->strVolume, QStringLiteral("DATA"));
    EXPECT_EQ(ReadOpenRequest(Db(), 2)->strPath, Path(QStringLiteral("media/top.txt")));
    EXPECT_FALSE(ReadOpenRequest(Db(), 99));

    CRecordSetList list;
    list.SetUserName(QStringLiteral("ann"));
    list.DataCtrl_SetSQL(QStringLiteral("SELECT File.* FROM File ORDER BY File.File;"));
    CDataCtrlDescriptor field;
    field.m_strFieldName = QStringLiteral("File.File");
    list.DataCtrl_AddField(field);
    ASSERT_EQ(list.DataCtrl_Open(&Db()), 0);
    using V = std::vector<qint32>;
    EXPECT_EQ(SlideCandidates(list, ESlideFiles::All, {}, &Db(), QStringLiteral("ann")), (V{3, 1, 2}));
    EXPECT_EQ(SlideCandidates(list, ESlideFiles::Selected, {2, 0, 7}, &Db(), QStringLiteral("ann")),
              (V{3, 2}));
    EXPECT_EQ(SlideCandidates(list, ESlideFiles::Checked, {}, &Db(), QStringLiteral("ann")), V{});
    Db().Execute(QStringLiteral("INSERT INTO FileUserSelect (FileId, [User], Mark) VALUES (2, 'ann', TRUE), "
                                "(3, 'bob', TRUE), (1, 'ann', FALSE)"));
    EXPECT_EQ(SlideCandidates(list, ESlideFiles::Checked, {}, &Db(), QStringLiteral("ann")), V{2});
    list.DataCtrl_Close();
}
