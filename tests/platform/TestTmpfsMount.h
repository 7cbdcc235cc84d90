#pragma once

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

// A small tmpfs mounted on a folder for the life of the object: a second volume for tests of
// moves across volumes, the per-volume trash and read-only media. Mounting needs privileges;
// Mounted() says whether it worked so that a test can skip with the reason.
class CTestTmpfsMount final
{
public:
    explicit CTestTmpfsMount(const QString& folder, const QString& options = QStringLiteral("size=8m"))
        : m_strFolder(folder)
    {
        QDir().mkpath(folder);
        m_bMounted = Run({QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), options,
                          QStringLiteral("tmpfs"), folder});
    }
    ~CTestTmpfsMount()
    {
        if (m_bMounted)
            QProcess::execute(QStringLiteral("umount"), {m_strFolder});
    }
    CTestTmpfsMount(const CTestTmpfsMount&) = delete;
    CTestTmpfsMount& operator=(const CTestTmpfsMount&) = delete;

    bool Mounted() const { return m_bMounted; }
    const QString& Folder() const { return m_strFolder; }
    bool RemountReadOnly()
    {
        return Run({QStringLiteral("-o"), QStringLiteral("remount,ro"), m_strFolder});
    }

    static QString SkipReason() { return QStringLiteral("cannot mount a tmpfs here (needs root and mount rights)"); }

private:
    static bool Run(const QStringList& arguments)
    {
        QProcess mount;
        mount.start(QStringLiteral("mount"), arguments);
        return mount.waitForFinished(10000) && mount.exitStatus() == QProcess::NormalExit && mount.exitCode() == 0;
    }

    QString m_strFolder;
    bool m_bMounted = false;
};
