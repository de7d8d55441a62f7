#pragma once
// The last thing the Windows program does before its process ends.
//
// Under Wine (8.0) the ALSA MIDI driver keeps a notify thread of its own,
// started when WinMM loads the driver and waiting inside the driver's Unix
// side; only the driver's DRV_FREE ends it, and WinMM sends that from its
// own DLL detach, after the process has already killed its other threads.
// Killed in that wait, the thread crashes (Wine's thread exit runs a cleanup
// handler of the C library's condition wait whose record it has already
// overwritten), and the process ends with SIGSEGV instead of its exit code,
// whatever the program closed before. No order of WinMM calls avoids it, so
// under Wine this sends the driver its DRV_FREE early and waits (bounded)
// for that thread to end. On Windows, and when the driver was never loaded,
// it does nothing.
namespace WinMidiExit
{
// Call once, after every MIDI device is closed and nothing uses MIDI again.
void endDriverThreads();
} // namespace WinMidiExit
