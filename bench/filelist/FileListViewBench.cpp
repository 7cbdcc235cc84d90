// bench_file_list_view DATABASE
//
// The browser's file list as the window shows it, offscreen: a query view (CMirrowelQueryView in
// the file list's tabs) over every file of a synthetic catalogue (qrl-bench-generate, user
// "bench"), sorted by name. A 5 ms timer on the GUI thread measures the longest time the window
// could not answer. Figures:
//   (a) opening: until the first screen is painted with its cells (target 1.5 s);
//   (b) a screen at 30 random scroll positions painted with its cells (target 50 ms each);
//   (c) the totals walk: the longest GUI gap while it runs (target 20 ms) and its whole time;
//   (d) memory of the open list: resident size grown per row (target under 16 bytes), split into
//       the heap in use, the heap held free and what lies outside the heap, and the heap in use
//       into the list's key store, its band and check bits, the table's vertical header (measured
//       on a lone header over as many rows, grown the same way) and the rest;
// and the peers, in the same run: the list's own key statement and a count and sum over the same
// rows, stepped as plain SQLite statements on a connection of their own, as ratios.

#include "browser/MirrowelDoc.h"
#include "browser/RecordSetList.h"
#include "common/ScriptedInteraction.h"
#include "database/DbDatabase.h"
#include "gui/browser/filelist/FileListTabs.h"
#include "gui/browser/filelist/MirrowelQueryView.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace
{
const QString kSql = QStringLiteral(
    "SELECT File.* FROM FileInfo RIGHT JOIN ((Catalogue INNER JOIN (RelativePath RIGHT JOIN File ON "
    "RelativePath.RelativePathId = File.RelativePathId) ON Catalogue.CatalogueId = File.CatalogueId) LEFT "
    "JOIN "
    "FileUserSelect ON (File.FileId = FileUserSelect.FileId AND FileUserSelect.User='bench')) ON "
    "FileInfo.FileInfoId = File.FileInfoId WHERE File.Deleted=False ORDER BY File.File;");

double Ms(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e6;
}

// A line of /proc/self/status in kB ("VmRSS", "RssAnon", "RssFile", "RssShmem").
long StatusKb(const char* name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(name) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return 0;
}

long ResidentKb()
{
    return StatusKb("VmRSS");
}

// The heap as malloc sees it, over every arena: what is handed out and what it holds from the
// system (mapped blocks included).
struct CHeap
{
    double inUse = 0;
    double held = 0;
    long residentKb = 0;
    // The resident pages by kind: anonymous (heap, stacks), mapped from files (libraries, fonts,
    // caches of the desktop) and shared memory (the database's WAL index).
    long anonKb = 0;
    long fileKb = 0;
    long shmemKb = 0;
};

CHeap Heap()
{
    const struct mallinfo2 info = mallinfo2();
    return {double(info.uordblks + info.hblkhd),
            double(info.arena + info.hblkhd),
            ResidentKb(),
            StatusKb("RssAnon"),
            StatusKb("RssFile"),
            StatusKb("RssShmem")};
}

// A model of rows without cells, for a header alone.
class CRowsOnly final : public QAbstractTableModel
{
public:
    int rowCount(const QModelIndex& = QModelIndex()) const override { return m_nRows; }
    int columnCount(const QModelIndex& = QModelIndex()) const override { return 1; }
    QVariant data(const QModelIndex&, int) const override { return {}; }
    void Grow(int rows)
    {
        beginInsertRows(QModelIndex(), m_nRows, rows - 1);
        m_nRows = rows;
        endInsertRows();
    }

private:
    int m_nRows = 0;
};

// What a vertical header holds a row when its rows come as the list's do: the leading rows, then
// the rest.
double HeaderBytesPerRow(int rows)
{
    CRowsOnly model;
    QHeaderView header(Qt::Vertical);
    header.setSectionResizeMode(QHeaderView::Fixed);
    header.setModel(&model);
    model.Grow(std::min(rows, CRecordSetList::kHeadRows));
    const double before = Heap().inUse;
    model.Grow(rows);
    return rows > 0 ? (Heap().inUse - before) / rows : 0.0;
}

void PrintMemory(const char* when, const CHeap& before, const CHeap& after, int rows, CMirrowelView& view,
                 double headerPerRow)
{
    const double n = std::max(rows, 1);
    const double resident = (after.residentKb - before.residentKb) * 1024.0 / n;
    const double inUse = (after.inUse - before.inUse) / n;
    const double heldFree = ((after.held - after.inUse) - (before.held - before.inUse)) / n;
    const CRecordSetList::CRowStore store = view.List().RowStoreBytes();
    const double keys = double(store.keys) / n;
    const double bands = double(store.bands) / n;
    const double checks = double(view.CheckStoreBytes()) / n;
    const double pages = double(store.pages) / n;
    std::printf(
        "    %s: resident +%.1f B a row = heap in use %.1f + heap held free %.1f + outside the heap %.1f\n",
        when, resident, inUse, heldFree, resident - inUse - heldFree);
    std::printf(
        "      heap in use: keys %.2f, band bits %.2f, check bits %.2f, vertical header %.2f, cached cell "
        "pages %.2f, the rest (connections' caches, Qt) %.2f\n",
        keys, bands, checks, headerPerRow, pages, inUse - keys - bands - checks - headerPerRow - pages);
    std::printf("      resident by kind: anonymous %.2f, mapped from files %.2f, shared memory %.2f\n",
                (after.anonKb - before.anonKb) * 1024.0 / n, (after.fileKb - before.fileKb) * 1024.0 / n,
                (after.shmemKb - before.shmemKb) * 1024.0 / n);
}

class CGapMeter final
{
public:
    CGapMeter()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout,
                         [this]
                         {
                             const double gap = Ms(m_sinceTick);
                             if (gap > m_dMaxGap && m_probe)
                                 m_nProbeAtMax = m_probe();
                             m_dMaxGap = std::max(m_dMaxGap, gap);
                             m_nOver20 += gap > 20 ? 1 : 0;
                             m_sinceTick.restart();
                         });
    }
    void Start()
    {
        m_dMaxGap = 0;
        m_nOver20 = 0;
        m_sinceTick.start();
        m_timer.start();
    }
    double Stop()
    {
        m_timer.stop();
        return m_dMaxGap;
    }
    // Gaps longer than 20 ms since the start.
    int Over20() const { return m_nOver20; }
    // What probe said right after the longest gap (the rows shown, say).
    void SetProbe(std::function<int()> probe) { m_probe = std::move(probe); }
    int ProbeAtMax() const { return m_nProbeAtMax; }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    double m_dMaxGap = 0;
    int m_nOver20 = 0;
    std::function<int()> m_probe;
    int m_nProbeAtMax = 0;
};

// Waits, with events moving, until done() holds; false after timeoutMs. Sleeps between events
// as the window's own event loop does: a loop that polls without pause would take a core from
// the loader's thread on a machine of two.
bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    QTimer wake;
    wake.start(2);
    while (!done())
    {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Every row on screen has its cells, and the screen has been painted since.
bool ScreenFilled(CMirrowelView& view)
{
    const int first = view.rowAt(0);
    const int last = view.rowAt(view.viewport()->height() - 1);
    if (first < 0)
        return false;
    for (int row = first; row <= (last < 0 ? view.List().rowCount() - 1 : last); ++row)
        if (view.List().index(row, 0).data(CRecordSetList::LoadingRole).toBool())
            return false;
    return true;
}

double PeerMs(const QString& path, const QString& sql)
{
    CDbDatabase db;
    db.Open(path);
    QElapsedTimer timer;
    timer.start();
    CDbStatement st = db.Prepare(sql);
    while (st.Step())
    {
    }
    return Ms(timer);
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: bench_file_list_view DATABASE\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    CScriptedInteraction ui;
    CMirrowelDoc doc(ui);
    doc.SetUserName(QStringLiteral("bench"));
    if (!doc.OpenDatabase(path))
    {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    CFileListTabs tabs(doc);
    tabs.resize(1200, 800);
    tabs.show();
    QCoreApplication::processEvents();

    malloc_trim(0);
    const CHeap heapBefore = Heap();
    const long rssBefore = heapBefore.residentKb;
    CGapMeter gaps;
    QElapsedTimer timer;
    timer.start();
    gaps.Start();
    tabs.Show(0, QStringLiteral("All Files"), kSql, QString(), 0);
    auto* view = tabs.QueryView(QStringLiteral("All Files"));
    gaps.SetProbe([view] { return view->List().rowCount(); });
    // The first screen may show before the whole key list is in.
    const bool opened = WaitFor([&] { return view->List().rowCount() > 0 && ScreenFilled(*view); }, 60000);
    view->viewport()->repaint();
    const double openMs = Ms(timer);
    const bool whole = WaitFor([&] { return !view->List().IsLoading(); }, 60000);
    const double wholeMs = Ms(timer);
    const double openGap = gaps.Stop();
    const int rows = view->List().rowCount();
    const CHeap heapOpened = Heap();
    const long rssOpened = heapOpened.residentKb;
    std::printf("rows: %d\n", rows);
    std::printf(
        "(a) open to first painted screen: %.0f ms (target 1500); the whole key list in after %.0f ms; "
        "longest GUI gap %.1f ms (ended with %d rows shown)%s\n",
        openMs, wholeMs, openGap, gaps.ProbeAtMax(), opened && whole ? "" : " [TIMED OUT]");

    // (c) The totals walk started with the open; measured to its end.
    gaps.SetProbe([view] { return view->Totals().IsUpdating() ? 1 : 0; });
    gaps.Start();
    timer.restart();
    WaitFor([&] { return !view->Totals().IsUpdating(); }, 600000);
    const double walkMs = Ms(timer);
    const double walkGap = gaps.Stop();
    const int walkOver20 = gaps.Over20();
    const bool walkGapAtEnd = gaps.ProbeAtMax() == 0;
    gaps.SetProbe(nullptr);
    // The same window idle for as long (2 to 10 s): the gaps the machine's load makes by itself.
    gaps.Start();
    WaitFor([] { return false; }, std::clamp(static_cast<int>(walkMs), 2000, 10000));
    const double idleGap = gaps.Stop();
    std::printf(
        "(c) totals walk: %.0f ms more after the open, longest GUI gap %.1f ms (target 20%s), %d gaps over "
        "20 ms; the idle window alike: longest gap %.1f ms, %d over 20 ms; %s\n",
        walkMs, walkGap, walkGapAtEnd ? "; as the walk ended" : "", walkOver20, idleGap, gaps.Over20(),
        qPrintable(view->Totals().TotalText()));

    // (b) Random scroll positions.
    std::vector<double> screens;
    QRandomGenerator random(7);
    double worstGap = 0;
    for (int i = 0; i < 30; ++i)
    {
        const int target = random.bounded(std::max(rows - 50, 1));
        timer.restart();
        gaps.Start();
        view->verticalScrollBar()->setValue(target);
        WaitFor([&] { return ScreenFilled(*view); }, 10000);
        view->viewport()->repaint();
        screens.push_back(Ms(timer));
        worstGap = std::max(worstGap, gaps.Stop());
    }
    std::sort(screens.begin(), screens.end());
    std::printf(
        "(b) a screen at a random position: median %.1f ms, worst %.1f ms (target 50), longest GUI gap %.1f "
        "ms\n",
        screens[screens.size() / 2], screens.back(), worstGap);

    const CHeap heapScrolled = Heap();
    // The list at rest: what the loader gives back once nothing is asked of it.
    WaitFor([] { return false; }, 1000);
    const CHeap heapAfter = Heap();
    const long rssAfter = heapAfter.residentKb;
    std::printf(
        "(d) resident size grown by the open list at rest, after the walk and the scrolling: %.1f bytes a "
        "row (target under 16)\n",
        rows > 0 ? (rssAfter - rssBefore) * 1024.0 / rows : 0.0);
    std::printf("    of which %.1f bytes a row once the key list was in, before the walk and the scrolling\n",
                rows > 0 ? (rssOpened - rssBefore) * 1024.0 / rows : 0.0);
    const double headerPerRow = HeaderBytesPerRow(rows);
    PrintMemory("once the key list was in", heapBefore, heapOpened, rows, *view, headerPerRow);
    PrintMemory("right after the walk and the scrolling", heapBefore, heapScrolled, rows, *view,
                headerPerRow);
    PrintMemory("at rest a second later", heapBefore, heapAfter, rows, *view, headerPerRow);

    // The list's own key statement (its joins and its ORDER BY), stepped plainly.
    const double keysPeer = PeerMs(path, view->List().Sql().ResolveUser(view->List().Sql().KeyStatement()));
    const double walkPeer =
        PeerMs(path, QStringLiteral("SELECT Count(*), Sum(FileSizeDouble) FROM File LEFT JOIN "
                                    "FileUserSelect ON File.FileId = FileUserSelect.FileId AND "
                                    "FileUserSelect.User='bench' WHERE File.Deleted=False"));
    std::printf("peer: key statement %.0f ms (first screen / peer %.2f, whole list / peer %.2f); count and "
                "sum %.0f ms (walk / peer %.2f)\n",
                keysPeer, openMs / std::max(keysPeer, 0.001), wholeMs / std::max(keysPeer, 0.001), walkPeer,
                (walkMs + wholeMs) / std::max(walkPeer, 0.001));
    tabs.hide();
    doc.CloseDatabase();
    return 0;
}
