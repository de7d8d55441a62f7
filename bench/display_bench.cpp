// Cost of drawing the program table: one screen of rows (40 rows of all 26
// columns) of a table with 100 opened library files, as one scroll frame.
#include "CConfigDialogComponent.h"
#include "CLookAndFeel.h"
#include "CProgNameTable.h"
#include <benchmark/benchmark.h>
#include <memory>

namespace
{
constexpr int kTableRows = 10100;
constexpr int kScreenRows = 40;

// One table for the whole run, as the program has: its cell font stays the
// one whose glyphs are cached. The framework deletes it before it shuts down.
struct DisplayFixture : juce::DeletedAtShutdown
{
    static DisplayFixture& get()
    {
        static DisplayFixture* fixture = new DisplayFixture();
        return *fixture;
    }

    CConfigDialogComponent config;
    CProgNameTable table;

    DisplayFixture()
    {
        juce::Random rng(7);
        for (int i = 0; i < kTableRows; ++i)
        {
            auto* r = table.m_aProgList.add(new CProgParamColumn());
            for (int v = 0; v < kProgParamCount; ++v)
                r->setProgParam(v, rng.nextInt(256));
            for (auto& f : r->m_bFxOnOff)
                f = rng.nextBool();
            r->m_iOrigProgNo = i % 100;
            if (i >= 100)
                r->m_sFileName = "Library " + juce::String(i / 100);
        }
        for (auto& f : config.m_bColumnVisible)
            f = true;
        config.m_dFontSize = 12.0;
        table.setConfigDialogComponent(&config);
        table.updateColumnStatus(&config);
        table.updateContent();
        table.setSize(table.getHeader().getTotalWidth() + 20,
                      table.getHeaderHeight() + kScreenRows * table.getRowHeight());
    }

    // The header and scroll bars cost what the program's look makes them.
    bool drawsWithProgramLook() { return dynamic_cast<CLookAndFeel*>(&table.getLookAndFeel()) != nullptr; }
};

// The model's painting as the table's row components call it, cell by cell.
void BM_PaintScreenOfCells(benchmark::State& state)
{
    auto& f = DisplayFixture::get();
    auto& header = f.table.getHeader();
    const int width = header.getTotalWidth();
    const int rowHeight = f.table.getRowHeight();
    juce::Image image(juce::Image::ARGB, width, kScreenRows * rowHeight, true);
    int firstRow = 5000;
    for (auto _ : state)
    {
        juce::Graphics g(image);
        for (int i = 0; i < kScreenRows; ++i)
        {
            const int row = firstRow + i;
            juce::Graphics::ScopedSaveState rowState(g);
            g.setOrigin(0, i * rowHeight);
            g.reduceClipRegion(0, 0, width, rowHeight);
            f.table.paintRowBackground(g, row, width, rowHeight, row == 5010);
            for (int c = 0; c < header.getNumColumns(true); ++c)
            {
                const auto cell = header.getColumnPosition(c).withHeight(rowHeight);
                juce::Graphics::ScopedSaveState cellState(g);
                if (g.reduceClipRegion(cell))
                {
                    g.setOrigin(cell.getX(), 0);
                    f.table.paintCell(g, row, header.getColumnIdOfIndex(c, true), cell.getWidth(), rowHeight,
                                      row == 5010);
                }
            }
        }
        firstRow = firstRow == 5000 ? 5001 : 5000; // one row of scrolling
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kScreenRows * kColumnCount);
    state.counters["cells"] = kScreenRows * kColumnCount;
}
BENCHMARK(BM_PaintScreenOfCells)->Unit(benchmark::kMillisecond);

// The whole table component (header, rows, scroll bars) scrolled one row
// within the library rows and drawn into an image.
void BM_PaintTableSnapshot(benchmark::State& state)
{
    auto& f = DisplayFixture::get();
    if (!f.drawsWithProgramLook())
        state.SkipWithError("the table is not drawn with the program's look");
    const int rowHeight = f.table.getRowHeight();
    int firstRow = 5000;
    for (auto _ : state)
    {
        f.table.getViewport()->setViewPosition(0, firstRow * rowHeight);
        auto image = f.table.createComponentSnapshot(f.table.getLocalBounds());
        benchmark::DoNotOptimize(image);
        firstRow = firstRow == 5000 ? 5001 : 5000; // one row of scrolling
    }
    state.counters["rows"] = kScreenRows;
}
BENCHMARK(BM_PaintTableSnapshot)->Unit(benchmark::kMillisecond);
} // namespace
