#pragma once

#include "browser/CatalogueStore.h"
#include "browser/CurrentFileEditor.h"
#include "browser/JobRunner.h"
#include "browser/MirrowelDoc.h"
#include "browser/QueryRunner.h"
#include "browser/SynchLauncher.h"
#include "browser/SynchLink.h"
#include "common/ErrorLog.h"
#include "common/ScriptedInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/TemplateDatabase.h"
#include "platform/FixtureVolumeTable.h"
#include "platform/VolumeTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>

#include <gtest/gtest.h>

// Records the command lines the document would hand to the synchronizer.
class CRecordingLauncher final : public CSynchLauncher
{
public:
    bool Send(const QString& topic, const QString& commandLine) override
    {
        sent.append({topic, commandLine});
        return true;
    }
    QList<std::pair<QString, QString>> sent;
};

// A document on a fresh database made from the template, in a temporary folder that a fixture
// volume table presents as a fixed disk with serial 1234ABCD.
class DocumentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SetErrorLogFolder(m_dir.path());
        SetProcessUserInteraction(&m_ui);
        m_volumes.SetEntries({CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"))});
        m_doc.Synch().SetSynchLauncher(&m_launcher);
        m_doc.RetryPolicy().SetWait([](auto) {});
        m_doc.SetUserName(QStringLiteral("ann"));
        m_strDatabase = m_dir.filePath(QStringLiteral("Films.qrl"));
        ASSERT_TRUE(m_doc.NewDatabase(m_strDatabase));
    }
    void TearDown() override
    {
        m_doc.CloseDatabase();
        SetProcessUserInteraction(nullptr);
        SetErrorLogFolder(QString());
    }

    CDbDatabase& Db() { return *m_doc.Database(); }
    qint32 Long(const QString& sql)
    {
        CDbStatement st = Db().Prepare(sql);
        return st.Step() ? st.Value(0).ToLong() : -1;
    }
    QString Path(const QString& relative) const { return m_dir.filePath(relative); }
    void Touch(const QString& relative)
    {
        QDir().mkpath(QFileInfo(Path(relative)).absolutePath());
        QFile f(Path(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }

    QTemporaryDir m_dir;
    CFixtureVolumeTable m_volumes;
    CVolumeTableScope m_scope{m_volumes};
    CScriptedInteraction m_ui;
    CRecordingLauncher m_launcher;
    CMirrowelDoc m_doc{m_ui};
    QString m_strDatabase;
};
