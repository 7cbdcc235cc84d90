#pragma once

#include "platform/FixtureVolumeTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A temporary folder with its own trash (XDG_DATA_HOME points into it while the test runs) and a
// fixture volume table installed as the process's, so that folders below it can pretend to be
// volumes of any kind.
class FileTestFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_root = QFileInfo(m_dir.path()).canonicalFilePath();
        m_previousData = qgetenv("XDG_DATA_HOME");
        m_hadPreviousData = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_root + QStringLiteral("/data")));
        m_pScope = std::make_unique<CVolumeTableScope>(m_volumes);
    }
    void TearDown() override
    {
        m_pScope.reset();
        if (m_hadPreviousData)
            qputenv("XDG_DATA_HOME", m_previousData);
        else
            qunsetenv("XDG_DATA_HOME");
    }

    QString Path(const QString& relative) const { return m_root + QLatin1Char('/') + relative; }
    QString Trash() const { return m_root + QStringLiteral("/data/Trash"); }

    static void Write(const QString& path, const QByteArray& text)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    static QByteArray Read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    // Names of the entries of a folder, hidden ones included, sorted.
    static QStringList Entries(const QString& folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }

    QTemporaryDir m_dir;
    QString m_root;
    CFixtureVolumeTable m_volumes;

private:
    std::unique_ptr<CVolumeTableScope> m_pScope;
    QByteArray m_previousData;
    bool m_hadPreviousData = false;
};
