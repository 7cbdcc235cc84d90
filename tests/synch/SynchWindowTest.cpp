#include "synch/MirrowelUpdateApp.h"
#include "synch/MirrowelUpdateFrame.h"
#include "synch/MwuSynchState.h"
#include "synch/MwuTaskList.h"
#include "synch/MwuTaskListModel.h"
#include "synch/MwuTaskManager.h"

#include <QAction>
#include <QScreen>
#include <QSettings>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

class SynchWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void placesSavesAndPauses()
    {
        QTemporaryDir dir;
        QSettings settings(dir.filePath("s.ini"), QSettings::IniFormat);
        CMwuSynchState state;
        CMwuTaskList list;
        CMirrowelUpdateApp app(state, [](TaskKind, CMwuRequest&) { return std::unique_ptr<CMwuTaskManager>(); });
        CMirrowelUpdateFrame frame(app, state, list, settings);

        frame.FitAndPlace();
        const QSize desktop = frame.screen()->geometry().size();
        QCOMPARE(frame.geometry(), QRect(0, desktop.height() * 70 / 100, desktop.width(), desktop.height() * 20 / 100));
        QCOMPARE(frame.View()->horizontalHeader()->defaultSectionSize(), 100);
        QCOMPARE(frame.Model()->columnCount(), 11);

        // Minimised: nothing is written.
        frame.setWindowState(Qt::WindowMinimized);
        frame.SaveWindowPosition();
        QVERIFY(settings.allKeys().isEmpty());

        frame.setWindowState(Qt::WindowNoState);
        frame.setGeometry(desktop.width() / 10, desktop.height() / 2, desktop.width() / 2, desktop.height() / 4);
        frame.SaveWindowPosition();
        QCOMPARE(settings.value("Watcher Window Position/X (%)").toInt(), 10);
        QCOMPARE(settings.value("Watcher Window Position/Y (%)").toInt(), 50);
        QCOMPARE(settings.value("Watcher Window Position/Width (%)").toInt(), 50);
        QCOMPARE(settings.value("Watcher Window Position/Height (%)").toInt(), 25);

        // The pause entry flips with the state, and rows say "Paused".
        CMwuTask row;
        row.m_status = TaskStatusProcessing;
        list.Append(row);
        frame.Model()->Refresh();
        QCOMPARE(frame.PauseAction()->text(), QStringLiteral("&Pause"));
        frame.TogglePause();
        QVERIFY(state.IsPaused());
        QCOMPARE(frame.PauseAction()->text(), QStringLiteral("&Resume"));
        QCOMPARE(frame.Model()->index(0, 3).data().toString(), QStringLiteral("Paused"));
        frame.TogglePause();
        QVERIFY(!state.IsPaused());
        QCOMPARE(frame.PauseAction()->text(), QStringLiteral("&Pause"));
    }
};

QTEST_MAIN(SynchWindowTest)
#include "SynchWindowTest.moc"
