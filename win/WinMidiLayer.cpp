#include "WinMidiLayer.h"

#if !defined(_WIN32)
 #include <algorithm>
 #include <atomic>
 #include <chrono>
 #include <condition_variable>
 #include <cstring>
 #include <deque>
 #include <mutex>
 #include <thread>
 #include <vector>

namespace
{
struct Device
{
    juce::MidiDeviceInfo info;
    bool open = false;
    bool started = false;
    HMIDIIN handle = nullptr;
    DWORD_PTR callback = 0;
    DWORD_PTR instance = 0;
    juce::uint32 startTime = 0;
    MIDIHDR* queue = nullptr; // linked through lpNext
};

// A notification carries the callback and instance of the open it came from,
// as the driver's queue does: it is delivered even after the device closed.
struct Notification
{
    DWORD_PTR callback;
    DWORD_PTR instance;
    HMIDIIN handle;
    UINT message;
    DWORD_PTR param1;
    DWORD_PTR param2;

    void deliver() const
    {
        if (callback != 0)
            reinterpret_cast<MidiInProc>(callback)(handle, message, instance, param1, param2);
    }
};

// A lock whose wait is bounded (the thread sanitizer of this compiler does
// not follow std::timed_mutex).
class BoundedLock
{
public:
    bool lock()
    {
        std::unique_lock<std::mutex> l(m_lock);
        if (!m_freed.wait_for(l, std::chrono::milliseconds(WinMidiLayer::kStuckMs), [this] { return !m_held; }))
            return false;
        m_held = true;
        return true;
    }
    void unlock()
    {
        {
            std::lock_guard<std::mutex> l(m_lock);
            m_held = false;
        }
        m_freed.notify_one();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_freed;
    bool m_held = false;
};

// Holds a BoundedLock to the end of its scope.
class Held
{
public:
    Held() = default;
    ~Held()
    {
        if (m_lock != nullptr)
            m_lock->unlock();
    }
    bool take(BoundedLock& lock)
    {
        if (!lock.lock())
            return false;
        m_lock = &lock;
        return true;
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    BoundedLock* m_lock = nullptr;
};

class Driver
{
public:
    static Driver& get()
    {
        static Driver driver;
        return driver;
    }

    ~Driver()
    {
        {
            std::lock_guard<std::mutex> l(m_notifyLock);
            m_quit = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    // The driver's header lock (device state and header queues), taken with a
    // bound so that a deadlock shows as a failure instead of a hang.
    bool lockBuffers(Held& held)
    {
        if (held.take(m_bufferLock))
            return true;
        m_stuck = true;
        return false;
    }

    // Only under the header lock.
    Device* deviceById(UINT id) { return id < m_devices.size() ? &m_devices[id] : nullptr; }
    Device* deviceByHandle(HMIDIIN handle)
    {
        for (auto& d : m_devices)
            if (d.open && d.handle == handle)
                return &d;
        return nullptr;
    }
    std::vector<Device>& devices() { return m_devices; }
    HMIDIIN newHandle() { return reinterpret_cast<HMIDIIN>(++m_handles); }

    // Queues a notification for the notify thread; with the queue full it waits
    // for room (the receive side may hold the header lock meanwhile).
    bool post(const Notification& n)
    {
        std::unique_lock<std::mutex> l(m_notifyLock);
        if (m_queue.size() >= kQueueSize)
        {
            ++m_waitingForRoom;
            m_changed.notify_all();
            const bool room = m_changed.wait_for(l, std::chrono::milliseconds(WinMidiLayer::kStuckMs),
                                                 [this] { return m_queue.size() < kQueueSize || m_quit; });
            --m_waitingForRoom;
            if (!room)
            {
                m_stuck = true;
                return false;
            }
        }
        m_queue.push_back(n);
        m_changed.notify_all();
        return true;
    }

    void hold(bool held)
    {
        {
            std::lock_guard<std::mutex> l(m_notifyLock);
            m_held = held;
        }
        m_changed.notify_all();
    }

    bool waitUntilDelivered(int timeoutMs)
    {
        std::unique_lock<std::mutex> l(m_notifyLock);
        return m_changed.wait_for(l, std::chrono::milliseconds(timeoutMs),
                                  [this] { return m_queue.empty() && !m_delivering; });
    }

    bool waitUntilReceiveWaitsForRoom(int timeoutMs)
    {
        std::unique_lock<std::mutex> l(m_notifyLock);
        return m_changed.wait_for(l, std::chrono::milliseconds(timeoutMs), [this] { return m_waitingForRoom > 0; });
    }

    bool stuckSeen() const { return m_stuck; }
    void clearStuckSeen() { m_stuck = false; }

private:
    Driver() : m_thread([this] { notifyThread(); }) {}

    void notifyThread()
    {
        std::unique_lock<std::mutex> l(m_notifyLock);
        for (;;)
        {
            m_changed.wait(l, [this] { return m_quit || (!m_held && !m_queue.empty()); });
            if (m_quit)
                return;
            const Notification n = m_queue.front();
            m_queue.pop_front();
            m_delivering = true;
            m_changed.notify_all();
            l.unlock();
            n.deliver();
            l.lock();
            m_delivering = false;
            m_changed.notify_all();
        }
    }

    static constexpr size_t kQueueSize = 64;

    BoundedLock m_bufferLock;
    std::vector<Device> m_devices;
    uintptr_t m_handles = 0;

    std::mutex m_notifyLock;
    std::condition_variable m_changed;
    std::deque<Notification> m_queue;
    bool m_held = false;
    bool m_delivering = false;
    bool m_quit = false;
    int m_waitingForRoom = 0;
    std::atomic<bool> m_stuck{false};
    std::thread m_thread;
};

juce::uint32 now() { return juce::Time::getMillisecondCounter(); }

bool headerSizeValid(LPMIDIHDR header, UINT headerSize)
{
    return header != nullptr && headerSize >= offsetof(MIDIHDR, dwOffset);
}

// Runs f with the device of that ID (null when there is none) under the
// header lock; gives 'stuck' when the lock could not be had.
template <typename R, typename F>
R withDeviceId(UINT deviceId, R stuck, F&& f)
{
    auto& driver = Driver::get();
    Held l;
    if (!driver.lockBuffers(l))
        return stuck;
    return f(driver.deviceById(deviceId));
}

// Runs f with the open device of that handle under the header lock.
template <typename F>
MMRESULT withDevice(HMIDIIN handle, F&& f)
{
    auto& driver = Driver::get();
    Held l;
    if (!driver.lockBuffers(l))
        return MMSYSERR_ERROR;
    Device* d = driver.deviceByHandle(handle);
    if (d == nullptr)
        return MMSYSERR_INVALHANDLE;
    return f(*d);
}
} // namespace

UINT midiInGetNumDevs()
{
    auto& driver = Driver::get();
    Held l;
    if (!driver.lockBuffers(l))
        return 0;
    return (UINT) driver.devices().size();
}

MMRESULT midiInOpen(LPHMIDIIN device, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags)
{
    if (device == nullptr)
        return MMSYSERR_INVALPARAM;
    *device = nullptr;
    if (flags != CALLBACK_FUNCTION && flags != CALLBACK_NULL)
        return MMSYSERR_INVALFLAG;
    if (flags == CALLBACK_FUNCTION && callback == 0)
        return MMSYSERR_INVALPARAM;
    if (flags == CALLBACK_NULL)
        callback = 0;

    Notification opened{};
    const MMRESULT result = withDeviceId(deviceId, (MMRESULT) MMSYSERR_ERROR, [&](Device* d) -> MMRESULT {
        if (d == nullptr)
            return MMSYSERR_BADDEVICEID;
        if (d->open)
            return MMSYSERR_ALLOCATED;
        d->open = true;
        d->started = false;
        d->handle = Driver::get().newHandle();
        d->callback = callback;
        d->instance = instance;
        d->queue = nullptr;
        opened = {callback, instance, d->handle, MIM_OPEN, 0, 0};
        return MMSYSERR_NOERROR;
    });
    if (result != MMSYSERR_NOERROR)
        return result;
    opened.deliver();
    *device = opened.handle;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInClose(HMIDIIN device)
{
    Notification closed{};
    const MMRESULT result = withDevice(device, [&closed](Device& d) -> MMRESULT {
        if (d.queue != nullptr)
            return MIDIERR_STILLPLAYING;
        closed = {d.callback, d.instance, d.handle, MIM_CLOSE, 0, 0};
        d.open = false;
        d.started = false;
        d.handle = nullptr;
        return MMSYSERR_NOERROR;
    });
    if (result == MMSYSERR_NOERROR)
        closed.deliver();
    return result;
}

MMRESULT midiInPrepareHeader(HMIDIIN device, LPMIDIHDR header, UINT headerSize)
{
    if (!headerSizeValid(header, headerSize) || header->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    return withDevice(device, [header](Device&) -> MMRESULT {
        if ((header->dwFlags & MHDR_PREPARED) != 0)
            return MMSYSERR_NOERROR;
        header->lpNext = nullptr;
        header->dwFlags |= MHDR_PREPARED;
        header->dwFlags &= ~(DWORD)(MHDR_DONE | MHDR_INQUEUE);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT midiInUnprepareHeader(HMIDIIN device, LPMIDIHDR header, UINT headerSize)
{
    if (!headerSizeValid(header, headerSize) || header->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    return withDevice(device, [header](Device&) -> MMRESULT {
        if ((header->dwFlags & MHDR_PREPARED) == 0)
            return MMSYSERR_NOERROR;
        if ((header->dwFlags & MHDR_INQUEUE) != 0)
            return MIDIERR_STILLPLAYING;
        header->dwFlags &= ~(DWORD) MHDR_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT midiInAddBuffer(HMIDIIN device, LPMIDIHDR header, UINT headerSize)
{
    if (!headerSizeValid(header, headerSize) || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    return withDevice(device, [header](Device& d) -> MMRESULT {
        if ((header->dwFlags & MHDR_INQUEUE) != 0)
            return MIDIERR_STILLPLAYING;
        if ((header->dwFlags & MHDR_PREPARED) == 0)
            return MIDIERR_UNPREPARED;
        header->dwFlags &= ~(DWORD) MHDR_DONE;
        header->dwFlags |= MHDR_INQUEUE;
        header->dwBytesRecorded = 0;
        header->lpNext = nullptr;
        MIDIHDR** next = &d.queue;
        while (*next != nullptr)
            next = &(*next)->lpNext;
        *next = header;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT midiInStart(HMIDIIN device)
{
    return withDevice(device, [](Device& d) -> MMRESULT {
        d.started = true;
        d.startTime = now();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT midiInStop(HMIDIIN device)
{
    return withDevice(device, [](Device& d) -> MMRESULT {
        d.started = false;
        return MMSYSERR_NOERROR;
    });
}

// One header at a time, each returned to the callback on this thread before
// the next is taken, as the driver does.
MMRESULT midiInReset(HMIDIIN device)
{
    for (;;)
    {
        Notification returned{};
        const MMRESULT result = withDevice(device, [&returned](Device& d) -> MMRESULT {
            MIDIHDR* header = d.queue;
            if (header == nullptr)
                return MMSYSERR_NOERROR;
            d.queue = header->lpNext;
            header->dwFlags &= ~(DWORD) MHDR_INQUEUE;
            header->dwFlags |= MHDR_DONE;
            returned = {d.callback, d.instance, d.handle, MIM_LONGDATA, (DWORD_PTR) header,
                        (DWORD_PTR)(now() - d.startTime)};
            return MMSYSERR_NOERROR;
        });
        if (result != MMSYSERR_NOERROR || returned.message == 0)
            return result;
        returned.deliver();
    }
}

namespace WinMidiLayer
{
bool setDevices(const juce::Array<juce::MidiDeviceInfo>& list)
{
    auto& driver = Driver::get();
    Held l;
    if (!driver.lockBuffers(l))
        return false;
    for (const auto& d : driver.devices())
        if (d.open)
            return false;
    driver.devices().clear();
    for (const auto& info : list)
        driver.devices().push_back(Device{info});
    return true;
}

juce::Array<juce::MidiDeviceInfo> devices()
{
    auto& driver = Driver::get();
    juce::Array<juce::MidiDeviceInfo> list;
    Held l;
    if (driver.lockBuffers(l))
        for (const auto& d : driver.devices())
            list.add(d.info);
    return list;
}

// The notification of a filled header is queued while the header lock is
// held, as the driver does: with the queue full, this waits holding it.
bool receiveSysEx(UINT deviceId, const void* data, size_t size)
{
    auto& driver = Driver::get();
    Held l;
    if (!driver.lockBuffers(l))
        return false;
    Device* d = driver.deviceById(deviceId);
    if (d == nullptr || !d->open || !d->started)
        return false;
    const auto time = (DWORD_PTR)(now() - d->startTime);
    auto bytes = static_cast<const char*>(data);
    while (size > 0)
    {
        MIDIHDR* header = d->queue;
        if (header == nullptr)
            return false;
        const size_t room = header->dwBufferLength - header->dwBytesRecorded;
        const size_t n = std::min(size, room);
        std::memcpy(header->lpData + header->dwBytesRecorded, bytes, n);
        header->dwBytesRecorded += (DWORD) n;
        bytes += n;
        size -= n;
        if (header->dwBytesRecorded == header->dwBufferLength
            || (juce::uint8) header->lpData[header->dwBytesRecorded - 1] == 0xF7)
        {
            d->queue = header->lpNext;
            header->dwFlags &= ~(DWORD) MHDR_INQUEUE;
            header->dwFlags |= MHDR_DONE;
            if (!driver.post({d->callback, d->instance, d->handle, MIM_LONGDATA, (DWORD_PTR) header, time}))
                return false;
        }
    }
    return true;
}

bool receiveShort(UINT deviceId, uint8_t status, uint8_t data1, uint8_t data2)
{
    Notification n{};
    const bool started = withDeviceId(deviceId, false, [&](Device* d) {
        if (d == nullptr || !d->open || !d->started)
            return false;
        n = {d->callback, d->instance, d->handle, MIM_DATA,
             (DWORD_PTR) status | ((DWORD_PTR) data1 << 8) | ((DWORD_PTR) data2 << 16),
             (DWORD_PTR)(now() - d->startTime)};
        return true;
    });
    // Short messages are queued without the header lock, as the driver does.
    return started && Driver::get().post(n);
}

void holdNotifications() { Driver::get().hold(true); }
void releaseNotifications() { Driver::get().hold(false); }
bool waitUntilDelivered(int timeoutMs) { return Driver::get().waitUntilDelivered(timeoutMs); }
bool waitUntilReceiveWaitsForRoom(int timeoutMs) { return Driver::get().waitUntilReceiveWaitsForRoom(timeoutMs); }

int queuedHeaders(UINT deviceId)
{
    return withDeviceId(deviceId, -1, [](Device* d) {
        int n = 0;
        for (MIDIHDR* h = d != nullptr ? d->queue : nullptr; h != nullptr; h = h->lpNext)
            ++n;
        return n;
    });
}

bool isOpen(UINT deviceId)
{
    return withDeviceId(deviceId, false, [](Device* d) { return d != nullptr && d->open; });
}

bool stuckSeen() { return Driver::get().stuckSeen(); }
void clearStuckSeen() { Driver::get().clearStuckSeen(); }
} // namespace WinMidiLayer
#endif
