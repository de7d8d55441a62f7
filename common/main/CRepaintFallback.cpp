#include "CRepaintFallback.h"

// Listens to one window's vertical-blank callbacks.
struct CRepaintFallback::Watch : public juce::ComponentPeer::VBlankListener
{
    Watch(juce::ComponentPeer& p) : peer(p), component(&p.getComponent()), schedule(juce::Time::getMillisecondCounter())
    {
        peer.addVBlankListener(this);
    }
    ~Watch() override
    {
        if (juce::ComponentPeer::isValidPeer(&peer))
            peer.removeVBlankListener(this);
    }
    void onVBlank() override { schedule.onVBlank(juce::Time::getMillisecondCounter()); }

    CRepaintSchedule::Look look() const
    {
        return {!component->isOpaque(), component->isVisible(), peer.getBounds()};
    }

    juce::ComponentPeer& peer;
    juce::Component* component;
    CRepaintSchedule schedule;
};

bool CRepaintSchedule::shouldFlush(const Look& look, juce::uint32 now)
{
    const juce::uint32 quietSince = m_bVBlankSeen ? m_lastVBlank : m_since;
    if (now - quietSince <= kSilenceMs)
        return false;
    if (look.layered && m_bFlushed && look == m_flushedLook && now - m_lastFlush < kLayeredPeriodMs)
        return false;
    m_bFlushed = true;
    m_lastFlush = now;
    m_flushedLook = look;
    return true;
}

static std::unique_ptr<CRepaintFallback>& instance()
{
    static std::unique_ptr<CRepaintFallback> fallback;
    return fallback;
}

void CRepaintFallback::install()
{
    if (instance() == nullptr)
        instance() = std::make_unique<CRepaintFallback>();
}

void CRepaintFallback::remove() { instance().reset(); }

CRepaintFallback::CRepaintFallback() { startTimer(kFlushPeriodMs); }

CRepaintFallback::~CRepaintFallback() { stopTimer(); }

void CRepaintFallback::timerCallback()
{
    // Forget windows that have gone (a new window at the same address is a
    // different one: it has another component).
    for (auto it = m_watches.begin(); it != m_watches.end();)
    {
        if (!juce::ComponentPeer::isValidPeer(it->first) || &it->first->getComponent() != it->second->component)
            it = m_watches.erase(it);
        else
            ++it;
    }

    const juce::uint32 now = juce::Time::getMillisecondCounter();
    for (int i = juce::ComponentPeer::getNumPeers(); --i >= 0;)
    {
        auto* peer = juce::ComponentPeer::getPeer(i);
        if (peer == nullptr)
            continue;
        auto& watch = m_watches[peer];
        if (watch == nullptr)
        {
            watch = std::make_unique<Watch>(*peer);
            continue;
        }
        if (watch->schedule.shouldFlush(watch->look(), now))
            peer->performAnyPendingRepaintsNow();
    }
}
