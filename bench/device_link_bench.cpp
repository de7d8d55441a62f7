// Cost of the device link's transfers against the emulated unit with no
// reply delay: a full reception and a full transmission of 100 programs,
// 100 exchanges each. Reported per exchange: the wall time of the whole
// exchange (the unit's thread and queue included) and the program's own
// time, from the handler being called with the unit's answer until its next
// message reaches the unit (the handler's copy, the message thread's wake-up
// and its handling of the answer).
#include "CMidiSetupComponent.h"
#include "EmulatedUnit.h"
#include <benchmark/benchmark.h>
#include <chrono>

namespace juce
{
// One turn of the framework's own message loop: waits for the next event
// and dispatches it, as the running program does. The loop of the tests
// (runDispatchLoopUntil) sleeps a millisecond whenever nothing is pending,
// which would measure that sleep instead of the program.
bool dispatchNextMessageOnSystemQueue(bool returnIfNoPendingMessages);
} // namespace juce

namespace
{
constexpr int kExchanges = 100;

// One link and unit for all iterations: building the panel asks the system
// for its MIDI devices, which is not what is measured.
struct Bench
{
    std::unique_ptr<EmulatedUnit> unit;
    std::unique_ptr<CMidiSetupComponent> link;
    bool done = false;

    explicit Bench(bool receiving)
    {
        link = std::make_unique<CMidiSetupComponent>();
        unit = std::make_unique<EmulatedUnit>(*link);
        link->openMIDIPort();
        // The end of a transfer posts a message so that the loop wakes up.
        link->setReportObserver([this, receiving](int percent, bool handOver) {
            if (receiving ? handOver : percent == 100)
                juce::MessageManager::callAsync([this] { done = true; });
        });
    }

    void runUntilDone()
    {
        while (!done)
            juce::dispatchNextMessageOnSystemQueue(false);
        done = false;
    }
};

// Measures the iterations of `transfer` and reports the figures per exchange.
template <typename Transfer>
void measure(benchmark::State& state, Bench& b, Transfer transfer)
{
    const auto nanosBefore = b.unit->turnNanoseconds();
    const int turnsBefore = b.unit->turns();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state)
    {
        transfer();
        b.runUntilDone();
    }
    const double wallNanos = (double) std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
    const double exchanges = (double) state.iterations() * kExchanges;
    const auto turnNanos = (double) (b.unit->turnNanoseconds() - nanosBefore);
    const auto turns = (double) (b.unit->turns() - turnsBefore);
    state.counters["own_us_per_exchange"] = turns > 0 ? turnNanos / turns / 1000.0 : 0.0;
    state.counters["wall_us_per_exchange"] = wallNanos / exchanges / 1000.0;
    state.SetItemsProcessed((int64_t) exchanges);
}

void BM_FullReception(benchmark::State& state)
{
    Bench b(true);
    measure(state, b, [&] {
        b.link->startRxAllProg();
        b.link->sendProgDumpRequest(0);
    });
}

void BM_FullTransmission(benchmark::State& state)
{
    Bench b(false);
    const auto programs = b.unit->programBlock();
    std::copy(programs.begin(), programs.end(), b.link->m_ucTxProgData);
    measure(state, b, [&] {
        b.link->m_iTxProgNo = 0;
        b.link->startTxAllProg();
    });
}
} // namespace

BENCHMARK(BM_FullReception)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullTransmission)->UseRealTime()->Unit(benchmark::kMillisecond);
