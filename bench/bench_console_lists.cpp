// Page list operations on a big site: a rebuild of 10,000 pages, and one page added to or
// removed from a list of 10,000 rows. The list is shown (offscreen), so view work counts.
// Also a burst of page events from an engine thread, through the console's handlers, until
// the window has applied them all.
#include "agent_client.h"
#include "console_engine.h"
#include "operator_console.h"
#include "page_list_view.h"

#include <QApplication>
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

void BM_ElapsedMinuteOnBigList(benchmark::State& state) {
    PageListView list;
    list.Rebuild(BigSite());
    for (auto _ : state)
        list.AddElapsedMinute();
}
BENCHMARK(BM_ElapsedMinuteOnBigList)->Unit(benchmark::kMillisecond);

void BM_PageEventBurstThroughTheConsole(benchmark::State& state) {
    const int32_t burst = static_cast<int32_t>(state.range(0));
    olvex::AgentClient engine;
    olvex::OperatorConsole console(false);
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
        while (console.PageList().topLevelItemCount() < burst)
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

} // namespace
