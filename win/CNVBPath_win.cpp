#include "CNVBPath.h"
#include "WinShellLayer.h"

// The shell names (and on request creates) the application-data folder;
// below it this makes only the folders it appends, from the top down.
juce::String CNVBPath::GetApplicationDataPath(bool userDomain, bool create, juce::String folder,
                                              juce::String subfolder)
{
    juce::String result;
    wchar_t path[MAX_PATH] = {};
    if (SHGetSpecialFolderPathW(nullptr, path, userDomain ? CSIDL_APPDATA : CSIDL_COMMON_APPDATA,
                                create ? TRUE : FALSE)
        != TRUE)
        return result;
    path[MAX_PATH - 1] = 0;
    result = juce::String(path);
    if (folder.isNotEmpty())
    {
        result << juce::String::charToString(kShellPathSeparator) << folder;
        if (create)
            _wmkdir(result.toWideCharPointer());
    }
    if (subfolder.isNotEmpty())
    {
        result << juce::String::charToString(kShellPathSeparator) << subfolder;
        if (create)
            _wmkdir(result.toWideCharPointer());
    }
    return result;
}
