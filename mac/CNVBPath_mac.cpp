#include "CNVBPath.h"
#include "MacUserLayer.h"

// The current user's short (login) name; empty when the system gives none.
static juce::String GetUserName()
{
    juce::String result;
    CFStringRef name = CSCopyUserName(true);
    if (name == nullptr)
        return result;
    result = MacLayer::stringFromCFString(name);
    CFRelease(name);
    return result;
}

// The path is built from fixed pieces rather than from the home folder, so
// that it is the same folder whatever the system reports as home.
juce::String CNVBPath::GetApplicationDataPath(bool userDomain, bool create, juce::String folder,
                                              juce::String subfolder)
{
    juce::String result;
    if (userDomain)
        result = "/Users/" + GetUserName();
    result += "/Library/Application Support";
    if (folder.isNotEmpty())
        result += "/" + folder;
    if (subfolder.isNotEmpty())
        result += "/" + subfolder;
    if (create)
        MakeDirectoryRecursively(result);
    return MacLayer::hostPath(result);
}

// Makes every folder on the way down to path, the path itself last. Failures
// (the folder exists, no permission, a file of that name) are left for the
// caller to notice when it uses the folder.
void CNVBPath::MakeDirectoryRecursively(const juce::String& path)
{
    const int length = path.length();
    int i = 0;
    while (i < length)
    {
        do
            ++i;
        while (i < length && path[i] != '/');
        MacLayer::mkdir(path.substring(0, i).toRawUTF8(), 0755);
    }
}
