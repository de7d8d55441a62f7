#pragma once
// The Windows shell services the data folder code needs: the application-data
// folder (SHGetSpecialFolderPathW) and _wmkdir. On Windows these are the real
// functions; elsewhere this layer stands in for them with this system's own
// application-data folders, so the code above it reads and behaves the same.
#include "KsqxJuce.h"

#if defined(_WIN32)
 #include <windows.h>
 #include <shlobj.h>
 #include <direct.h>

// The separator the data folder code puts between folder names.
constexpr wchar_t kShellPathSeparator = L'\\';
#else
 #include <functional>

typedef int BOOL;
typedef void* HWND;
typedef wchar_t* LPWSTR;
 #ifndef TRUE
  #define TRUE 1
 #endif
 #ifndef FALSE
  #define FALSE 0
 #endif
 #ifndef MAX_PATH
  #define MAX_PATH 260
 #endif
 #ifndef CSIDL_APPDATA
  #define CSIDL_APPDATA 0x001a
 #endif
 #ifndef CSIDL_COMMON_APPDATA
  #define CSIDL_COMMON_APPDATA 0x0023
 #endif

// This system's paths take "/": a backslash would be part of a folder's name.
constexpr wchar_t kShellPathSeparator = L'/';

// Writes the folder of csidl (CSIDL_APPDATA: the current user's
// application-data folder; CSIDL_COMMON_APPDATA: the one of all users) into
// path, a buffer of MAX_PATH characters, without a trailing separator, and
// returns TRUE. With create nonzero the folder is made when it is missing.
// Returns FALSE, leaving path empty, when there is no such folder or its path
// does not fit.
BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int csidl, BOOL create);

// Makes one folder; 0 on success, -1 on failure.
int _wmkdir(const wchar_t* path);

namespace WinShellLayer
{
// Hooks for the tests only; the program never sets them, so there every call
// goes to the system unchanged.
struct TestHooks
{
    // When set, gives the folder that SHGetSpecialFolderPathW reports for
    // csidl and the creation flag; juce::File() means the shell has none.
    std::function<juce::File(int csidl, bool create)> folderFor;
    // When set, told of every _wmkdir: the path and its result.
    std::function<void(const juce::String& path, int result)> mkdirObserver;
};
TestHooks& testHooks();
} // namespace WinShellLayer
#endif
