#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

#include <gtest/gtest.h>

namespace
{
struct CRun
{
    int status;
    QString out;
    QString err;
};

CRun RunTth(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(QUARRANE_TTH_PROGRAM), args);
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QString Write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return file.fileName();
}

TEST(TthProgramTest, PrintsOneLinePerFileInOrderAndFailsOnUnreadableOnes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString empty = Write(dir, QStringLiteral("empty"), {});
    const QString zeros = Write(dir, QStringLiteral("zéros"), QByteArray(1024, '\0'));
    const QString missing = dir.filePath(QStringLiteral("missing"));

    const CRun good = RunTth({zeros, empty});
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out, QStringLiteral("CMKDYROZKSC6VTM4I7LSMMHPAE4UG3FXPXZGGKY  %1\n"
                                       "LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ  %2\n").arg(zeros, empty));
    EXPECT_TRUE(good.err.isEmpty());
    EXPECT_EQ(RunTth({QStringLiteral("-j"), QStringLiteral("2"), zeros, empty}).out, good.out);
    EXPECT_EQ(RunTth({QStringLiteral("-j1"), zeros, empty}).out, good.out);

    const CRun bad = RunTth({empty, missing, dir.path(), QStringLiteral("/dev/null"), zeros});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, QStringLiteral("LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ  %1\n"
                                      "CMKDYROZKSC6VTM4I7LSMMHPAE4UG3FXPXZGGKY  %2\n").arg(empty, zeros));
    EXPECT_TRUE(bad.err.contains(missing + QStringLiteral(": No such file or directory"))) << bad.err.toStdString();
    EXPECT_TRUE(bad.err.contains(dir.path() + QStringLiteral(": Is a directory"))) << bad.err.toStdString();
    EXPECT_TRUE(bad.err.contains(QStringLiteral("/dev/null: not a regular file"))) << bad.err.toStdString();
}

TEST(TthProgramTest, ManyFilesOnSeveralThreadsArePrintedInArgumentOrderWhateverTheReading)
{
    // Files of many sizes, hashed ahead on two threads: the lines still follow the arguments,
    // and every way of reading gives the same roots as one thread reading through the cache.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QStringList files;
    for (int i = 0; i < 150; ++i)
    {
        QByteArray bytes(static_cast<int>((i * 7919) % 70000 + (i % 50 == 0 ? 9 * 1024 * 1024 : 0)), '\0');
        for (int b = 0; b < bytes.size(); b += 97)
            bytes[b] = char(i + b);
        files.append(Write(dir, QStringLiteral("f%1").arg(i), bytes));
    }
    const CRun reference =
        RunTth(QStringList{QStringLiteral("-j1"), QStringLiteral("--read=buffered")} + files);
    ASSERT_EQ(reference.status, 0) << reference.err.toStdString();
    const QStringList lines = reference.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), files.size());
    for (int i = 0; i < files.size(); ++i)
        EXPECT_TRUE(lines[i].endsWith(QStringLiteral("  ") + files[i])) << lines[i].toStdString();
    EXPECT_NE(lines[0].left(39), lines[1].left(39));
    for (const char* read : {"--read=auto", "--read=buffered", "--read=direct"})
        for (const char* threads : {"-j1", "-j2", "-j3"})
        {
            const CRun run =
                RunTth(QStringList{QString::fromLatin1(threads), QString::fromLatin1(read)} + files);
            EXPECT_EQ(run.status, 0) << read << " " << threads;
            EXPECT_EQ(run.out, reference.out) << read << " " << threads;
        }
}

TEST(TthProgramTest, AFileTheUserMayNotReadIsReportedAndFails)
{
    // Root reads everything: the program runs as the unprivileged user "nobody" instead.
    if (geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
        GTEST_SKIP() << "needs root and setpriv to run the program as another user";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                                      QFileDevice::ReadOther | QFileDevice::ExeOther));
    const QString secret = Write(dir, QStringLiteral("secret"), QByteArray(3000, 'k'));
    const QString open = Write(dir, QStringLiteral("open"), QByteArray(1024, '\0'));
    ASSERT_TRUE(QFile::setPermissions(secret, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    ASSERT_TRUE(QFile::setPermissions(open, QFileDevice::ReadOwner | QFileDevice::ReadOther));

    QProcess process;
    process.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                                              QStringLiteral("--clear-groups"), QStringLiteral(QUARRANE_TTH_PROGRAM),
                                              secret, open});
    ASSERT_TRUE(process.waitForFinished(60000));
    const QString err = QString::fromUtf8(process.readAllStandardError());
    if (err.contains(QStringLiteral("setpriv:")))
        GTEST_SKIP() << "setpriv cannot change the user here: " << err.toStdString();
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(err.contains(secret + QStringLiteral(": Permission denied"))) << err.toStdString();
    EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()),
              QStringLiteral("CMKDYROZKSC6VTM4I7LSMMHPAE4UG3FXPXZGGKY  %1\n").arg(open));
}

TEST(TthProgramTest, RefusesBadArguments)
{
    for (const QStringList& args :
         {QStringList{}, QStringList{QStringLiteral("-j"), QStringLiteral("0"), QStringLiteral("x")},
          QStringList{QStringLiteral("-jx"), QStringLiteral("x")},
          QStringList{QStringLiteral("-q"), QStringLiteral("x")},
          QStringList{QStringLiteral("--read=cached"), QStringLiteral("x")}})
    {
        const CRun run = RunTth(args);
        EXPECT_EQ(run.status, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("Usage: quarrane-tth")));
        EXPECT_TRUE(run.out.isEmpty());
    }
}
} // namespace
