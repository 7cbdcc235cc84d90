#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/ScriptedInteraction.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{
class ErrorLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SetErrorLogFolder(m_dir.path());
        SetErrorLogProgramName(QStringLiteral("QuarraneSynch"));
        SetProcessUserInteraction(&m_ui);
    }
    void TearDown() override
    {
        SetProcessUserInteraction(nullptr);
        SetErrorLogFolder(QString());
    }

    QByteArray LogBytes() const
    {
        QFile file(m_dir.filePath(QStringLiteral("QuarraneSynchError.log")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    CScriptedInteraction m_ui;
};

// The fields of one log line, or an empty match when the line is not in the log's format.
QRegularExpressionMatch MatchLine(const QString& line)
{
    static const QRegularExpression format(
        QStringLiteral(R"(^\[Date:(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)\]\[Version:(\d+\.\d\d)\] )"
                       R"((.+)\((\d+)\) : (.*) : (.*)\r\n$)"));
    return format.match(line);
}
} // namespace

TEST_F(ErrorLogTest, AppendsOneLinePerReportInTheLogFormat)
{
    {
        QFile existing(m_dir.filePath(QStringLiteral("QuarraneSynchError.log")));
        ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        existing.write("an earlier line\r\n");
    }
    LogError("src/synch/Task.cpp", 42, QStringLiteral("Unable to find the catalogue: 7"),
             QStringLiteral("CMwuTaskManager::Manage() - CatalogueRecSet.Open"));
    LOG_ERROR(QStringLiteral("100% done, %1 left"), QString());

    const QString log = QString::fromUtf8(LogBytes());
    ASSERT_TRUE(log.startsWith(QStringLiteral("an earlier line\r\n"))) << "the log was truncated";
    const QStringList lines = log.mid(17).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);

    const QRegularExpressionMatch first = MatchLine(lines[0] + QStringLiteral("\r\n"));
    ASSERT_TRUE(first.hasMatch()) << lines[0].toStdString();
    const QDateTime stamp = QDateTime::fromString(first.captured(1), QStringLiteral("MM/dd/yyyy HH:mm:ss"));
    ASSERT_TRUE(stamp.isValid());
    EXPECT_LE(qAbs(stamp.secsTo(QDateTime::currentDateTime())), 5) << "not local time as month/day/year";
    EXPECT_EQ(first.captured(2), QStringLiteral("1.06"));
    EXPECT_EQ(first.captured(3), QStringLiteral("src/synch/Task.cpp"));
    EXPECT_EQ(first.captured(4), QStringLiteral("42"));
    EXPECT_EQ(first.captured(5), QStringLiteral("Unable to find the catalogue: 7"));
    EXPECT_EQ(first.captured(6), QStringLiteral("CMwuTaskManager::Manage() - CatalogueRecSet.Open"));

    // The macro names this very file, relative to the project; placeholders in texts stay as typed;
    // an absent context leaves the line ending in " : " and CR LF.
    const QRegularExpressionMatch second = MatchLine(lines[1] + QStringLiteral("\r\n"));
    ASSERT_TRUE(second.hasMatch()) << lines[1].toStdString();
    EXPECT_EQ(second.captured(3), QStringLiteral("tests/common/ErrorLogTest.cpp"));
    EXPECT_EQ(second.captured(5), QStringLiteral("100% done, %1 left"));
    EXPECT_TRUE(log.endsWith(QStringLiteral("100% done, %1 left : \r\n")));
}

// Built through a compiler cache, __FILE__ may come relative to the build folder; the log still
// names the file from the project root, and a name inside the project keeps its dots.
TEST(ErrorLogLine, NamesTheSourceFileFromTheProjectRoot)
{
    const struct
    {
        const char* given;
        const char* logged;
    } cases[] = {
        {"src/synch/Task.cpp", "src/synch/Task.cpp"},
        {"../../../tests/common/ErrorLogTest.cpp", "tests/common/ErrorLogTest.cpp"},
        {"./../src/a.cpp", "src/a.cpp"},
        {"src/../src/a.cpp", "src/../src/a.cpp"},
        {"..hidden/a.cpp", "..hidden/a.cpp"},
    };
    for (const auto& c : cases)
    {
        const QRegularExpressionMatch m = MatchLine(
            FormatErrorLogLine(QString::fromUtf8(c.given), 3, QStringLiteral("m"), QStringLiteral("c")));
        ASSERT_TRUE(m.hasMatch()) << c.given;
        EXPECT_EQ(m.captured(3), QString::fromUtf8(c.logged)) << c.given;
    }
}

TEST_F(ErrorLogTest, EveryReportShowsTheExceptionBox)
{
    LogError("a.cpp", 1, QStringLiteral("The message"), QStringLiteral("CMirrowelDoc::Open() - step"));

    const auto messages = m_ui.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("Exception Occurred"));
    EXPECT_EQ(messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(messages[0].buttons, MsgButtons::Ok);
    const QString expected =
        QStringLiteral("The message\r\n\r\nCMirrowelDoc::Open() - step\r\n\r\n") +
        QCoreApplication::applicationFilePath() +
        QStringLiteral(" may exit or you may choose to restart the application.\r\n\r\n"
                       "Brevold apologises for the inconvenience.\r\n\r\nPlease contact support@brevold.org"
                       " with the log file located at:\r\n\r\n    ") +
        m_dir.filePath(QStringLiteral("QuarraneSynchError.log")) +
        QStringLiteral("\r\n\r\nAny directions to reproduce this error would be very helpful.");
    EXPECT_EQ(messages[0].text, expected);
}

TEST_F(ErrorLogTest, EngineExceptionsCarryTheirCodeInHexadecimal)
{
    const CDbException full(3026, QStringLiteral("Disk full."));
    LogException("b.cpp", 7, full, QString(), QStringLiteral("CMirrowelView::FindNext() - FindNext"));
    LogException("b.cpp", 8, CDbException(3343, QStringLiteral("Unrecognized database format.")),
                 QStringLiteral("/data/films.qrl"), QString());

    const QStringList lines = QString::fromUtf8(LogBytes()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(
        QStringLiteral("b.cpp(7) : [Exception:0xBD2] Disk full. : CMirrowelView::FindNext() - FindNext")));
    EXPECT_TRUE(lines[1].endsWith(
        QStringLiteral("b.cpp(8) : [Exception:0xD0F] Unrecognized database format. /data/films.qrl : ")));
    EXPECT_EQ(m_ui.Messages().size(), 2u);
}

TEST_F(ErrorLogTest, AnUnopenableLogIsSkippedButTheBoxIsShown)
{
    // A folder below a plain file can never be created, whoever runs the test.
    QFile blocker(m_dir.filePath(QStringLiteral("plain-file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SetErrorLogFolder(m_dir.filePath(QStringLiteral("plain-file/logs")));

    LogError("c.cpp", 3, QStringLiteral("lost line"), QStringLiteral("ctx"));
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("plain-file/logs/QuarraneSynchError.log"))));
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].caption, QStringLiteral("Exception Occurred"));
}

TEST_F(ErrorLogTest, TheLogIsNamedAfterTheProgramAndLivesBesideIt)
{
    SetErrorLogFolder(QString());
    const QByteArray runLogs = qgetenv("QUARRANE_LOG_DIR");
    qunsetenv("QUARRANE_LOG_DIR");
    SetErrorLogProgramName(QStringLiteral("Quarrane"));
    EXPECT_EQ(ErrorLogPath(), QDir(QCoreApplication::applicationDirPath()).filePath("QuarraneError.log"));
    SetErrorLogProgramName(QStringLiteral("QuarraneSynch"));
    EXPECT_EQ(ErrorLogPath(), QDir(QCoreApplication::applicationDirPath()).filePath("QuarraneSynchError.log"));

    // Whoever runs the program may send its log elsewhere; a relative folder is no such place,
    // and a folder the program is told comes first.
    qputenv("QUARRANE_LOG_DIR", "/tmp/logs-here");
    EXPECT_EQ(ErrorLogPath(), QStringLiteral("/tmp/logs-here/QuarraneSynchError.log"));
    qputenv("QUARRANE_LOG_DIR", "relative/logs");
    EXPECT_EQ(ErrorLogPath(),
              QDir(QCoreApplication::applicationDirPath()).filePath("QuarraneSynchError.log"));
    SetErrorLogFolder(QStringLiteral("/tmp/told"));
    qputenv("QUARRANE_LOG_DIR", "/tmp/logs-here");
    EXPECT_EQ(ErrorLogPath(), QStringLiteral("/tmp/told/QuarraneSynchError.log"));
    SetErrorLogFolder(QString());
    qputenv("QUARRANE_LOG_DIR", runLogs);
}
