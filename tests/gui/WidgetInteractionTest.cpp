#include "gui/WidgetInteraction.h"
#include "MessageBoxPresser.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

class WidgetInteractionTest : public QObject
{
    Q_OBJECT

private slots:
    void workerWaitsForTheAnswerGivenOnTheGuiThread()
    {
        QMainWindow window;
        CWidgetInteraction ui(&window);
        std::atomic<int> answer{-1};
        const auto presser = PressWhenShown(QMessageBox::Retry);
        std::thread worker([&] {
            answer = static_cast<int>(ui.MessageBox(QStringLiteral("Disk full\r\nRetry?"), QStringLiteral("Caption"),
                                                    MsgIcon::Warning, MsgButtons::RetryCancel));
        });
        QTRY_VERIFY(answer.load() != -1);
        worker.join();
        QCOMPARE(answer.load(), static_cast<int>(MsgAnswer::Retry));
        QVERIFY(presser->pressed);
        QCOMPARE(presser->text, QStringLiteral("Disk full\nRetry?"));
        QCOMPARE(presser->parent, &window);
    }

    void questionsOnTheGuiThreadAnswerDirectly()
    {
        CWidgetInteraction ui;
        PressWhenShown(QMessageBox::No);
        QCOMPARE(ui.MessageBox(QStringLiteral("Delete?"), QStringLiteral("Quarrane"), MsgIcon::Question,
                               MsgButtons::YesNoCancel),
                 MsgAnswer::No);
    }

    void statusAndProgressFromAWorkerReachTheWidgets()
    {
        QMainWindow window;
        auto* progress = new QProgressBar(&window);
        CWidgetInteraction ui(&window, window.statusBar(), progress);
        std::thread worker([&] {
            ui.SetStatusText(QStringLiteral("Updating (Esc to Cancel)..."));
            ui.SetProgressRange(0, 4);
            ui.StepProgress();
            ui.StepProgress();
        });
        worker.join();
        QTRY_COMPARE(progress->value(), 2);
        QCOMPARE(progress->maximum(), 4);
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Updating (Esc to Cancel)..."));
        ui.ClearProgress();
        QCOMPARE(progress->value(), progress->minimum() - 1);
    }

    void escapeClearsTheOperationRunningFlag()
    {
        QMainWindow window;
        auto* edit = new QLineEdit(&window);
        window.setCentralWidget(edit);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        CWidgetInteraction ui(&window);

        QTest::keyClick(edit, Qt::Key_Escape);
        QVERIFY(!ui.IsOperationRunning());

        ui.SetOperationRunning(true);
        QTest::keyClick(edit, Qt::Key_A);
        QVERIFY(ui.IsOperationRunning());
        QTest::keyClick(edit, Qt::Key_Escape);
        QVERIFY(!ui.IsOperationRunning());
        QCOMPARE(edit->text(), QStringLiteral("a"));
    }
};

QTEST_MAIN(WidgetInteractionTest)
#include "WidgetInteractionTest.moc"
