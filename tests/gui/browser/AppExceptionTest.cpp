#include "DesktopFolders.h"
#include "MessageBoxPresser.h"
#include "ProcessEnvironment.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"
#include "gui/browser/MirrowelApp.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace
{
// An object whose event handler fails the way a fault in a window's handler would.
class CThrowingObject final : public QObject
{
public:
    explicit CThrowingObject(bool database) : m_bDatabase(database) {}
    bool event(QEvent* e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        if (m_bDatabase)
            throw CDbException(3043, QStringLiteral("Disk or network error."));
        throw std::runtime_error("a handler failed");
    }

private:
    bool m_bDatabase;
};

// The program as quarrane runs it, with a handler that throws once the window is up; the
// exception box is answered and its text printed for the test.
int RunThrowingProgram(int argc, char** argv, bool database)
{
    SetErrorLogFolder(qEnvironmentVariable("QUARRANE_TEST_LOG_DIR"));
    CMirrowelApp app(argc, argv);
    if (!app.InitInstance())
        return 1;
    CThrowingObject thrower(database);
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    auto box = PressWhenShown(QMessageBox::Ok);
    const int result = app.Run();
    std::printf("box pressed: %d\n%s\n", box->pressed ? 1 : 0, qPrintable(box->text));
    return result;
}
} // namespace

class AppExceptionTest : public QObject
{
    Q_OBJECT

private:
    struct CRun
    {
        int exitCode = -1;
        QProcess::ExitStatus status = QProcess::CrashExit;
        QString output;
        QString log;
    };

    CRun RunChild(const QString& mode, const QString& database)
    {
        QTemporaryDir dir;
        CRun run;
        if (!dir.isValid())
            return run;
        QProcessEnvironment env = IsolatedProcessEnvironment(dir);
        env.insert(QStringLiteral("QUARRANE_TEST_LOG_DIR"), dir.path());
        QProcess child;
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {mode, database});
        if (!child.waitForFinished(ScaledTimeout(60000)))
        {
            child.kill();
            child.waitForFinished();
            return run;
        }
        run.exitCode = child.exitCode();
        run.status = child.exitStatus();
        run.output = QString::fromUtf8(child.readAllStandardOutput());
        QFile log(dir.filePath(QStringLiteral("QuarraneError.log")));
        if (log.open(QIODevice::ReadOnly))
            run.log = QString::fromUtf8(log.readAll());
        return run;
    }

private slots:
    void anExceptionFromAHandlerIsLoggedAndTheProgramEndsCleanly_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("message");
        QTest::newRow("C++ exception")
            << QStringLiteral("--throwing-child") << QStringLiteral("Exception 0xE06D7363 thrown");
        QTest::newRow("engine exception")
            << QStringLiteral("--throwing-database-child") << QStringLiteral("Exception 0xBE3 thrown");
    }

    void anExceptionFromAHandlerIsLoggedAndTheProgramEndsCleanly()
    {
        QFETCH(QString, mode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString database = dir.filePath(QStringLiteral("Films.qrl"));
        {
            QFile file(database);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(TemplateDatabaseBytes());
        }

        const CRun run = RunChild(mode, database);
        QCOMPARE(run.status, QProcess::NormalExit);
        QCOMPARE(run.exitCode, CMirrowelApp::kExceptionExitCode);
        // One line in the log, with the message and the loop's context.
        QCOMPARE(run.log.count(QStringLiteral("\r\n")), 1);
        QVERIFY2(
            run.log.contains(QStringLiteral(" : ") + message + QStringLiteral(" : CMirrowelApp::Run()\r\n")),
            qPrintable(run.log));
        // The exception box told the person, naming the log.
        QVERIFY2(run.output.startsWith(QStringLiteral("box pressed: 1\n") + message), qPrintable(run.output));
        QVERIFY(run.output.contains(QStringLiteral("QuarraneError.log")));

        // The database was closed properly: no journal left behind, and it opens intact.
        QVERIFY(!QFile::exists(database + QStringLiteral("-wal")));
        CDbDatabase db;
        db.Open(database);
        CDbStatement check = db.PrepareSqlite(QStringLiteral("PRAGMA integrity_check"));
        QVERIFY(check.Step());
        QCOMPARE(check.Value(0).ToString(), QStringLiteral("ok"));
    }

    void theDatabaseIsTheFirstArgumentThatIsNotAnOption()
    {
        QCOMPARE(CMirrowelApp::DatabaseArgument({"quarrane"}), QString());
        QCOMPARE(CMirrowelApp::DatabaseArgument({"quarrane", "/data/a.qrl"}), QStringLiteral("/data/a.qrl"));
        QCOMPARE(CMirrowelApp::DatabaseArgument({"quarrane", "-platform", "-x", "b.qrl", "c.qrl"}),
                 QStringLiteral("b.qrl"));
        QCOMPARE(CMirrowelApp::ExceptionMessage(0xC0000005), QStringLiteral("Exception 0xC0000005 thrown"));
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && (std::strcmp(argv[1], "--throwing-child") == 0 ||
                     std::strcmp(argv[1], "--throwing-database-child") == 0))
        return RunThrowingProgram(argc, argv, std::strcmp(argv[1], "--throwing-database-child") == 0);
    QTemporaryDir desktop;
    if (!UseDesktopFoldersIn(desktop))
        return 1;
    QApplication app(argc, argv);
    AppExceptionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "AppExceptionTest.moc"
