#pragma once
// The few system services the macOS data folder code needs: the short user
// name (CoreServices' CSCopyUserName, released with CFRelease) and mkdir.
// On a Mac the real CoreServices functions are used; elsewhere this layer
// stands in for them with the login name of the process's user, so the code
// above it reads and behaves the same on every system.
#include "KsqxJuce.h"
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

#if defined(__APPLE__)
 #include <CoreServices/CoreServices.h>
#else
struct KsqxCFString;
typedef const KsqxCFString* CFStringRef;
typedef const void* CFTypeRef;
typedef unsigned char Boolean;

// The user's short (login) name when useShortName is true; nullptr when the
// system knows none. The caller releases the string with CFRelease.
CFStringRef CSCopyUserName(Boolean useShortName);
void CFRelease(CFTypeRef cf);
#endif

namespace MacLayer
{
// The text of a CFString (nullptr gives an empty string).
juce::String stringFromCFString(CFStringRef s);

// POSIX mkdir, through the test hooks below.
int mkdir(const char* path, mode_t mode);

// A path as the host's file system knows it: the path itself, unless a test
// has moved the file system root (see TestHooks::root).
juce::String hostPath(const juce::String& path);

// Hooks for the tests only; the program never sets them, so there every call
// goes to the system unchanged.
struct TestHooks
{
    // When set, CSCopyUserName answers this name (UTF-8) instead of the
    // system's; when it gives nullptr the system "knows no name".
    std::function<const char*()> userName;
    // When not empty, every path below "/" that mkdir is given, and every
    // path that hostPath maps, lies below this folder instead.
    std::string root;
    // When set, told of every mkdir: the path as the program gave it, the
    // mode and mkdir's result.
    std::function<void(const std::string& path, mode_t mode, int result)> mkdirObserver;
};
TestHooks& testHooks();
} // namespace MacLayer
