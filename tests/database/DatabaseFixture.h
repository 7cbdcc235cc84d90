#pragma once

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/ScriptedInteraction.h"
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"

#include "ServerCatalogue.h"

#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>

// A temporary folder with a fresh catalogue database made from the built template (a file, or a
// database on the test program's PostgreSQL server), the error log written into the folder and
// every message box captured. Server cases are skipped with the reason where there is no server.
template <class TBase> class TDatabaseFixture : public TBase
{
protected:
    virtual EEngine Engine() const { return EEngine::Sqlite; }
    bool OnServer() const { return Engine() == EEngine::Server; }

    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SetErrorLogFolder(m_dir.path());
        SetProcessUserInteraction(&m_ui);
        QString error;
        if (OnServer())
        {
            QUARRANE_NEW_SERVER_CATALOGUE(m_path);
        }
        else
        {
            m_path = m_dir.filePath(QStringLiteral("test.qrl"));
            ASSERT_TRUE(WriteTemplateDatabase(m_path, &error)) << error.toStdString();
        }
        m_db.Open(m_path);
        m_db.SetUserName(QStringLiteral("alice"));
    }

    // For fixtures that build on SetUp: whether to go on.
    bool Ready() { return !this->HasFatalFailure() && !this->IsSkipped(); }

    void TearDown() override
    {
        m_db.Close();
        SetProcessUserInteraction(nullptr);
        SetErrorLogFolder(QString());
    }

    // Rows of a query as text, fields joined by "|" and Null shown as "<null>".
    QStringList Rows(const QString& jetSql)
    {
        return RowsOf(m_db, jetSql);
    }

    static QStringList RowsOf(CDbDatabase& db, const QString& jetSql)
    {
        QStringList rows;
        CDbStatement st = db.Prepare(jetSql);
        while (st.Step())
        {
            QStringList fields;
            for (int i = 0; i < st.ColumnCount(); ++i)
            {
                const CDbValue v = st.Value(i);
                fields << (v.IsNull() ? QStringLiteral("<null>") : v.ToString());
            }
            rows << fields.join(QLatin1Char('|'));
        }
        return rows;
    }

    QString LogText() const
    {
        QFile file(ErrorLogPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir m_dir;
    CScriptedInteraction m_ui;
    QString m_path; // the file's path or the server database's address
    CDbDatabase m_db;
};

// The catalogue is a file.
using DatabaseFixture = TDatabaseFixture<::testing::Test>;

// The same cases on both engines: TEST_P, and QUARRANE_ON_BOTH_ENGINES(Suite) once per suite.
class BothEnginesFixture : public TDatabaseFixture<::testing::TestWithParam<EEngine>>
{
protected:
    EEngine Engine() const override { return GetParam(); }
};

// gtest prints QStrings and QStringLists readably.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os)
{
    *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}

// The engine error number the step throws, or 0 when it throws none.
inline long ErrorOf(const std::function<void()>& step)
{
    try
    {
        step();
    }
    catch (const CDbException& e)
    {
        return e.m_nErrorCode;
    }
    return 0;
}
