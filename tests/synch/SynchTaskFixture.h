#pragma once

#include "ServerCatalogue.h"
#include "common/ErrorLog.h"
#include "common/ScriptedInteraction.h"
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"
#include "platform/FixtureVolumeTable.h"
#include "platform/VolumeTable.h"
#include "synch/MwuContext.h"
#include "synch/MwuNotifier.h"
#include "synch/MwuRequest.h"
#include "synch/MwuSynchState.h"
#include "synch/MwuTaskList.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

// A notifier that counts, and lets a test act when a folder group has ended.
class CHookNotifier final : public CMwuNotifier
{
public:
    void PostRefresh() override {}
    void PostManageStarted() override {}
    void AskRefresh() override {}
    void AskRequestNotify(CMwuRequest*) override
    {
        ++groupsEnded;
        if (onGroupEnded)
            onGroupEnded();
    }
    int groupsEnded = 0;
    std::function<void()> onGroupEnded;
};

// A real template database (a file, or on the test program's PostgreSQL server) with catalogue 1
// "Media" on a fixed volume (serial 1234ABCD) whose location is the folder "media" of a temporary
// directory, and the context a task manager needs.
template <class TBase> class TSynchTaskFixture : public TBase
{
protected:
    static constexpr quint32 kSerial = 0x1234ABCD;

    virtual EEngine Engine() const { return EEngine::Sqlite; }

    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SetErrorLogFolder(m_dir.path());
        SetProcessUserInteraction(&m_ui);
        if (Engine() == EEngine::Server)
        {
            QUARRANE_NEW_SERVER_CATALOGUE(m_strDatabase);
        }
        else
        {
            m_strDatabase = m_dir.filePath(QStringLiteral("Media.qrl"));
            ASSERT_TRUE(WriteTemplateDatabase(m_strDatabase));
        }
        m_strMedia = m_dir.filePath(QStringLiteral("media"));
        ASSERT_TRUE(QDir().mkpath(m_strMedia));
        SetVolume(QString());
        m_db.Open(m_strDatabase);
        AddCatalogue(1, QStringLiteral("Media"), kSerial, QStringLiteral("Fixed"));
    }
    void TearDown() override
    {
        m_db.Close();
        SetProcessUserInteraction(nullptr);
        SetErrorLogFolder(QString());
    }

    // The volume that holds the temporary directory; fileSystem decides the case rule.
    void SetVolume(const QString& fileSystem)
    {
        m_volumes.SetEntries({CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, kSerial, QStringLiteral("DATA"),
                                                             fileSystem)});
    }

    void AddCatalogue(qint32 id, const QString& name, quint32 serial, const QString& driveType)
    {
        m_db.Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                                    "Location, DriveType, LocalMachine, UserName) VALUES (0, ?, ?, 'DATA', ?, ?, "
                                    "?, 'host', 'ann')"),
                     {CDbValue(id), CDbValue(name), CDbValue(qint32(serial)), CDbValue(m_strMedia),
                      CDbValue(driveType)});
    }

    // Writes a file below the medium (folders made as needed).
    void WriteFile(const QString& relative, const QByteArray& contents = {})
    {
        const QString path = m_strMedia + QLatin1Char('/') + relative;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        ASSERT_EQ(file.write(contents), contents.size());
    }

    template <class TManager, class... Extra>
    int Run(const QString& options, Extra&&... extra)
    {
        m_request.m_strCommandLine =
            QStringLiteral("-Database=\"%1\" -CatalogueID=%2 %3").arg(m_strDatabase).arg(m_catalogueId).arg(options);
        m_request.m_line = SynchCommandLine::Parse(m_request.m_strCommandLine);
        TManager manager(m_request, m_context, std::forward<Extra>(extra)...);
        return manager.Manage();
    }

    std::vector<CMwuTask> Rows() const
    {
        std::vector<CMwuTask> rows(static_cast<size_t>(m_tasks.Size()));
        for (int i = 0; i < m_tasks.Size(); ++i)
            m_tasks.CopyAt(i, rows[static_cast<size_t>(i)]);
        return rows;
    }

    qint32 Count(const QString& where)
    {
        CDbStatement st = m_db.Prepare(QStringLiteral("SELECT Count(*) FROM File WHERE ") + where);
        return st.Step() ? st.Value(0).ToLong() : -1;
    }

    QTemporaryDir m_dir;
    QString m_strDatabase;
    QString m_strMedia;
    qint32 m_catalogueId = 1;
    CDbDatabase m_db;
    CFixtureVolumeTable m_volumes;
    CVolumeTableScope m_scope{m_volumes};
    CScriptedInteraction m_ui;
    CMwuSynchState m_state;
    CMwuTaskList m_tasks;
    CHookNotifier m_notifier;
    CMwuContext m_context{m_state, m_tasks, m_notifier, m_ui, [](auto) {}};
    CMwuRequest m_request;
};

using SynchTaskFixture = TSynchTaskFixture<::testing::Test>;

// The task tests that run on both engines: TEST_P, and QUARRANE_ON_BOTH_ENGINES(Suite).
class SynchTaskOnBothEngines : public TSynchTaskFixture<::testing::TestWithParam<EEngine>>
{
protected:
    EEngine Engine() const override { return GetParam(); }
};
