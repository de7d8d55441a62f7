// Cost of the program library's hot paths: packing one program's values,
// unpacking them, and opening library files into one growing table.
#include "CDialogUtil.h"
#include "CProgNameTable.h"
#include <benchmark/benchmark.h>

namespace
{
void BM_EncodePackedData(benchmark::State& state)
{
    int values[kProgParamCount];
    juce::Random rng(1);
    for (auto& v : values)
        v = rng.nextInt(256);
    unsigned char packed[kPackedProgDataSize];
    for (auto _ : state)
    {
        CProgParamColumn::encodePackedData(values, packed);
        benchmark::DoNotOptimize(packed);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncodePackedData);

void BM_DecodePackedData(benchmark::State& state)
{
    unsigned char packed[kPackedProgDataSize];
    juce::Random rng(2);
    for (auto& b : packed)
        b = (unsigned char) rng.nextInt(128);
    int values[kProgParamCount];
    for (auto _ : state)
    {
        CProgParamColumn::decodePackedData(packed, values);
        benchmark::DoNotOptimize(values);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodePackedData);

// Opens 100 library files one after another into one table: 10,100 rows.
void BM_Open100LibraryFiles(benchmark::State& state)
{
    CDialogUtil::setBoxHandler([](const CDialogUtil::Box&) { return true; });
    juce::TemporaryFile tmpFolder;
    const juce::File folder = tmpFolder.getFile();
    folder.createDirectory();
    juce::Array<juce::File> files;
    {
        CProgNameTable source;
        source.initialize();
        unsigned char block[kProgDumpBlockSize];
        for (int f = 0; f < 100; ++f)
        {
            for (int r = 0; r < kUserProgCount; ++r)
            {
                for (int i = 0; i < kProgParamCount; ++i)
                    source.getRecord(r)->setProgParam(i, (f * 31 + r * 7 + i) & 0xFF);
                source.CopyProgForWrite(r, block + r * kProgDumpSize);
            }
            auto file = folder.getChildFile("Bank" + juce::String(f) + ".ksqx");
            file.replaceWithData(block, sizeof(block));
            files.add(file);
        }
    }
    for (auto _ : state)
    {
        state.PauseTiming();
        auto table = std::make_unique<CProgNameTable>();
        table->setSize(800, 600);
        table->initialize();
        state.ResumeTiming();
        for (const auto& f : files)
            table->openWithFile(f, true);
        if (table->getNumRows() != 10100)
            state.SkipWithError("wrong row count");
        state.PauseTiming();
        table.reset();
        state.ResumeTiming();
    }
    folder.deleteRecursively();
    CDialogUtil::setBoxHandler(nullptr);
}
BENCHMARK(BM_Open100LibraryFiles)->Unit(benchmark::kMillisecond);
} // namespace
