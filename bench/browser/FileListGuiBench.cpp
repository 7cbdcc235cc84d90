// bench_file_list_gui DATABASE [--model-tester]
//
// The file list as the window shows it: a QTableView (fixed row height) over CRecordSetList on
// DefaultSearchAllCataloguesQuery of a synthetic catalogue (qrl-bench-generate, user "bench"),
// run offscreen. A 10 ms timer on the GUI thread measures the longest time the window could not
// answer. Figures:
//   (a) the asynchronous open: its longest GUI gap, the time until the keys are in and until the
//       first screen's cells are filled;
//   (b) a screen at a random position (scrollTo) filled, over 20 positions (median and worst);
//   (c) PageDown pressed on the view from the top to the bottom, then End and PageUp: the longest GUI
//       gap and the longest single key press;
// and the peers, in the same run: the same key statement and the same page statement stepped as
// plain SQLite statements on a connection of their own, as ratios.
// --model-tester also runs QAbstractItemModelTester over a blocking open of the whole list.

#include "browser/RecordSetList.h"
#include "browser/RecordSetSelection.h"
#include "database/DbDatabase.h"
#include "database/DbQueryDef.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QRandomGenerator>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace
{
const QString kUser = QStringLiteral("bench");

double Ms(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e6;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The longest time between two ticks of a 10 ms timer on the GUI thread.
class CGapMeter final
{
public:
    CGapMeter()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this]
                         {
                             m_nMaxGap = std::max(m_nMaxGap, Ms(m_sinceTick));
                             m_sinceTick.restart();
                         });
    }
    void Start()
    {
        m_nMaxGap = 0;
        m_sinceTick.start();
        m_timer.start();
    }
    double Stop()
    {
        m_timer.stop();
        return std::max(m_nMaxGap, Ms(m_sinceTick));
    }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    double m_nMaxGap = 0;
};

CDataCtrlDescriptor Field(const QString& name, int kind = CDataCtrlDescriptor::KindText, int priority = 0)
{
    CDataCtrlDescriptor d;
    d.m_strFieldName = name;
    d.m_strCaption = name.section(QLatin1Char('.'), 1);
    d.m_nKind = kind;
    d.m_nSortPriority = priority;
    return d;
}

void Configure(CRecordSetList& list, CDbDatabase& db)
{
    list.SetUserName(kUser);
    list.DataCtrl_SetSQL(db.OpenQueryDef(QStringLiteral("DefaultSearchAllCataloguesQuery")).Sql());
    for (const CDataCtrlDescriptor& f :
         {Field("Catalogue.Catalogue", CDataCtrlDescriptor::KindText, 1),
          Field("RelativePath.RelativePath", CDataCtrlDescriptor::KindText, 2),
          Field("File.File", CDataCtrlDescriptor::KindText, 3),
          Field("File.FileSizeDouble", CDataCtrlDescriptor::KindFileSize), Field("File.LastModified"),
          Field("File.Attributes"), Field("File.TTH"), Field("File.FileId", CDataCtrlDescriptor::KindNumber)})
    {
        list.DataCtrl_AddField(f);
        CDataCtrlDescriptor column = f;
        column.m_nFieldIndex = static_cast<int>(list.Fields().size()) - 1;
        list.AddColumn(column);
    }
}

// Runs the event loop until done() holds or the time is up; false on time-out.
bool RunUntil(const std::function<bool()>& done, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done())
    {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// Every row the view shows has its cells.
bool ScreenFilled(const QTableView& view, const CRecordSetList& list)
{
    if (list.rowCount() == 0)
        return false;
    const int first = std::max(view.rowAt(0), 0);
    int last = view.rowAt(view.viewport()->height() - 1);
    if (last < 0)
        last = list.rowCount() - 1;
    for (int row = first; row <= last; ++row)
        if (list.data(list.index(row, 0), CRecordSetList::LoadingRole).toBool())
            return false;
    return true;
}

struct CPeer
{
    double keysMs = 0;
    double pageMedianMs = 0;
    int keys = 0;
};

// The same statements as plain SQLite statements, stepped on a connection of their own.
CPeer MeasurePeer(const QString& path, CRecordSetList& shape)
{
    CPeer peer;
    CDbDatabase db;
    db.Open(path);
    db.SetUserName(kUser);
    const QString keySql =
        db.TranslateJet(shape.Sql().ResolveUser(shape.Sql().KeyStatement()))->statements.front();
    const QString pageSql =
        db.TranslateJet(shape.Sql().ResolveUser(shape.Sql().PageStatement(CRecordSetList::kPageRows)))
            ->statements.front();
    QElapsedTimer timer;
    timer.start();
    std::vector<qint32> keys;
    {
        CDbStatement rows = db.PrepareSqlite(keySql);
        while (rows.Step())
            keys.push_back(rows.Value(0).ToLong());
    }
    peer.keysMs = Ms(timer);
    peer.keys = static_cast<int>(keys.size());
    QRandomGenerator random(7);
    std::vector<double> pages;
    for (int i = 0; i < 20 && !keys.empty(); ++i)
    {
        const size_t first = random.bounded(static_cast<quint32>(keys.size()));
        timer.restart();
        CDbStatement rows = db.PrepareSqlite(pageSql);
        for (int k = 0; k < CRecordSetList::kPageRows; ++k)
            rows.Bind(k + 1, first + k < keys.size() ? CDbValue(keys[first + k]) : CDbValue::Null());
        while (rows.Step())
            for (int c = 0; c < rows.ColumnCount(); ++c)
                rows.Value(c);
        pages.push_back(Ms(timer));
    }
    peer.pageMedianMs = Median(pages);
    return peer;
}

int g_nTesterWarnings = 0;
QtMessageHandler g_previousHandler = nullptr;
void CountWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg)
        ++g_nTesterWarnings;
    g_previousHandler(type, context, message);
}
} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2)
    {
        std::fprintf(stderr, "usage: bench_file_list_gui DATABASE [--model-tester]\n");
        return 2;
    }
    const QString path = args[1];
    CDbDatabase db;
    db.Open(path);
    db.SetUserName(kUser);

    CRecordSetList list;
    Configure(list, db);
    const CPeer peer = MeasurePeer(path, list);

    QTableView view;
    view.setModel(&list);
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.verticalHeader()->setDefaultSectionSize(20);
    view.verticalHeader()->hide();
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    CRecordSetSelection selection(list, *view.selectionModel());
    view.resize(1280, 800);
    view.show();
    QCoreApplication::processEvents();

    // (a) The open.
    CGapMeter gaps;
    QElapsedTimer timer;
    double keysMs = -1;
    QObject::connect(&list, &CRecordSetList::opened,
                     [&](int result)
                     {
                         if (keysMs < 0)
                             keysMs = Ms(timer);
                         if (result != 0)
                             std::printf("open failed: %s\n", qPrintable(list.LastError()));
                     });
    gaps.Start();
    timer.start();
    list.DataCtrl_OpenAsync(&db);
    const bool firstScreen = RunUntil([&] { return ScreenFilled(view, list); });
    const double firstScreenMs = Ms(timer);
    // The first screen may show before the whole key list is in: the rest is measured to its end.
    RunUntil([&] { return keysMs >= 0; });
    const double openGap = gaps.Stop();
    const int rows = list.rowCount();
    std::printf("file list view on DefaultSearchAllCataloguesQuery, %d rows, %d columns, pages of %d rows\n",
                rows, list.columnCount(), CRecordSetList::kPageRows);
    std::printf("(a) open: keys in %8.1f ms, first screen filled %8.1f ms%s   target < 1500 ms\n", keysMs,
                firstScreenMs, firstScreen ? "" : " (never)");
    std::printf("    longest GUI gap during the open   %8.1f ms   target < 50 ms\n", openGap);
    std::printf("    peer: the key statement stepped alone %8.1f ms (%d keys); ours/peer %.2f\n", peer.keysMs,
                peer.keys, keysMs / std::max(peer.keysMs, 0.001));

    // (b) Screens at random positions.
    QRandomGenerator random(42);
    std::vector<double> screens;
    gaps.Start();
    for (int i = 0; i < 20 && rows > 0; ++i)
    {
        const int row = static_cast<int>(random.bounded(static_cast<quint32>(rows)));
        timer.restart();
        view.scrollTo(list.index(row, 0), QAbstractItemView::PositionAtTop);
        if (!RunUntil([&] { return ScreenFilled(view, list); }))
            std::printf("    screen at row %d never filled\n", row);
        screens.push_back(Ms(timer));
    }
    const double jumpGap = gaps.Stop();
    std::printf(
        "(b) a screen at a random position filled: median %6.1f ms, worst %6.1f ms of %zu   target < 50 ms\n",
        Median(screens), screens.empty() ? 0.0 : *std::max_element(screens.begin(), screens.end()),
        screens.size());
    std::printf("    longest GUI gap meanwhile %6.1f ms; peer: one page statement alone, median %6.2f ms; "
                "ours/peer %.2f\n",
                jumpGap, peer.pageMedianMs, Median(screens) / std::max(peer.pageMedianMs, 0.001));

    // (c) PageDown from the top to the bottom, then End and PageUp, in the window's size.
    view.setFocus();
    view.setCurrentIndex(list.index(0, 0));
    view.scrollToTop();
    RunUntil([&] { return ScreenFilled(view, list); });
    const auto press = [&](Qt::Key key)
    {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &down);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &up);
        QCoreApplication::processEvents();
    };
    const int lastRow = list.rowCount() - 1;
    int presses = 0;
    double longestPress = 0;
    int longestAt = 0;
    int over25 = 0;
    int unfilled = 0;
    gaps.Start();
    QElapsedTimer whole;
    whole.start();
    for (; view.currentIndex().row() < lastRow && presses < 2 * list.rowCount(); ++presses)
    {
        timer.restart();
        press(Qt::Key_PageDown);
        const double ms = Ms(timer);
        over25 += ms > 25 ? 1 : 0;
        if (ms > longestPress)
        {
            longestPress = ms;
            longestAt = presses;
        }
        if (!ScreenFilled(view, list))
            ++unfilled;
    }
    const double pageDownMs = Ms(whole);
    const int reached = view.currentIndex().row();
    timer.restart();
    press(Qt::Key_End);
    longestPress = std::max(longestPress, Ms(timer));
    for (int i = 0; i < 200; ++i)
    {
        timer.restart();
        press(Qt::Key_PageUp);
        longestPress = std::max(longestPress, Ms(timer));
    }
    const bool lastFilled = RunUntil([&] { return ScreenFilled(view, list); });
    const double scrollGap = gaps.Stop();
    std::printf("(c) %d PageDowns from the top to row %d of %d in %.0f ms, then End and 200 PageUps\n",
                presses, reached, lastRow, pageDownMs);
    std::printf(
        "    longest GUI gap %6.1f ms, longest key press %6.1f ms   target < 50 ms; screens shown before "
        "their cells came %d of %d; last screen %s\n",
        scrollGap, longestPress, unfilled, presses, lastFilled ? "filled" : "never filled");
    std::printf("    longest PageDown was press %d; presses over 25 ms: %d\n", longestAt, over25);

    if (args.contains(QStringLiteral("--model-tester")))
    {
        g_previousHandler = qInstallMessageHandler(CountWarnings);
        CRecordSetList checked;
        Configure(checked, db);
        QAbstractItemModelTester tester(&checked, QAbstractItemModelTester::FailureReportingMode::Warning);
        timer.restart();
        const int result = checked.DataCtrl_Open(&db);
        checked.DataCtrl_Close();
        qInstallMessageHandler(g_previousHandler);
        std::printf(
            "QAbstractItemModelTester over a blocking open and close of %d rows: %s, %d warnings, %.0f ms\n",
            rows, result == 0 ? "opened" : "failed", g_nTesterWarnings, Ms(timer));
    }
    return 0;
}
