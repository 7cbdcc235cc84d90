#include "gui/WidgetInteraction.h"

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

private:
    // Presses the given button of the next message box that shows. A timer rather than a wait
    // loop: the box runs its own event loop, in which only timers and events get a turn.
    struct Presser
    {
        QString text;
        QWidget* parent = nullptr;
        bool pressed = false;
    };
    static std::shared_ptr<Presser> PressWhenShown(QMessageBox::StandardButton which)
    {
        auto result = std::make_shared<Presser>();
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [timer, which, result] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && box->button(which))
                {
                    result->text = box->text();
                    result->parent = box->parentWidget();
                    result->pressed = true;
                    timer->deleteLater();
                    box->button(which)->click();
                    return;
                }
        });
        timer->start(10);
        return result;
    }

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
