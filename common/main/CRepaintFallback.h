#pragma once
#include "KsqxJuce.h"
#include <map>
#include <memory>

// JUCE's Windows windows push their pending repaints on the display's
// vertical blank. Where waiting for the vertical blank fails (remote
// sessions, some drivers and emulation layers), no vertical-blank callback
// ever arrives and a window would stop repainting. This watches every window:
// one that has had no vertical-blank callback for a while gets its pending
// repaints flushed from a timer instead. Where the callbacks come, it does
// nothing.
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
    static constexpr juce::uint32 kSilenceMs = 250;
    static constexpr int kFlushPeriodMs = 20;

private:
    struct Watch;
    void timerCallback() override;

    std::map<juce::ComponentPeer*, std::unique_ptr<Watch>> m_watches;
};
