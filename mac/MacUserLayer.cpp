#include "MacUserLayer.h"
#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

#if !defined(__APPLE__)
struct KsqxCFString
{
    std::string utf8;
};

CFStringRef CSCopyUserName(Boolean useShortName)
{
    if (auto& hook = MacLayer::testHooks().userName)
    {
        const char* name = hook();
        return name != nullptr ? new KsqxCFString {name} : nullptr;
    }
    // Only the short name exists here; the full name is never asked for.
    juce::ignoreUnused(useShortName);
    if (const passwd* pw = getpwuid(geteuid()); pw != nullptr && pw->pw_name != nullptr)
        return new KsqxCFString {pw->pw_name};
    if (const char* user = std::getenv("USER"))
        return new KsqxCFString {user};
    return nullptr;
}

void CFRelease(CFTypeRef cf) { delete static_cast<const KsqxCFString*>(cf); }
#endif

namespace MacLayer
{
juce::String stringFromCFString(CFStringRef s)
{
    if (s == nullptr)
        return {};
#if defined(__APPLE__)
    return juce::String::fromCFString(s);
#else
    return juce::String::fromUTF8(s->utf8.c_str(), (int) s->utf8.size());
#endif
}

TestHooks& testHooks()
{
    static TestHooks hooks;
    return hooks;
}

static std::string onHost(const std::string& path)
{
    const std::string& root = testHooks().root;
    if (root.empty())
        return path;
    return path.size() > 0 && path[0] == '/' ? root + path : root + "/" + path;
}

int mkdir(const char* path, mode_t mode)
{
    const int result = ::mkdir(onHost(path).c_str(), mode);
    if (auto& observer = testHooks().mkdirObserver)
        observer(path, mode, result);
    return result;
}

juce::String hostPath(const juce::String& path)
{
    if (testHooks().root.empty())
        return path;
    return juce::String::fromUTF8(onHost(path.toStdString()).c_str());
}
} // namespace MacLayer
