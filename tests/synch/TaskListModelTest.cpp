#include "synch/MwuSynchState.h"
#include "synch/MwuTaskList.h"
#include "synch/MwuTaskListModel.h"
#include "synch/WatcherPlacement.h"

#include <QAbstractItemModelTester>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{
CMwuTask Row(TaskKind kind, TaskStatus status, int current, int max, const QString& relative)
{
    CMwuTask t;
    t.m_kind = kind;
    t.m_strDatabase = QStringLiteral("/data/Films.qrl");
    t.m_strCatalogue = QStringLiteral("Films");
    t.m_status = status;
    t.m_lProgressCurrent = current;
    t.m_lProgressMax = max;
    t.m_strDriveType = QStringLiteral("Fixed");
    t.m_strVolume = QStringLiteral("DATA");
    t.m_strLocation = QStringLiteral("/media/data");
    t.m_strRelativePath = relative;
    t.m_strLocalMachine = QStringLiteral("host");
    t.m_strUser = QStringLiteral("ann");
    return t;
}

QStringList RowTexts(const QAbstractItemModel& model, int row)
{
    QStringList texts;
    for (int c = 0; c < model.columnCount(); ++c)
        texts.append(model.data(model.index(row, c)).toString());
    return texts;
}
} // namespace

TEST(TaskListModel, ShowsEveryRowInTheWindowsWords)
{
    CMwuTaskList list;
    CMwuSynchState state;
    CMwuTaskListModel model(list, state);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    const QStringList titles = {"Task",   "Database",      "Catalogue",     "Status", "Progress", "Drive Type",
                                "Volume", "Location", "Relative Path", "Local Machine", "User"};
    for (int c = 0; c < titles.size(); ++c)
        EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), titles[c]);
    EXPECT_EQ(model.rowCount(), 0);

    auto top = list.Append(Row(TaskKindUpdateTTH, TaskStatusProcessing, 3, 10, "<All>"));
    auto group = list.InsertAfter(top, Row(TaskKindUpdateTTH, TaskStatusQueued, 0, 0, "Films\\2024"));
    list.Append(Row(TaskKindMarkDeleted, TaskStatusMediaNotFound, 0, 0, ""));
    list.Append(Row(static_cast<TaskKind>(9), TaskStatusCompleted, 1, 1, ""));
    list.Append(Row(TaskKindUnknown, TaskStatusCancelled, 0, 0, ""));
    model.Refresh();
    ASSERT_EQ(model.rowCount(), 5);

    EXPECT_EQ(RowTexts(model, 0), QStringList({"Update TTH", "/data/Films.qrl", "Films", "Processing", "3/10",
                                               "Fixed", "DATA", "/media/data", "<All>", "host", "ann"}));
    EXPECT_EQ(RowTexts(model, 1)[3], QStringLiteral("Queued"));
    EXPECT_EQ(RowTexts(model, 1)[4], QString()) << "no maximum, no progress";
    EXPECT_EQ(RowTexts(model, 1)[8], QStringLiteral("Films\\2024"));
    EXPECT_EQ(RowTexts(model, 2)[0], QStringLiteral("Marking Deleted"));
    EXPECT_EQ(RowTexts(model, 2)[3], QStringLiteral("Please insert or connect to Catalogue media (The Catalogue "
                                                    "was not found on this machine)"));
    EXPECT_EQ(RowTexts(model, 3)[0], QString()) << "an unknown kind number shows nothing";
    EXPECT_EQ(RowTexts(model, 3)[3], QStringLiteral("Completed"));
    EXPECT_EQ(RowTexts(model, 4)[0], QStringLiteral("Unknown"));
    EXPECT_EQ(RowTexts(model, 4)[3], QStringLiteral("Cancelled"));

    const auto alignment = [&](int column) {
        return model.data(model.index(0, column), Qt::TextAlignmentRole).value<Qt::Alignment>() &
               Qt::AlignHorizontal_Mask;
    };
    EXPECT_EQ(alignment(CMwuTaskListModel::ColumnProgress), Qt::AlignRight);
    EXPECT_EQ(alignment(CMwuTaskListModel::ColumnStatus), Qt::AlignLeft);

    // Paused: running rows say so; a worker's progress shows after the next refresh.
    state.Pause();
    list.Modify(group, [](CMwuTask& t) {
        t.m_status = TaskStatusProcessing;
        t.m_lProgressMax = 4;
        t.m_lProgressCurrent = 1;
    });
    model.Refresh();
    EXPECT_EQ(RowTexts(model, 0)[3], QStringLiteral("Paused"));
    EXPECT_EQ(RowTexts(model, 1)[3], QStringLiteral("Paused"));
    EXPECT_EQ(RowTexts(model, 1)[4], QStringLiteral("1/4"));
    state.Resume();
    EXPECT_EQ(RowTexts(model, 1)[3], QStringLiteral("Processing"));
}

TEST(WatcherPlacement, PercentagesOfTheDesktopBothWays)
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath("s.ini"), QSettings::IniFormat);

    // No saved settings: the full width, from 70 to 90 percent of the height.
    const WatcherPlacement defaults = WatcherPlacement::Read(settings);
    EXPECT_EQ(defaults.Place(QSize(1920, 1080)), QRect(0, 756, 1920, 216));
    EXPECT_EQ(defaults.Place(QSize(1366, 768)), QRect(0, 537, 1366, 153)) << "integer truncation";

    const WatcherPlacement saved = WatcherPlacement::FromWindow(QRect(199, 333, 1001, 499), QSize(1000, 1000));
    EXPECT_EQ(saved.x, 19);
    EXPECT_EQ(saved.y, 33);
    EXPECT_EQ(saved.width, 100);
    EXPECT_EQ(saved.height, 49);
    saved.Write(settings);
    settings.sync();

    QSettings reread(dir.filePath("s.ini"), QSettings::IniFormat);
    const WatcherPlacement back = WatcherPlacement::Read(reread);
    EXPECT_EQ(back.Place(QSize(2000, 1000)), QRect(380, 330, 2000, 490));
    EXPECT_EQ(reread.value("Watcher Window Position/Y (%)").toInt(), 33);
}
