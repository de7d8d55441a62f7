#include "WinShellLayer.h"

#if !defined(_WIN32)
 #include <cstdlib>
 #include <cwchar>
 #include <sys/stat.h>
 #include <sys/types.h>

namespace WinShellLayer
{
TestHooks& testHooks()
{
    static TestHooks hooks;
    return hooks;
}
} // namespace WinShellLayer

// The user's configuration folder: $XDG_CONFIG_HOME when it names an absolute
// path (a relative one is to be ignored), else ~/.config.
static juce::File userConfigFolder()
{
    const char* env = std::getenv("XDG_CONFIG_HOME");
    if (env != nullptr && env[0] == '/')
        return juce::File(juce::String::fromUTF8(env));
    return juce::File::getSpecialLocation(juce::File::userApplicationDataDirectory);
}

BOOL SHGetSpecialFolderPathW(HWND, LPWSTR path, int csidl, BOOL create)
{
    if (path == nullptr)
        return FALSE;
    path[0] = 0;

    juce::File folder;
    if (auto& hook = WinShellLayer::testHooks().folderFor)
        folder = hook(csidl, create != FALSE);
    else if (csidl == CSIDL_APPDATA)
        folder = userConfigFolder();
    else if (csidl == CSIDL_COMMON_APPDATA)
        folder = juce::File::getSpecialLocation(juce::File::commonApplicationDataDirectory);
    if (folder == juce::File())
        return FALSE;

    if (create != FALSE && !folder.isDirectory())
        folder.createDirectory();
    if (!folder.isDirectory())
        return FALSE;

    const juce::String text = folder.getFullPathName();
    const wchar_t* wide = text.toWideCharPointer();
    const size_t length = wcslen(wide);
    if (length >= MAX_PATH)
        return FALSE;
    wmemcpy(path, wide, length + 1);
    return TRUE;
}

int _wmkdir(const wchar_t* path)
{
    const juce::String text(path);
    const int result = ::mkdir(text.toRawUTF8(), 0777);
    if (auto& observer = WinShellLayer::testHooks().mkdirObserver)
        observer(text, result);
    return result;
}
#endif
