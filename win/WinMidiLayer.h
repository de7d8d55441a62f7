#pragma once
// The WinMM MIDI input functions the Windows program's own input needs
// (CWinMidiInput). On Windows these are the system's; elsewhere this layer
// stands in for them with a driver of its own that behaves as Wine's ALSA
// MIDI driver does, so that the input is built and tested on this system
// against the driver behaviour that loses messages there:
// - a receive side that copies incoming system-exclusive bytes into the first
//   queued header, marks it done (and gives it up) as soon as it is full or
//   ends with F7, and only queues the MIM_LONGDATA notification; bytes for
//   which no header is queued are dropped;
// - one notify thread that delivers the queued MIM_DATA and MIM_LONGDATA
//   notifications one after another, with the callback and instance given at
//   open (also after the device has been closed);
// - a notification queue of 64 entries: a receive that finds it full waits
//   for room while it holds the driver's header lock, which midiInAddBuffer,
//   midiInReset and midiInClose take too;
// - midiInAddBuffer empties the header (dwBytesRecorded 0); midiInReset
//   returns the queued headers one by one, calling MIM_LONGDATA for each on
//   the caller's thread; midiInOpen and midiInClose call MIM_OPEN and
//   MIM_CLOSE there; a second midiInOpen of an open device fails with
//   MMSYSERR_ALLOCATED.
#include "KsqxJuce.h"

#if defined(_WIN32)
 #ifndef NOMINMAX
  #define NOMINMAX
 #endif
 #include <windows.h>
 #include <mmsystem.h>
#else
 #include <cstddef>
 #include <cstdint>

typedef unsigned int UINT;
typedef uint32_t DWORD;
typedef uintptr_t DWORD_PTR;
typedef char* LPSTR;
typedef UINT MMRESULT;
typedef struct HMIDIIN__* HMIDIIN;
typedef HMIDIIN* LPHMIDIIN;
 #ifndef CALLBACK
  #define CALLBACK
 #endif

typedef struct midihdr_tag
{
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    struct midihdr_tag* lpNext;
    DWORD_PTR reserved;
    DWORD dwOffset;
    DWORD_PTR dwReserved[8];
} MIDIHDR, *LPMIDIHDR;

 #define MMSYSERR_NOERROR 0
 #define MMSYSERR_ERROR 1
 #define MMSYSERR_BADDEVICEID 2
 #define MMSYSERR_ALLOCATED 4
 #define MMSYSERR_INVALHANDLE 5
 #define MMSYSERR_INVALFLAG 10
 #define MMSYSERR_INVALPARAM 11
 #define MIDIERR_UNPREPARED 64
 #define MIDIERR_STILLPLAYING 65

 #define MHDR_DONE 0x00000001
 #define MHDR_PREPARED 0x00000002
 #define MHDR_INQUEUE 0x00000004

 #define MIM_OPEN 0x3C1
 #define MIM_CLOSE 0x3C2
 #define MIM_DATA 0x3C3
 #define MIM_LONGDATA 0x3C4
 #define MIM_ERROR 0x3C5
 #define MIM_LONGERROR 0x3C6

 #define CALLBACK_NULL 0x00000000
 #define CALLBACK_FUNCTION 0x00030000

// The callback given to midiInOpen with CALLBACK_FUNCTION.
typedef void(CALLBACK* MidiInProc)(HMIDIIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                   DWORD_PTR param2);

UINT midiInGetNumDevs();
MMRESULT midiInOpen(LPHMIDIIN device, UINT deviceId, DWORD_PTR callback, DWORD_PTR instance, DWORD flags);
MMRESULT midiInClose(HMIDIIN device);
MMRESULT midiInPrepareHeader(HMIDIIN device, LPMIDIHDR header, UINT headerSize);
MMRESULT midiInUnprepareHeader(HMIDIIN device, LPMIDIHDR header, UINT headerSize);
MMRESULT midiInAddBuffer(HMIDIIN device, LPMIDIHDR header, UINT headerSize);
MMRESULT midiInStart(HMIDIIN device);
MMRESULT midiInStop(HMIDIIN device);
MMRESULT midiInReset(HMIDIIN device);

namespace WinMidiLayer
{
// The stand-in's devices in device-ID order, as the framework would list
// them (name and identifier); there are none until a test sets them. Refused
// (false) while one is open.
bool setDevices(const juce::Array<juce::MidiDeviceInfo>& devices);
juce::Array<juce::MidiDeviceInfo> devices();

// The device sends: each call is one event of the system's sequencer, handled
// on the calling thread as the driver's receive thread does. Nothing is taken
// while the device is not open and started. receiveSysEx copies the bytes into
// the queued headers and returns false when some found no header (they are
// lost); receiveShort queues a MIM_DATA notification of up to three bytes.
bool receiveSysEx(UINT deviceId, const void* data, size_t size);
bool receiveShort(UINT deviceId, uint8_t status, uint8_t data1 = 0, uint8_t data2 = 0);

// While held, the notify thread delivers nothing more (one already begun
// runs to its end); released, it delivers what was queued, in order.
void holdNotifications();
void releaseNotifications();
// Waits up to timeoutMs until the queue is empty and no notification is being
// delivered; false if it did not come to that in time.
bool waitUntilDelivered(int timeoutMs);
// Waits up to timeoutMs until a receive waits for room in a full queue.
bool waitUntilReceiveWaitsForRoom(int timeoutMs);

// Headers queued on the device (handed to it and not yet given back).
int queuedHeaders(UINT deviceId);
bool isOpen(UINT deviceId);

// Set when a wait for the driver's header lock or for room in the queue took
// over kStuckMs: a real driver would wait there for good (a deadlock). The
// call then gives up: an API call returns MMSYSERR_ERROR, a receive drops.
constexpr int kStuckMs = 5000;
bool stuckSeen();
void clearStuckSeen();
} // namespace WinMidiLayer
#endif
