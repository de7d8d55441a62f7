#pragma once
#include "KsqxJuce.h"
#include <map>
#include <memory>

// When one window's pending repaints are flushed by the fallback below: only
// once its vertical-blank callbacks have been silent for a while. A window
// that is not opaque is a layered window on Windows (the framework's drop
// shadows), which repaints in full at every flush; under an emulation layer
// that took the message thread at a 20 ms period, so such a window is
// flushed only when it is new, moved, resized, shown or hidden, and once a
// second. Pure logic, so that it is tested without a window.
class CRepaintSchedule
{
public:
    struct Look
    {
        bool layered = false;
        bool visible = true;
        juce::Rectangle<int> bounds;
        bool operator==(const Look& o) const { return layered == o.layered && visible == o.visible && bounds == o.bounds; }
        bool operator!=(const Look& o) const { return !(*this == o); }
    };

    static constexpr juce::uint32 kSilenceMs = 250;
    static constexpr juce::uint32 kLayeredPeriodMs = 1000;

    explicit CRepaintSchedule(juce::uint32 nowMs) : m_since(nowMs) {}

    void onVBlank(juce::uint32 nowMs) { m_lastVBlank = nowMs; m_bVBlankSeen = true; }

    // Asked at each tick of the fallback's timer; true when this window's
    // repaints are to be flushed now.
    bool shouldFlush(const Look& look, juce::uint32 nowMs);

private:
    juce::uint32 m_since;
    juce::uint32 m_lastVBlank = 0;
    bool m_bVBlankSeen = false;
    bool m_bFlushed = false;
    juce::uint32 m_lastFlush = 0;
    Look m_flushedLook;
};

// JUCE's Windows windows push their pending repaints on the display's
// vertical blank. Where waiting for the vertical blank fails (remote
// sessions, some drivers and emulation layers), no vertical-blank callback
// ever arrives and a window would stop repainting. This watches every window:
// one that has had no vertical-blank callback for a while gets its pending
// repaints flushed from a timer instead (as CRepaintSchedule decides). Where
// the callbacks come, it does nothing.
class CRepaintFallback : private juce::Timer
{
public:
    CRepaintFallback();
    ~CRepaintFallback() override;

    // The program's one instance: started in the application's initialise,
    // stopped in its shutdown.
    static void install();
    static void remove();

    // How long a window may go without a vertical-blank callback before its
    // repaints are flushed from the timer, and the timer's period.
    static constexpr juce::uint32 kSilenceMs = CRepaintSchedule::kSilenceMs;
    static constexpr int kFlushPeriodMs = 20;

private:
    struct Watch;
    void timerCallback() override;

    std::map<juce::ComponentPeer*, std::unique_ptr<Watch>> m_watches;
};
