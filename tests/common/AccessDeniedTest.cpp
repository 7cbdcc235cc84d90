#include "common/FileOperations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

#ifndef FILE_OP_CHILD_PATH
#error "FILE_OP_CHILD_PATH must name the file_op_child helper"
#endif

namespace
{
// Runs the helper as the unprivileged user "nobody"; empty when that cannot be done here.
QString RunAsNobody(const QStringList& arguments, const QString& dataHome)
{
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty() || geteuid() != 0)
        return {};
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    env.insert(QStringLiteral("HOME"), dataHome);
    child.setProcessEnvironment(env);
    child.start(setpriv, QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                     QStringLiteral("--clear-groups"), QStringLiteral(FILE_OP_CHILD_PATH)} + arguments);
    if (!child.waitForFinished(30000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return {};
    return QString::fromUtf8(child.readAllStandardOutput());
}
} // namespace

// Root may write everywhere; an unprivileged user meets the access-denied answers.
TEST(AccessDenied, AnUnprivilegedUserGetsTheAccessDeniedTexts)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // The other user may enter the folder but write only to its own data folder.
    ASSERT_TRUE(QFile(dir.path()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                                 QFileDevice::ReadOther | QFileDevice::ExeOther));
    const QString data = dir.path() + QStringLiteral("/data");
    ASSERT_TRUE(QDir().mkpath(data));
    ASSERT_TRUE(QFile(data).setPermissions(QFileDevice::Permissions(0x7777)));
    const QString kept = dir.path() + QStringLiteral("/kept.txt");
    {
        QFile file(kept);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("kept");
    }

    const QString created = RunAsNobody({QStringLiteral("create-folder-path"), dir.path() + QStringLiteral("/a/b")}, data);
    if (created.isEmpty())
        GTEST_SKIP() << "cannot run a child process as the user nobody (needs root and setpriv)";
    EXPECT_EQ(created, QStringLiteral("5\tFolder creation access denied at the destination\tEnable write access to the destination location\n"));
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/a")));

    const QString removed = RunAsNobody({QStringLiteral("remove-file"), kept}, data);
    EXPECT_EQ(removed, QStringLiteral("5\tUnable to delete - Access is denied.\tMake sure delete file access permission is available for this file\n"));
    EXPECT_TRUE(QFileInfo::exists(kept));
    EXPECT_TRUE(QDir(data + QStringLiteral("/Trash/info")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}
