#include "CWinMidiInput.h"
#include "WinMidiLayer.h"
#include <algorithm>
#include <map>

struct CWinMidiInput::Header
{
    MIDIHDR hdr;
    char data[kHeaderBytes];
};

struct CWinMidiInput::DriverCallback
{
    static void CALLBACK call(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
};

namespace
{
// The open inputs by the instance value given to the driver. The driver may
// call back with that value after the input has gone (a notification queued
// before the close), so the callback finds its input here, or none. Values
// are never reused. Left alive at exit: a late callback may still look.
struct Registry
{
    std::mutex lock;
    std::map<std::uintptr_t, CWinMidiInput*> inputs;
    std::uintptr_t lastId = 0;
};

Registry& registry()
{
    static Registry* r = new Registry();
    return *r;
}

// In device-ID order: the position of a device is its WinMM device ID.
juce::Array<juce::MidiDeviceInfo> inputDevices()
{
#if defined(_WIN32)
    return juce::MidiInput::getAvailableDevices();
#else
    return WinMidiLayer::devices();
#endif
}
} // namespace

std::unique_ptr<CWinMidiInput> CWinMidiInput::openDevice(const juce::String& identifier,
                                                         juce::MidiInputCallback* callback)
{
    if (callback == nullptr)
        return nullptr;
    const auto devices = inputDevices();
    for (int i = 0; i < devices.size(); ++i)
    {
        if (devices.getReference(i).identifier != identifier)
            continue;
        std::unique_ptr<CWinMidiInput> input(new CWinMidiInput(callback));
        if (!input->open((UINT) i))
            return nullptr;
        return input;
    }
    return nullptr;
}

CWinMidiInput::CWinMidiInput(juce::MidiInputCallback* callback) : m_callback(callback)
{
    m_sysEx.reserve((size_t) kMaxSysExBytes);
    m_toReturn.reserve((size_t) kHeaderCount);
}

CWinMidiInput::~CWinMidiInput() { close(); }

bool CWinMidiInput::open(unsigned int deviceId)
{
    {
        std::lock_guard<std::mutex> l(registry().lock);
        m_id = ++registry().lastId;
    }
    HMIDIIN handle = nullptr;
    if (midiInOpen(&handle, deviceId, (DWORD_PTR) &DriverCallback::call, (DWORD_PTR) m_id, CALLBACK_FUNCTION)
        != MMSYSERR_NOERROR)
        return false;
    m_handle = handle;

    m_headers.reset(new Header[kHeaderCount]());
    for (int i = 0; i < kHeaderCount; ++i)
    {
        MIDIHDR& hdr = m_headers[i].hdr;
        hdr.lpData = m_headers[i].data;
        hdr.dwBufferLength = (DWORD) kHeaderBytes;
        if (midiInPrepareHeader(handle, &hdr, sizeof(MIDIHDR)) != MMSYSERR_NOERROR
            || midiInAddBuffer(handle, &hdr, sizeof(MIDIHDR)) != MMSYSERR_NOERROR)
            return false;
    }

    m_returner = std::thread([this] { returnHeaders(); });
    {
        std::lock_guard<std::mutex> l(registry().lock);
        registry().inputs[m_id] = this;
    }
    return midiInStart(handle) == MMSYSERR_NOERROR;
}

void CWinMidiInput::close()
{
    {
        std::lock_guard<std::mutex> l(registry().lock);
        registry().inputs.erase(m_id);
    }
    // From here no callback finds this input; one that found it before holds
    // the delivery lock until its delivery has ended.
    {
        std::lock_guard<std::mutex> wait(m_deliveryLock);
    }
    if (m_returner.joinable())
    {
        {
            std::lock_guard<std::mutex> l(m_returnLock);
            m_stopReturning = true;
        }
        m_returnWake.notify_one();
        m_returner.join();
    }
    if (m_handle == nullptr)
        return;
    const auto handle = static_cast<HMIDIIN>(m_handle);

    // The driver gives every queued header back (its callbacks find no input
    // now), then lets go of them.
    midiInReset(handle);
    midiInStop(handle);
    bool released = true;
    for (int i = 0; m_headers != nullptr && i < kHeaderCount; ++i)
    {
        int tries = 0;
        while (midiInUnprepareHeader(handle, &m_headers[i].hdr, sizeof(MIDIHDR)) == MIDIERR_STILLPLAYING)
        {
            if (++tries == 10)
            {
                released = false;
                break;
            }
            juce::Thread::sleep(20);
        }
    }
    bool closed = false;
    for (int tries = 0; tries < 5 && !closed; ++tries)
    {
        closed = midiInClose(handle) == MMSYSERR_NOERROR;
        if (!closed)
            juce::Thread::sleep(20);
    }
    // A driver that kept a header may still write into it: leave its memory
    // to the driver rather than free it.
    if (!released || !closed)
        (void) m_headers.release();
    m_handle = nullptr;
}

void CALLBACK CWinMidiInput::DriverCallback::call(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                                  DWORD_PTR)
{
    if (message != MIM_DATA && message != MIM_LONGDATA && message != MIM_LONGERROR)
        return;
    CWinMidiInput* input = nullptr;
    std::unique_lock<std::mutex> delivery;
    {
        std::lock_guard<std::mutex> l(registry().lock);
        const auto found = registry().inputs.find(instance);
        if (found == registry().inputs.end())
            return;
        input = found->second;
        delivery = std::unique_lock<std::mutex>(input->m_deliveryLock);
    }
    if (message == MIM_DATA)
        input->handleShortMessage(param1);
    else
        input->handleHeader(param1, message == MIM_LONGDATA);
}

void CWinMidiInput::handleShortMessage(std::uintptr_t packed)
{
    const juce::uint8 bytes[3] = {(juce::uint8)(packed & 0xff), (juce::uint8)((packed >> 8) & 0xff),
                                  (juce::uint8)((packed >> 16) & 0xff)};
    const juce::uint8 status = bytes[0];
    if (status < 0x80)
        return;
    if (status >= 0xf8)
    {
        deliver(bytes, 1);
        return;
    }
    // On the wire any other status byte ends a system-exclusive message.
    m_inSysEx = false;
    if (status == 0xf0 || status == 0xf7)
        return;
    deliver(bytes, juce::MidiMessage::getMessageLengthFromFirstByte(status));
}

void CWinMidiInput::handleHeader(std::uintptr_t param, bool valid)
{
    int index = -1;
    for (int i = 0; i < kHeaderCount && m_headers != nullptr; ++i)
        if ((std::uintptr_t) &m_headers[i].hdr == param)
            index = i;
    if (index < 0)
        return; // not one of this input's headers

    const MIDIHDR& hdr = m_headers[index].hdr;
    const int recorded = (int) std::min<DWORD>(hdr.dwBytesRecorded, (DWORD) kHeaderBytes);
    if (valid)
        takeSysExBytes(reinterpret_cast<const juce::uint8*>(m_headers[index].data), recorded);
    else
        m_inSysEx = false; // the driver found the message broken

    {
        std::lock_guard<std::mutex> l(m_returnLock);
        m_toReturn.push_back(index);
    }
    m_returnWake.notify_one();
}

void CWinMidiInput::takeSysExBytes(const juce::uint8* bytes, int size)
{
    for (int i = 0; i < size; ++i)
    {
        const juce::uint8 b = bytes[i];
        if (b >= 0xf8)
        {
            deliver(&b, 1); // real time: may come anywhere, also inside a message
            continue;
        }
        if (b == 0xf0)
        {
            m_sysEx.clear();
            m_sysEx.push_back(b);
            m_inSysEx = true;
            m_tooLong = false;
            continue;
        }
        if (!m_inSysEx)
            continue;
        if (b == 0xf7)
        {
            m_inSysEx = false;
            if (!m_tooLong)
            {
                m_sysEx.push_back(b);
                deliver(m_sysEx.data(), (int) m_sysEx.size());
            }
            continue;
        }
        if (b >= 0x80)
        {
            m_inSysEx = false; // ended unfinished
            continue;
        }
        if (m_tooLong)
            continue;
        if ((int) m_sysEx.size() + 1 >= kMaxSysExBytes) // no room left for the F7
        {
            m_tooLong = true;
            continue;
        }
        m_sysEx.push_back(b);
    }
}

void CWinMidiInput::deliver(const void* data, int size)
{
    m_callback->handleIncomingMidiMessage(
        source(), juce::MidiMessage(data, size, juce::Time::getMillisecondCounterHiRes() * 0.001));
}

// Gives the handled headers back, outside the driver's callback.
void CWinMidiInput::returnHeaders()
{
    std::vector<int> batch;
    batch.reserve((size_t) kHeaderCount);
    std::unique_lock<std::mutex> l(m_returnLock);
    for (;;)
    {
        m_returnWake.wait(l, [this] { return m_stopReturning || !m_toReturn.empty(); });
        if (m_stopReturning)
            return;
        batch.swap(m_toReturn);
        l.unlock();
        for (const int i : batch)
        {
            m_headers[i].hdr.dwBytesRecorded = 0;
            midiInAddBuffer(static_cast<HMIDIIN>(m_handle), &m_headers[i].hdr, sizeof(MIDIHDR));
        }
        batch.clear();
        l.lock();
    }
}
