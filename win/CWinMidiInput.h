#pragma once
// The Windows program's MIDI input, on WinMM directly (WinMidiLayer).
//
// The framework's WinMM input hands every header flagged done back to the
// driver after each callback, also one the driver has filled but whose
// MIM_LONGDATA has not been delivered yet; Wine's driver flags a header done
// when it fills it, so a message that completes while an earlier callback
// runs is emptied before it is delivered, and lost. This input gives back
// only the header whose MIM_LONGDATA was just handled, and never from inside
// the callback: the driver may hold its header lock while it waits for the
// callback thread (Wine's does when its notification queue is full), and
// WinMM allows a callback no such call. A thread of the input's own hands the
// headers back.
//
// Every complete message goes to the callback on the driver's thread: short
// messages from MIM_DATA, and each system-exclusive message whole (F0 to F7,
// also when it spans headers), never a part. One longer than kMaxSysExBytes
// is dropped whole; a status byte inside one (other than a real-time byte,
// which is delivered on its own) ends it unfinished, and it is dropped.
//
// The WinMM declarations stay in the .cpp: <windows.h> brings macros (min,
// max, ...) that the program's other sources must not see.
#include "KsqxJuce.h"
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class CWinMidiInput
{
public:
    static constexpr int kHeaderCount = 32;
    static constexpr int kHeaderBytes = 1024;
    static constexpr int kMaxSysExBytes = 65536; // F0 and F7 included

    // The device of that identifier in juce::MidiInput::getAvailableDevices()
    // (on Windows the WinMM inputs in device-ID order; elsewhere the
    // stand-in's list), opened and started; null when there is none or it
    // cannot be opened (e.g. it is open already).
    static std::unique_ptr<CWinMidiInput> openDevice(const juce::String& identifier,
                                                     juce::MidiInputCallback* callback);

    // Resets, stops and closes the device. A delivery that runs when it begins
    // is waited for (as the framework's port operations do: its handler must
    // not wait for the thread that deletes the input), and none runs or starts
    // after it returns. Never delete the input from inside its own callback.
    ~CWinMidiInput();

    // Names this input in its deliveries; only to be compared, never used.
    juce::MidiInput* source() const
    {
        return reinterpret_cast<juce::MidiInput*>(const_cast<CWinMidiInput*>(this));
    }

    CWinMidiInput(const CWinMidiInput&) = delete;
    CWinMidiInput& operator=(const CWinMidiInput&) = delete;

private:
    struct Header;         // a MIDIHDR and its bytes
    struct DriverCallback; // the function the driver calls

    explicit CWinMidiInput(juce::MidiInputCallback* callback);
    bool open(unsigned int deviceId);
    void close();

    void handleShortMessage(std::uintptr_t packed);
    void handleHeader(std::uintptr_t param, bool valid);
    void takeSysExBytes(const juce::uint8* bytes, int size);
    void deliver(const void* data, int size);
    void returnHeaders();

    juce::MidiInputCallback* const m_callback;
    std::uintptr_t m_id = 0; // the instance value given to the driver
    void* m_handle = nullptr; // HMIDIIN
    // The driver writes into these until the device is closed.
    std::unique_ptr<Header[]> m_headers;

    // Held by the callback for its whole run; the destructor takes it once to
    // wait for a running delivery.
    std::mutex m_deliveryLock;
    std::vector<juce::uint8> m_sysEx; // the system-exclusive message being gathered
    bool m_inSysEx = false;
    bool m_tooLong = false;

    // Headers handled by the callback, waiting to be given back.
    std::mutex m_returnLock;
    std::condition_variable m_returnWake;
    std::vector<int> m_toReturn;
    bool m_stopReturning = false;
    std::thread m_returner;
};
