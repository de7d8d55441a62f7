// When the repaint fallback flushes a window: never while vertical blanks
// come; an ordinary window at every tick once they have stopped; a layered
// one (the framework's drop shadows) only when it is new, moved, resized,
// shown or hidden, and once a second. Flushing layered windows at every tick
// kept the Windows program's message thread busy under an emulation layer.
#include "CRepaintFallback.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace
{
using Look = CRepaintSchedule::Look;
constexpr juce::uint32 kTick = 20;
const juce::Rectangle<int> kAt {100, 100, 300, 12};

struct Step
{
    juce::uint32 at;    // ms after the window was first seen
    bool vblank;        // a vertical-blank callback just before this tick
    Look look;
    bool flushed;
};

struct Scenario
{
    const char* what;
    std::vector<Step> steps;
};

// The ticks from..to (every kTick ms) with one look and one expected answer.
std::vector<Step> ticks(juce::uint32 from, juce::uint32 to, Look look, bool flushed, bool vblank = false)
{
    std::vector<Step> steps;
    for (auto t = from; t <= to; t += kTick)
        steps.push_back({t, vblank, look, flushed});
    return steps;
}

std::vector<Step> operator+(std::vector<Step> a, const std::vector<Step>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void run(const Scenario& s, juce::uint32 start)
{
    CRepaintSchedule schedule(start);
    for (const auto& step : s.steps)
    {
        const juce::uint32 now = start + step.at;
        if (step.vblank)
            schedule.onVBlank(now);
        EXPECT_EQ(schedule.shouldFlush(step.look, now), step.flushed) << s.what << ", at " << step.at << " ms";
    }
}
} // namespace

TEST(RepaintSchedule, FlushesOnlySilentWindowsAndLayeredOnesOnlyWhenTheyChangeOrOnceASecond)
{
    const Look plain {false, true, kAt};
    const Look layered {true, true, kAt};
    const Look moved {true, true, kAt.translated(40, 0)};
    const Look resized {true, true, kAt.withHeight(30)};
    const Look hidden {true, false, kAt};

    const std::vector<Scenario> scenarios = {
        {"vertical blanks keep coming: nothing is flushed",
         ticks(kTick, 2000, plain, false, true) + ticks(2020, 4000, layered, false, true)},
        {"an ordinary window without vertical blanks: flushed at every tick after the silence",
         ticks(kTick, 240, plain, false) + ticks(260, 3000, plain, true)},
        {"vertical blanks that stop: flushed once the silence has lasted",
         ticks(kTick, 500, plain, false, true) + ticks(520, 740, plain, false) + ticks(760, 900, plain, true)},
        {"a layered window without vertical blanks: flushed once when first due, then once a second",
         ticks(kTick, 240, layered, false) + ticks(260, 260, layered, true) + ticks(280, 1240, layered, false) +
             ticks(1260, 1260, layered, true) + ticks(1280, 2240, layered, false) + ticks(2260, 2260, layered, true)},
        {"a layered window: flushed when moved, resized, hidden and shown again, once each",
         ticks(kTick, 240, layered, false) + ticks(260, 260, layered, true) + ticks(280, 400, layered, false) +
             ticks(420, 420, moved, true) + ticks(440, 500, moved, false) + ticks(520, 520, resized, true) +
             ticks(540, 600, resized, false) + ticks(620, 620, hidden, true) + ticks(640, 700, hidden, false) +
             ticks(720, 720, resized, true) + ticks(740, 800, resized, false)},
        {"a layered window whose vertical blanks stop: flushed once they have been silent, then left",
         ticks(kTick, 500, layered, false, true) + ticks(520, 740, layered, false) + ticks(760, 760, layered, true) +
             ticks(780, 1740, layered, false)},
    };
    // The millisecond counter wraps: the same answers just before it does.
    for (const juce::uint32 start : {juce::uint32 {5000}, juce::uint32 {0xFFFFFFFFu - 1500}})
        for (const auto& s : scenarios)
            run(s, start);
}
