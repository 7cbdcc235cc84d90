#include "MessageBoxPresser.h"
#include "SteppedJob.h"
#include "browser/JobRunner.h"
#include "gui/WidgetInteraction.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

// A job under the real window's interaction: Esc typed into the window and the close question in
// a real message box.
class JobWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void escInTheWindowStopsTheJobAfterItsItem()
    {
        QMainWindow window;
        auto* edit = new QLineEdit(&window);
        window.setCentralWidget(edit);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        CWidgetInteraction ui(&window, window.statusBar());
        CJobRunner jobs(ui);
        CSteppedJob job;
        QSignalSpy finished(&jobs, &CJobRunner::jobFinished);
        QVERIFY(jobs.Start({QStringLiteral("stepped"), QString(), QString(), false}, job.Body()));
        QVERIFY(job.WaitForItem(1));
        job.Proceed();
        QVERIFY(job.WaitForItem(2));

        QTest::keyClick(edit, Qt::Key_Escape);
        QVERIFY(edit->text().isEmpty());
        job.Proceed();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished[0][1].toBool(), false);
        QCOMPARE(job.finished.load(), 2);
        QCOMPARE(job.started.load(), 2);
    }

    void theCloseQuestionLetsTheJobGoOnOrEndsItThenCloses()
    {
        QMainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        CWidgetInteraction ui(&window, window.statusBar());
        CJobRunner jobs(ui);
        CSteppedJob job;
        QSignalSpy closeRequested(&jobs, &CJobRunner::closeRequested);
        QVERIFY(jobs.Start({QStringLiteral("stepped"), QString(), QString(), false}, job.Body()));
        QVERIFY(job.WaitForItem(1));

        auto no = PressWhenShown(QMessageBox::No);
        QVERIFY(!jobs.QueryClose());
        QVERIFY(no->pressed);
        QVERIFY(no->text.startsWith(QStringLiteral("A background task is currently running.")));
        job.Proceed();
        QVERIFY(job.WaitForItem(2));
        QVERIFY(jobs.IsRunning());

        auto yes = PressWhenShown(QMessageBox::Yes);
        QVERIFY(!jobs.QueryClose());
        QVERIFY(yes->pressed);
        job.Proceed();
        QVERIFY(closeRequested.wait(10000));
        QCOMPARE(job.started.load(), 2);
        QVERIFY(!ui.IsOperationRunning());
    }
};

QTEST_MAIN(JobWindowTest)
#include "JobWindowTest.moc"
