// Log-in of the console to a demo site of 100,000 visitors, until the page list shows them.
// Page list operations on a big site: a rebuild of 10,000 pages, and one page added to or
// removed from a list of 10,000 rows. The list is shown (offscreen), so view work counts.
// A sort, a step of the filter, and a page event while sorted or filtered, on 1,000 and
// 100,000 rows.
// Also a burst of page events from an engine thread, through the console's handlers, until
// the window has applied them all.
#include "agent_client.h"
#include "console_engine.h"
#include "demo_server_process.h"
#include "desktop_services.h"
#include "operator_console.h"
#include "page_list_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <benchmark/benchmark.h>
#include <thread>

namespace {

using olvex::PageListView;
using olvex::PageRecord;

constexpr int kPages = 10000;

PageRecord MakePage(int32_t pageId, int32_t visitor) {
    PageRecord page;
    page.pageId = pageId;
    page.visitorNumber = visitor;
    page.title = "Product page number " + std::to_string(pageId);
    page.url = "http://shop.example.test/products/" + std::to_string(pageId) + ".html";
    page.referrer = "http://search.example.test/?q=olvex";
    page.loadTime = "12:34:56";
    page.ipAddress = "192.0.2." + std::to_string(pageId % 250);
    return page;
}

// About three pages per visitor, in arrival order.
PageListView::PageSnapshot BigSite() {
    PageListView::PageSnapshot pages;
    pages.reserve(kPages);
    for (int32_t i = 0; i < kPages; ++i)
        pages.push_back(std::make_shared<const PageRecord>(MakePage(i + 1, (i * 7919) % 3333)));
    return pages;
}

void BM_RebuildPages(benchmark::State& state) {
    const auto pages = BigSite();
    PageListView list;
    list.resize(900, 600);
    list.show();
    for (auto _ : state) {
        list.Rebuild(pages);
        QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * kPages);
}
BENCHMARK(BM_RebuildPages)->Unit(benchmark::kMillisecond);

void BM_AddPageToBigList(benchmark::State& state) {
    PageListView list;
    list.resize(900, 600);
    list.show();
    list.Rebuild(BigSite());
    QApplication::processEvents();
    int32_t visitor = 0;
    for (auto _ : state) {
        // An existing visitor's page lands inside the list, not at the top.
        list.AddOrUpdate(MakePage(kPages + 1, 1000 + visitor));
        state.PauseTiming();
        list.Remove(kPages + 1);
        visitor = (visitor + 1) % 2000;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AddPageToBigList)->Unit(benchmark::kMicrosecond);

void BM_RemovePageFromBigList(benchmark::State& state) {
    PageListView list;
    list.resize(900, 600);
    list.show();
    list.Rebuild(BigSite());
    QApplication::processEvents();
    int32_t visitor = 0;
    for (auto _ : state) {
        state.PauseTiming();
        list.AddOrUpdate(MakePage(kPages + 1, 1000 + visitor));
        visitor = (visitor + 1) % 2000;
        state.ResumeTiming();
        list.Remove(kPages + 1);
    }
}
BENCHMARK(BM_RemovePageFromBigList)->Unit(benchmark::kMicrosecond);

// The same with the view brought up to date (layout and paint) after each addition.
void BM_AddPageAndRepaint(benchmark::State& state) {
    PageListView list;
    list.resize(900, 600);
    list.show();
    list.Rebuild(BigSite());
    QApplication::processEvents();
    int32_t visitor = 0;
    for (auto _ : state) {
        list.AddOrUpdate(MakePage(kPages + 1, 1000 + visitor));
        QApplication::processEvents();
        state.PauseTiming();
        list.Remove(kPages + 1);
        QApplication::processEvents();
        visitor = (visitor + 1) % 2000;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AddPageAndRepaint)->Unit(benchmark::kMicrosecond);

// One flush of the console under a steady churn: 50 pages opened and 50 left, beside N pages
// that stay. With the second argument 1 the view also lays out and repaints, once per batch as
// the console does. The moving pages cycle through the same ids at every N.
void BM_ApplyPageEvents(benchmark::State& state) {
    const auto count = static_cast<int32_t>(state.range(0));
    const bool repaint = state.range(1) != 0;
    constexpr int32_t kRing = 2000;
    constexpr int32_t kBatch = 50;
    PageListView::PageSnapshot pages;
    for (int32_t i = 0; i < count; ++i)
        pages.push_back(std::make_shared<const PageRecord>(MakePage(i + 1, i / 3)));
    std::vector<std::shared_ptr<const PageRecord>> ring;
    for (int32_t k = 0; k < kRing; ++k)
        ring.push_back(std::make_shared<const PageRecord>(
            MakePage(count + 1 + k, k % 3 == 0 ? count : (k * 7919) % (count / 3 + 1))));
    PageListView list;
    list.resize(900, 600);
    list.show();
    list.Rebuild(pages);
    for (int32_t k = 0; k < kRing / 2; ++k)
        list.AddOrUpdate(ring[size_t(k)]);
    list.verticalScrollBar()->setValue(list.RowCount() / 2);
    QApplication::processEvents();
    int32_t k = 0;
    for (auto _ : state) {
        list.BeginChanges();
        for (int32_t i = 0; i < kBatch; ++i) {
            list.AddOrUpdate(ring[size_t((k + kRing / 2) % kRing)]);
            list.Remove(ring[size_t(k)]->pageId);
            k = (k + 1) % kRing;
        }
        list.EndChanges();
        if (repaint)
            QApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations() * kBatch * 2);
}
BENCHMARK(BM_ApplyPageEvents)
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// A shown list of N pages, three to a visitor, written over ten minutes so that their elapsed
// times differ.
struct ShownList {
    explicit ShownList(int32_t count) {
        PageListView::PageSnapshot pages;
        for (int32_t i = 0; i < count; ++i)
            pages.push_back(std::make_shared<const PageRecord>(MakePage(i + 1, i / 3)));
        list.resize(900, 600);
        list.show();
        list.Rebuild(pages);
        for (int32_t i = 0; i < count; ++i) {
            if (i % (count / 10) == 0)
                list.AddElapsedMinute();
            list.AddOrUpdate(pages[size_t(i)]);
        }
        QApplication::processEvents();
    }
    PageListView list;
};

// One page added to and one removed from a list of N rows, the view told but not repainted;
// unsorted (0), sorted by title (1), filtered (2), or both (3). The pages come and go at a
// visitor inside the list, so neither lands at an end.
void BM_AddAndRemovePage(benchmark::State& state) {
    const auto count = static_cast<int32_t>(state.range(0));
    ShownList shown(count);
    PageListView& list = shown.list;
    if (state.range(1) & 1)
        list.SortBy(PageListView::kColumnTitle);
    if (state.range(1) & 2)
        list.SetFilter(QStringLiteral("number 1")); // about one row in nine
    QApplication::processEvents();
    int32_t k = 0;
    for (auto _ : state) {
        const int32_t pageId = count + 1 + k % 2;
        list.AddOrUpdate(MakePage(pageId, (k * 7919) % (count / 3)));
        list.Remove(count + 1 + (k + 1) % 2);
        ++k;
    }
    state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_AddAndRemovePage)
    ->ArgsProduct({{1000, 100000}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMicrosecond);

// A click on a heading of a list of N rows until the view has painted the sorted rows: by
// title (1) or elapsed time (5), read afresh each time.
void BM_SortPages(benchmark::State& state) {
    ShownList shown(static_cast<int32_t>(state.range(0)));
    PageListView& list = shown.list;
    bool descending = false;
    for (auto _ : state) {
        state.PauseTiming();
        list.SortBy(-1);
        QApplication::processEvents();
        state.ResumeTiming();
        list.SortBy(static_cast<int>(state.range(1)),
                    descending ? Qt::DescendingOrder : Qt::AscendingOrder);
        QApplication::processEvents();
        descending = !descending;
    }
}
BENCHMARK(BM_SortPages)
    ->ArgsProduct({{1000, 100000}, {PageListView::kColumnTitle, PageListView::kColumnElapsed}})
    ->Unit(benchmark::kMillisecond);

// One character typed into the find field of a list of N rows, until the view has painted:
// the first one, which nearly every row holds (0); one more, which narrows (1); one taken
// back, which widens (2); the first one again with the rows sorted by title (3).
void BM_FilterStep(benchmark::State& state) {
    ShownList shown(static_cast<int32_t>(state.range(0)));
    PageListView& list = shown.list;
    struct Step {
        const char* from;
        const char* to;
    };
    static constexpr Step kSteps[] = {
        {"", "p"}, {"number 1", "number 12"}, {"number 12", "number 1"}, {"", "p"}};
    const Step step = kSteps[state.range(1)];
    if (state.range(1) == 3)
        list.SortBy(PageListView::kColumnTitle);
    for (auto _ : state) {
        state.PauseTiming();
        list.SetFilter(QString::fromLatin1(step.from));
        QApplication::processEvents();
        state.ResumeTiming();
        list.SetFilter(QString::fromLatin1(step.to));
        QApplication::processEvents();
    }
}
BENCHMARK(BM_FilterStep)
    ->ArgsProduct({{1000, 100000}, {0, 1, 2, 3}})
    ->Unit(benchmark::kMillisecond);

// The window's pause for one tick of the console timer, repaint included, on N rows.
void BM_ElapsedMinuteOnBigList(benchmark::State& state) {
    PageListView::PageSnapshot pages;
    for (int32_t i = 0; i < state.range(0); ++i)
        pages.push_back(std::make_shared<const PageRecord>(MakePage(i + 1, i / 3)));
    PageListView list;
    list.resize(900, 600);
    list.show();
    list.Rebuild(pages);
    QApplication::processEvents();
    for (auto _ : state) {
        list.AddElapsedMinute();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_ElapsedMinuteOnBigList)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_PageEventBurstThroughTheConsole(benchmark::State& state) {
    const int32_t burst = static_cast<int32_t>(state.range(0));
    olvex::AgentClient engine;
    olvex::DesktopServices desktop;
    olvex::OperatorConsole console(desktop, false);
    console.resize(900, 600);
    console.show();
    auto* bridge = new olvex::ConsoleEngine(console, engine);
    (void)bridge;
    std::vector<PageRecord> pages;
    for (int32_t i = 0; i < burst; ++i)
        pages.push_back(MakePage(i + 1, (i * 7919) % 3333));
    for (auto _ : state) {
        state.PauseTiming();
        console.PageList().Clear();
        QApplication::processEvents();
        state.ResumeTiming();
        std::thread receive([&, cb = engine.Callbacks(), data = engine.UserData()] {
            for (const PageRecord& page : pages)
                cb.OnPageEntered(data, page);
        });
        while (console.PageList().RowCount() < burst)
            QApplication::processEvents();
        receive.join();
        QApplication::processEvents(); // the repaint
    }
    state.SetItemsProcessed(state.iterations() * burst);
}
BENCHMARK(BM_PageEventBurstThroughTheConsole)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// From the log-in command to the page list showing every page, painted once.
void BM_LogInToBigSite(benchmark::State& state) {
    const auto visitors = static_cast<int>(state.range(0));
    olvex::demo::DemoServerProcess server(
        OLVEX_DEMO_SERVER_PATH, {"--visitors", std::to_string(visitors), "--quiet", "--seed", "1"});
    if (server.Port() <= 0) {
        state.SkipWithError("no demo server");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        olvex::AgentClient engine;
        olvex::DesktopServices desktop;
        olvex::OperatorConsole console(desktop, false);
        olvex::AgentSettings& settings = console.Settings();
        settings.serverAddress = "127.0.0.1";
        settings.serverPort = server.Port();
        settings.username = "demo";
        settings.password = "demo";
        settings.saveLogin = 1;
        settings.showHints = 0;
        console.resize(900, 600);
        console.show();
        auto* bridge = new olvex::ConsoleEngine(console, engine);
        QApplication::processEvents();
        state.ResumeTiming();
        bridge->AutoLogin();
        QElapsedTimer waited;
        waited.start();
        while (console.PageList().RowCount() < visitors && waited.elapsed() < 60000)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        if (console.PageList().RowCount() < visitors) {
            state.SkipWithError("the list was not shown within a minute");
            break;
        }
        console.PageList().repaint();
        state.PauseTiming();
        bridge->Shutdown();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_LogInToBigSite)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

} // namespace
